#include "RipLog.h"

#include "FileNames.h"
#include "diag/ErrorReport.h"
#include "quillmere_version.h"

#include <QLocale>

namespace qm {

namespace {

constexpr int kSectorsPerSecond = 75;
constexpr int kSamplesPerSector = 588;

QString Hex(std::uint32_t value)
{
    return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

QString TrackNumber(int track)
{
    return QStringLiteral("%1").arg(track + 1, 2, 10, QLatin1Char('0'));
}

// m:ss.ff, ff in sectors as the table of contents counts them.
QString Msf(std::int32_t sectors)
{
    const int frames = sectors % kSectorsPerSecond, seconds = sectors / kSectorsPerSecond;
    return QStringLiteral("%1:%2.%3")
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .arg(frames, 2, 10, QLatin1Char('0'));
}

QString FormatText(const RipPlan& plan)
{
    const bool constant = plan.encoderCode.endsWith(QLatin1Char('C'));
    const QString mode = constant ? QStringLiteral("constant") : QStringLiteral("variable");
    switch (plan.format) {
    case FormatWav: return QStringLiteral("WAV (16-bit PCM)");
    case FormatWma: return QStringLiteral("WMA, %1 bit/s").arg(plan.wmaBitrate);
    case FormatPortable:
    case FormatMp3: return QStringLiteral("MP3 (lame), %1 %2 kbit/s").arg(mode, plan.bitrate);
    case FormatOgg: return QStringLiteral("Ogg Vorbis (oggenc), %1 %2 kbit/s").arg(mode, plan.bitrate);
    case FormatFlac:
        return QStringLiteral("FLAC, level %1%2").arg(plan.flacLevel).arg(plan.flacVerify ? QStringLiteral(", verified") : QString());
    case FormatOpus: return QStringLiteral("Opus, %1 kbit/s").arg(plan.bitrate);
    default: return QStringLiteral("none");
    }
}

QString StateText(const TrackRecord& t)
{
    switch (t.result) {
    case RipResult::Ripped: return QString();
    case RipResult::Cancelled: return QStringLiteral("Stopped by the user; not read whole");
    case RipResult::Failed: return QStringLiteral("Failed: ") + (t.reason.isEmpty() ? QStringLiteral("not read") : t.reason);
    }
    return QString();
}

// The track's result as one phrase, for the terminal and the summary.
QString ResultText(const TrackRecord& t)
{
    if (t.result != RipResult::Ripped)
        return StateText(t);
    if (t.suspicious())
        return QStringLiteral("Suspicious: the test and copy reads differ; ") + verify::VerdictText(t.verdict);
    return verify::VerdictText(t.verdict);
}

// Zeros the read offset put at the disc's edges, in samples.
QString EdgeNote(const RipPlan& plan, const TrackRecord& t)
{
    const auto& tracks = plan.disc.toc.tracks;
    if (plan.readOffset == 0 || std::size_t(t.track) >= tracks.size())
        return QString();
    const std::int64_t start = std::int64_t(tracks[std::size_t(t.track)].start) * kSamplesPerSector + plan.readOffset;
    const std::int64_t end = (std::size_t(t.track) + 1 < tracks.size() ? std::int64_t(tracks[std::size_t(t.track) + 1].start)
                                                                        : std::int64_t(plan.disc.toc.leadout)) *
                                 kSamplesPerSector + plan.readOffset;
    const std::int64_t discEnd = std::int64_t(plan.disc.toc.leadout) * kSamplesPerSector;
    if (start < 0)
        return QStringLiteral("The first %1 samples lie before the disc's first sector and are zeros").arg(-start);
    if (end > discEnd)
        return QStringLiteral("The last %1 samples lie past the disc's last sector and are zeros").arg(end - discEnd);
    return QString();
}

} // namespace

QString RipLogName(const QString& album)
{
    const QString name = SafeNamePart(album, 200);
    return (name.isEmpty() ? QStringLiteral("Quillmere") : name) + QStringLiteral(".log");
}

QString RipLogText(const RipPlan& plan, const RipRecord& record)
{
    QString log;
    const auto line = [&log](const QString& text = QString()) { log += text + QLatin1Char('\n'); };
    const auto field = [&line](const char* name, const QString& value) {
        line(QStringLiteral("%1 %2").arg(QString::fromLatin1(name) + QLatin1Char(':'), -16).arg(value));
    };
    line(QStringLiteral("%1 %2 rip log").arg(QString::fromLatin1(kApplicationTitle), QStringLiteral(QUILLMERE_VERSION_TEXT)));
    line(record.started.toString(Qt::ISODate));
    line();
    field("Drive", record.drive);
    field("Read mode", plan.imageDrive ? QStringLiteral("disc image, read exactly")
                                       : QStringLiteral("secure (cdparanoia full mode, never skipping)"));
    field("Read offset", plan.imageDrive ? QStringLiteral("0 (disc image)")
                                         : QStringLiteral("%1%2 samples").arg(plan.readOffset > 0 ? "+" : "").arg(plan.readOffset));
    field("Test and copy", plan.testAndCopy && !plan.imageDrive ? QStringLiteral("yes") : QStringLiteral("no"));
    field("Format", FormatText(plan));
    field("AccurateRip", !plan.verify ? QStringLiteral("off")
                         : record.accurateRipServer.isEmpty() ? QStringLiteral("not asked")
                                                              : record.accurateRipServer);
    line();
    field("Artist", plan.disc.artist);
    field("Album", plan.disc.album);
    line();

    line(QStringLiteral("Table of contents"));
    line(QStringLiteral("  Track |   Start  |  Length  | Start sector | End sector"));
    const auto& tracks = plan.disc.toc.tracks;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const std::int32_t end = i + 1 < tracks.size() ? tracks[i + 1].start : plan.disc.toc.leadout;
        line(QStringLiteral("  %1 | %2 | %3 | %4 | %5%6")
                 .arg(tracks[i].number, 5)
                 .arg(Msf(tracks[i].start), 8)
                 .arg(Msf(end - tracks[i].start), 8)
                 .arg(tracks[i].start, 12)
                 .arg(end - 1, 10)
                 .arg(tracks[i].audio ? QString() : QStringLiteral("  (data)")));
    }
    line(QStringLiteral("  Lead-out at sector %1").arg(plan.disc.toc.leadout));
    line();
    field("MusicBrainz ID", plan.disc.discId);
    field("freedb ID", plan.disc.freedbId);
    if (record.accurateRipIds.audioTracks > 0)
        field("AccurateRip ID", QStringLiteral("%1-%2-%3-%4")
                                    .arg(record.accurateRipIds.audioTracks, 3, 10, QLatin1Char('0'))
                                    .arg(record.accurateRipIds.id1, 8, 16, QLatin1Char('0'))
                                    .arg(record.accurateRipIds.id2, 8, 16, QLatin1Char('0'))
                                    .arg(record.accurateRipIds.freedb, 8, 16, QLatin1Char('0')));
    if (!record.accurateRipError.isEmpty())
        field("AccurateRip", record.accurateRipError);

    for (const TrackRecord& t : record.tracks) {
        line();
        line(QStringLiteral("Track %1").arg(TrackNumber(t.track)));
        line(QStringLiteral("  File: ") + (t.written ? t.file : QStringLiteral("none written")));
        if (const QString state = StateText(t); !state.isEmpty())
            line(QStringLiteral("  ") + state);
        if (t.sums) {
            line(QStringLiteral("  Copy CRC: ") + Hex(t.sums->crc));
            if (t.testCrc)
                line(QStringLiteral("  Test CRC: %1 (%2)").arg(Hex(*t.testCrc),
                                                             t.suspicious() ? QStringLiteral("differs: suspicious")
                                                                            : QStringLiteral("the same")));
            line(QStringLiteral("  AccurateRip v1: ") + Hex(t.sums->v1));
            line(QStringLiteral("  AccurateRip v2: ") + Hex(t.sums->v2));
            line(QStringLiteral("  ") + verify::VerdictText(t.verdict));
        }
        if (!plan.imageDrive)
            line(QStringLiteral("  Read errors: %1, skips: %2, repairs: %3, fixups: %4, drift: %5")
                     .arg(t.errors.readErrors)
                     .arg(t.errors.skips)
                     .arg(t.errors.repairs)
                     .arg(t.errors.fixups)
                     .arg(t.errors.drift));
        if (const QString note = EdgeNote(plan, t); !note.isEmpty())
            line(QStringLiteral("  ") + note);
    }
    line();
    line(QStringLiteral("Summary"));
    line(RipVerificationSummary(plan, record));
    for (const TrackRecord& t : record.tracks) {
        if (!t.accurate())
            line(QStringLiteral("  Track %1: %2").arg(TrackNumber(t.track), ResultText(t)));
    }
    return log;
}

QString RipVerificationSummary(const RipPlan& plan, const RipRecord& record)
{
    QStringList inaccurate, suspicious;
    for (const TrackRecord& t : record.tracks) {
        if (!t.accurate())
            inaccurate << QString::number(t.track + 1);
        if (t.suspicious())
            suspicious << QString::number(t.track + 1);
    }
    const auto list = [](const QStringList& tracks) {
        return (tracks.size() == 1 ? QStringLiteral("track ") : QStringLiteral("tracks ")) +
               tracks.join(QStringLiteral(", "));
    };
    QString summary;
    if (!plan.verify)
        summary = QStringLiteral("Not verified with AccurateRip");
    else if (!record.accurateRipError.isEmpty())
        summary = QStringLiteral("Not verified: ") + record.accurateRipError;
    else if (record.accurateRipServer.isEmpty())
        summary = QStringLiteral("Not verified with AccurateRip");
    else if (inaccurate.isEmpty())
        return record.tracks.empty() ? QStringLiteral("No track was ripped") : QStringLiteral("All tracks accurately ripped");
    else
        summary = QStringLiteral("Not accurately ripped: ") + list(inaccurate);
    if (!suspicious.isEmpty())
        summary += QStringLiteral("; suspicious: ") + list(suspicious);
    return summary;
}

QStringList RipTrackResults(const RipRecord& record)
{
    QStringList lines;
    for (const TrackRecord& t : record.tracks)
        lines << QStringLiteral("Track %1: %2").arg(TrackNumber(t.track), ResultText(t));
    return lines;
}

} // namespace qm
