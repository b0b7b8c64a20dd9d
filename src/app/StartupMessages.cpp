#include "StartupMessages.h"

namespace qm {

OutputFailure AudioOutputFailure(int code)
{
    static const QString crlf = QStringLiteral("\r\n");
    static const QString a = QStringLiteral(
        "Error: Couldn't Initialize Digital Output, The program will not work correclty.");
    static const QString b = QStringLiteral("The sound device may not be installed correclty.");
    auto fatal = [&](const char* name) {
        return OutputFailure{a + crlf + b + crlf + QStringLiteral("Error Code:") + QLatin1String(name),
                             true};
    };
    switch (code) {
    case 1: return fatal("BASS_ERROR_MEM");
    case 3: return fatal("BASS_ERROR_DRIVER");
    case 6: return fatal("BASS_ERROR_FORMAT");
    case 14:
        return {QStringLiteral("Error: Couldn't Initialize Digital Output.") + crlf +
                    QStringLiteral("Error Code:BASS_ERROR_ALREADY"),
                false};
    case 21: return fatal("BASS_ERROR_NO3D");
    case 23: {
        OutputFailure f = fatal("BASS_ERROR_DEVICE");
        f.endProcess = false; // no sound device: play nothing, rip all the same
        return f;
    }
    case -1: return fatal("BASS_ERROR_UNKNOWN");
    default: return fatal("BASS_ERROR_UNKNOWN2");
    }
}

QString SettingsUnreadable(const QStringList& problems)
{
    if (problems.isEmpty())
        return {};
    QString text = QStringLiteral("The stored settings could not be read, so the defaults are used.");
    for (const QString& problem : problems)
        text += QStringLiteral("\r\n") + problem.left(1).toUpper() + problem.mid(1) + QLatin1Char('.');
    return text;
}

QString VersionText(int major, int minor, int revision)
{
    return QStringLiteral("%1.%2.0.%3").arg(major).arg(minor).arg(revision);
}

} // namespace qm
