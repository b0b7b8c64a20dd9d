#include "ConsoleLines.h"

#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <string_view>
#include <unistd.h>

namespace qm {

ConsoleLines::ConsoleLines(std::FILE* out, std::FILE* err, bool inPlace)
    : m_out(out), m_err(err), m_inPlace(inPlace)
{
}

ConsoleLines ConsoleLines::Standard()
{
    const char* term = std::getenv("TERM");
    const bool dumb = term && std::string_view(term) == "dumb";
    return ConsoleLines(stdout, stderr, ::isatty(STDERR_FILENO) == 1 && !dumb);
}

QString ConsoleLines::Clean(const QString& text)
{
    QString clean = text;
    for (QChar& c : clean) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029)
            c = QLatin1Char(' ');
    }
    return clean;
}

QString ConsoleLines::OneLine(const QString& text)
{
    static const QRegularExpression breaks(QStringLiteral("\\s*[\\r\\n]+\\s*"));
    return Clean(QString(text).replace(breaks, QStringLiteral(" ")).trimmed());
}

bool ConsoleLines::Flushed(std::FILE* stream)
{
    return std::fflush(stream) == 0 && !std::ferror(stream);
}

void ConsoleLines::Put(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    if (!Flushed(stream) && stream == m_out && m_outError == 0)
        m_outError = errno != 0 ? errno : EIO;
}

bool ConsoleLines::ResultsWritten()
{
    if (m_outError == 0 && Flushed(m_out))
        return true;
    if (m_outError == 0)
        m_outError = errno != 0 ? errno : EIO;
    if (!m_outErrorTold)
        Message(QStringLiteral("the results could not be written: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(m_outError))));
    m_outErrorTold = true;
    return false;
}

void ConsoleLines::CloseOpenLine()
{
    if (m_openWidth > 0) {
        Put(m_err, QStringLiteral("\n"));
        m_openWidth = 0;
    }
}

void ConsoleLines::Result(const QString& text)
{
    CloseOpenLine();
    QString all;
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("\\r\\n|\\r|\\n"))))
        all += Clean(line) + QLatin1Char('\n');
    Put(m_out, all);
}

void ConsoleLines::Message(const QString& text)
{
    CloseOpenLine();
    Put(m_err, QStringLiteral("quillmere: ") + OneLine(text) + QLatin1Char('\n'));
}

void ConsoleLines::Update(const QString& line)
{
    if (!m_inPlace)
        return;
    const QString clean = Clean(line);
    // Spaces wipe what a longer earlier text left behind.
    const qsizetype pad = std::max<qsizetype>(0, m_openWidth - clean.size());
    Put(m_err, QStringLiteral("\r") + clean + QString(pad, QLatin1Char(' ')));
    m_openWidth = std::max<qsizetype>(clean.size(), 1);
}

void ConsoleLines::Line(const QString& line)
{
    if (m_inPlace && m_openWidth > 0) {
        Update(line);
        Put(m_err, QStringLiteral("\n"));
        m_openWidth = 0;
        return;
    }
    Put(m_err, Clean(line) + QLatin1Char('\n'));
}

} // namespace qm
