#include "CueSheet.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::audio {

namespace {

constexpr qint64 kMaxCueBytes = 1024 * 1024; // far above any real sheet

bool IsRegularFile(const QString& path)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// Reads without blocking, so a cue swapped for a FIFO after the check cannot hang us.
std::optional<QByteArray> ReadSmallFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st{};
    QByteArray bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxCueBytes) {
        bytes.resize(static_cast<qsizetype>(st.st_size));
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
            if (n <= 0)
                break;
            got += n;
        }
        bytes.truncate(got);
        ::close(fd);
        return bytes;
    }
    ::close(fd);
    return std::nullopt;
}

bool ValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

// The bin libcdio reads: beside the cue, under the cue's name.
QString BinForCue(const QString& cuePath)
{
    const QFileInfo cue(cuePath);
    return cue.dir().filePath(cue.completeBaseName() + QStringLiteral(".bin"));
}

} // namespace

CueSheetCheck CheckCueSheet(const QString& cuePath)
{
    CueSheetCheck check;
    const QFileInfo file(cuePath);
    if (!file.exists()) {
        check.problem = QStringLiteral("no such file");
        return check;
    }
    if (!IsRegularFile(cuePath) || file.suffix().compare(QLatin1String("cue"), Qt::CaseInsensitive) != 0) {
        check.problem = QStringLiteral("not a cue file; give the .cue of a cue/bin disc image");
        return check;
    }
    const QString bin = BinForCue(cuePath);
    if (!QFileInfo::exists(bin)) {
        check.problem = QStringLiteral("its bin %1 is missing (the bin is named like the cue)").arg(bin);
        return check;
    }
    if (!IsRegularFile(bin)) {
        check.problem = QStringLiteral("its bin %1 is not a regular file").arg(bin);
        return check;
    }
    const auto text = ReadSmallFile(cuePath);
    if (!text) {
        check.problem = QStringLiteral("it cannot be read as a cue sheet (unreadable, or larger than 1 MiB)");
        return check;
    }
    int first = 0;
    int tracks = 0;
    for (const QByteArray& raw : text->split('\n')) {
        const QByteArrayList words = raw.simplified().split(' ');
        if (words.size() < 2 || words[0].toUpper() != "TRACK")
            continue;
        if (tracks++ == 0)
            first = words[1].toInt();
    }
    if (tracks > 0 && first > tracks) {
        check.problem = QStringLiteral("its first track is numbered %1 but it has %2 track%3; such a sheet "
                                       "cannot be read safely (number the tracks from 1)")
                            .arg(first)
                            .arg(tracks)
                            .arg(tracks == 1 ? QString() : QStringLiteral("s"));
        return check;
    }
    check.utf8Text = ValidUtf8(*text);
    return check;
}

} // namespace qm::audio
