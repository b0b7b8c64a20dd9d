#include "DiscImageWriter.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace qm::test {

namespace {
constexpr std::int64_t kSector = 2352;

QByteArray Msf(std::int64_t sectors)
{
    return QString::asprintf("%02d:%02d:%02d", int(sectors / 75 / 60), int(sectors / 75 % 60), int(sectors % 75)).toLatin1();
}

QByteArray TextLine(const char* indent, const char* keyword, const std::string& utf8, bool asUtf8)
{
    QByteArray text = asUtf8 ? QByteArray::fromStdString(utf8) : QString::fromUtf8(utf8).toLatin1();
    text.replace('"', '\'');
    return QByteArray(indent) + keyword + " \"" + text + "\"\n";
}

void Save(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}
} // namespace

Pcm WrittenImage::track(std::size_t i) const
{
    const auto begin = starts.at(i);
    const auto end = i + 1 < starts.size() ? starts[i + 1] : static_cast<std::int64_t>(binBytes.size());
    return Pcm(binBytes.begin() + begin, binBytes.begin() + end);
}

WrittenImage WriteDiscImage(const QString& folder, const QString& baseName, const DiscLayout& layout)
{
    WrittenImage out;
    out.cue = QDir(folder).filePath(baseName + QStringLiteral(".cue"));
    out.bin = QDir(folder).filePath(baseName + QStringLiteral(".bin"));

    QByteArray cue;
    if (!layout.performer.empty())
        cue += TextLine("", "PERFORMER", layout.performer, layout.utf8Cue);
    if (!layout.title.empty())
        cue += TextLine("", "TITLE", layout.title, layout.utf8Cue);
    cue += "FILE \"" + QFile::encodeName(baseName) + ".bin\" BINARY\n";
    int number = 1;
    for (const ImageTrack& t : layout.tracks) {
        cue += QString::asprintf("  TRACK %02d %s\n", number++, t.data ? "MODE1/2352" : "AUDIO").toLatin1();
        if (!t.title.empty())
            cue += TextLine("    ", "TITLE", t.title, layout.utf8Cue);
        if (!t.performer.empty())
            cue += TextLine("    ", "PERFORMER", t.performer, layout.utf8Cue);
        const auto sectorAt = static_cast<std::int64_t>(out.binBytes.size()) / kSector;
        if (t.pregapSectors > 0) {
            cue += "    INDEX 00 " + Msf(sectorAt) + "\n";
            // A quiet but non-zero pregap, so reads that miss it show up.
            for (std::int64_t i = 0; i < t.pregapSectors * kSector; ++i)
                out.binBytes.push_back(static_cast<std::uint8_t>(0x11 + i % 3));
        }
        out.starts.push_back(static_cast<std::int64_t>(out.binBytes.size()));
        cue += "    INDEX 01 " + Msf(static_cast<std::int64_t>(out.binBytes.size()) / kSector) + "\n";
        out.binBytes.insert(out.binBytes.end(), t.pcm.begin(), t.pcm.end());
        while (out.binBytes.size() % kSector != 0)
            out.binBytes.push_back(0);
    }
    Save(out.cue, cue);
    Save(out.bin, QByteArray(reinterpret_cast<const char*>(out.binBytes.data()),
                             static_cast<qsizetype>(out.binBytes.size())));
    return out;
}

Pcm TonePcm(double seconds, double leftHz, double rightHz, double amplitude)
{
    const auto frames = static_cast<std::size_t>(seconds * 44100);
    Pcm pcm(frames * 4);
    for (std::size_t i = 0; i < frames * 2; ++i) {
        const double hz = i % 2 ? rightHz : leftHz;
        const auto s = static_cast<std::int16_t>(std::lround(amplitude * 32767 * std::sin(2 * std::numbers::pi * hz * double(i / 2) / 44100)));
        pcm[2 * i] = static_cast<std::uint8_t>(s & 0xFF);
        pcm[2 * i + 1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
    }
    return pcm;
}

Pcm PatternPcm(std::size_t bytes, unsigned seed)
{
    Pcm pcm(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        pcm[i] = static_cast<std::uint8_t>((i * 131 + (i >> 8) * 7 + (i >> 16) * 13 + seed * 29) & 0xFF);
    return pcm;
}

} // namespace qm::test
