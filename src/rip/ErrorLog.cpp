#include "ErrorLog.h"

#include <QDir>
#include <QFile>

namespace qm {

namespace {
// A line of the log must stay one line whatever a path holds.
QString OneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}
} // namespace

QString ErrorLogPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quillmere/Errors.log");
}

QString ErrorLogLine(const QDateTime& when, const QLocale& locale, const QString& text, int code,
                     const QString& source)
{
    return when.time().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ')
           + locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') + OneLine(text)
           + QLatin1Char(' ') + QString::number(code)
           + QStringLiteral(" occured when Morlo tried to play/convert: ") + OneLine(source)
           + QStringLiteral("\r\n");
}

bool AppendErrorLog(const QString& line)
{
    const QString path = ErrorLogPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray bytes = line.toUtf8();
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

} // namespace qm
