#include "RipJob.h"

#include "EncoderWriter.h"
#include "LosslessWriters.h"
#include "OutputFile.h"
#include "ErrorLog.h"
#include "WavWriter.h"
#include "WmaWriter.h"
#include "diag/ErrorReport.h"
#include "platform/ui/Dialogs.h"
#include "verify/AccurateRipLookup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <map>
#include <vector>

namespace qm {

namespace {

void Show(const RipContext& context, const RipFailure& f)
{
    const QString title = QString::fromLatin1(kApplicationTitle);
    switch (f.box) {
    case RipFailure::Box::None: break;
    case RipFailure::Box::Plain:
        context.dialogs.MessageBox(context.owner, f.message, title, MsgIcon::None, MsgButtons::Ok);
        break;
    case RipFailure::Box::Warning:
        context.dialogs.MessageBox(context.owner, f.message, title, MsgIcon::Warning, MsgButtons::Ok);
        break;
    case RipFailure::Box::AudioError: ShowAudioError(context.dialogs, context.owner, f.message, f.code); break;
    case RipFailure::Box::Report:
        ReportError(context.dialogs, context.owner, QStringLiteral("frmDemo"), f.routine, f.code, f.message);
        break;
    }
}

HSTREAM OpenSource(AudioLibrary& audio, DWORD drive, const RipSource& source)
{
    if (source.fromCD)
        return audio.BASS_CD_StreamCreate(drive, source.track, BASS_CD_DECODE_FLAGS);
    const QByteArray name = source.file.toUtf8();
    if (source.file.right(3).compare(QLatin1String("WMA"), Qt::CaseInsensitive) == 0)
        return audio.BASS_WMA_StreamCreateFile(false, name.constData(), 0, 0, BASS_CD_DECODE_FLAGS);
    return audio.BASS_StreamCreateFile(false, name.constData(), 0, 0, BASS_CD_DECODE_FLAGS);
}

// Test and copy's first read: the track's blocks go nowhere, only into its CRC.
class TestReadWriter : public RipWriter {
public:
    DWORD blockSize() const override { return 64 * 1024; }
    bool clearsStopFlag() const override { return false; }
    void streamFailed(int code) override { readFailed(code); }
    bool open(HSTREAM) override { return true; }
    bool write(const char*, DWORD) override { return true; }
    void readFailed(int code) override
    {
        fail({RipFailure::Box::None, {}, code, {}, QStringLiteral("the test read failed (error %1)").arg(code)});
    }
    RipResult finish(bool failed, bool cancelled) override
    {
        return failed ? RipResult::Failed : cancelled ? RipResult::Cancelled : RipResult::Ripped;
    }
};

} // namespace

RipResult RipOneTrack(const RipContext& context, DWORD drive, RipWriter& writer, const RipSource& source,
                      TrackReading* reading)
{
    AudioLibrary& audio = context.audio;
    if (!writer.prepare()) {
        writer.release();
        if (context.showBoxes)
            Show(context, writer.failure());
        return RipResult::Failed;
    }
    if (source.fromCD)
        audio.BASS_CD_Door(drive, BASS_CD_DOOR_LOCK);
    const HSTREAM stream = OpenSource(audio, drive, source);
    context.currentStream = stream;
    RipResult result = RipResult::Failed;
    if (stream == 0) {
        writer.streamFailed(audio.BASS_ErrorGetCode());
    } else {
        context.setContentEnabled(false);
        if (writer.open(stream)) {
            if (reading)
                reading->sums.emplace(audio.BASS_StreamGetLength(stream) / 4, reading->firstTrack, reading->lastTrack);
            const DWORD block = writer.blockSize();
            std::vector<char> buffer(block);
            bool failed = false, cancelled = false;
            while (audio.BASS_ChannelIsActive(stream) != BASS_ACTIVE_STOPPED) {
                const DWORD got = audio.BASS_ChannelGetData(stream, buffer.data(), block);
                if (got == BASS_DATA_ERROR || got == 0) {
                    // Past the end the stream is no longer active; anything
                    // else is a read that failed.
                    if (got == 0 && audio.BASS_ChannelIsActive(stream) == BASS_ACTIVE_STOPPED)
                        break;
                    writer.readFailed(audio.BASS_ErrorGetCode());
                    failed = true;
                    break;
                }
                if (!writer.write(buffer.data(), got)) {
                    failed = true;
                    break;
                }
                if (reading)
                    reading->sums->Add(buffer.data(), got);
                QCoreApplication::processEvents();
                if (context.stopFlag) {
                    cancelled = true;
                    break;
                }
            }
            if (reading && source.fromCD)
                audio.QM_CD_GetReadErrors(stream, &reading->errors);
            result = writer.finish(failed, cancelled);
            if (writer.clearsStopFlag())
                context.stopFlag = false;
        }
    }
    if (result == RipResult::Failed && context.showBoxes)
        Show(context, writer.failure());

    // Clean-up, on every path.
    if (stream != 0) {
        audio.BASS_ChannelStop(stream);
        audio.BASS_StreamFree(stream);
    }
    writer.release();
    if (source.fromCD)
        audio.BASS_CD_Door(drive, BASS_CD_DOOR_UNLOCK);
    context.setContentEnabled(true);
    return result;
}

RipResult Convert(const RipContext& context, DWORD drive, const QString& source, const QString& format,
                  const QString& bitrate, const QString& outputFile, bool fromCD)
{
    RipSource from{fromCD, 0, fromCD ? QString() : source};
    if (fromCD) {
        bool ok = false;
        const double value = source.trimmed().toDouble(&ok);
        if (!ok || !(value > -0.5) || value >= 1000.0) {
            AppendErrorLog(ErrorLogLine(QDateTime::currentDateTime(), QLocale(), QStringLiteral("Not a track number"),
                                        BASS_ERROR_ILLPARAM, source));
            return RipResult::Failed;
        }
        from.track = static_cast<DWORD>(std::nearbyint(value)); // halves go to the even neighbour
    }
    EncoderWriter writer(context.audio, context.windowHandle, context.currentStream, context.stopFlag,
                         {format, bitrate, outputFile, source});
    return RipOneTrack(context, drive, writer, from);
}

RipJob::RipJob(RipContext context, RipPlan plan, QObject* parent)
    : QObject(parent), m_context(std::move(context)), m_plan(std::move(plan))
{
}

std::unique_ptr<RipWriter> RipJob::WriterFor(int track) const
{
    const QString file = m_plan.FileFor(track);
    const auto tags = m_plan.tagFiles ? std::optional(m_plan.TagsFor(track)) : std::nullopt;
    switch (m_plan.format) {
    case FormatWav: return std::make_unique<WavWriter>(m_context.audio, file);
    case FormatFlac:
        return std::make_unique<FlacWriter>(m_context.audio, file,
                                            FlacWriter::Settings{m_plan.flacLevel, m_plan.flacVerify}, tags);
    case FormatOpus: return std::make_unique<OpusWriter>(m_context.audio, file, m_plan.bitrate.toInt(), tags);
    case FormatWma:
        return std::make_unique<WmaWriter>(m_context.audio, file, m_plan.wmaBitrate, m_plan.WmaTagsFor(track), track + 1);
    case FormatPortable:
    case FormatMp3:
    case FormatOgg:
        return std::make_unique<EncoderWriter>(
            m_context.audio, m_context.windowHandle, m_context.currentStream, m_context.stopFlag,
            EncoderWriter::Settings{m_plan.encoderCode, m_plan.bitrate, file, QString::number(track),
                                    m_plan.encoderWatchdogMs},
            tags);
    default: return nullptr;
    }
}

void RipJob::Run()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    const auto drive = static_cast<DWORD>(m_plan.drive);
    m_record.started = QDateTime::currentDateTime();
    m_record.drive = QString::fromLocal8Bit(m_context.audio.BASS_CD_GetDriveDescription(drive));
    if (const char* name = m_context.audio.QM_CD_GetDriveName(drive); name && !m_plan.imageDrive)
        m_record.drive += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(name));
    m_context.audio.QM_CD_SetReadOffset(drive, m_plan.imageDrive ? 0 : m_plan.readOffset);
    for (const int track : m_plan.tracks) {
        if (m_stopped)
            break;
        emit trackStarted(track);
        TrackRecord& record = m_record.tracks.emplace_back();
        record.track = track;
        record.file = m_plan.FileFor(track);
        RipResult result = RipResult::Failed;
        QString reason = QStringLiteral("no output format is chosen");
        // A template's folders are made as they are needed; one that cannot
        // be made fails the track where its file is created, with the reason.
        QDir().mkpath(QFileInfo(record.file).path());
        if (const auto writer = WriterFor(track)) {
            result = RipTrack(track, *writer, record);
            // A test read that failed stopped the track before its writer began.
            reason = record.reason.isEmpty() ? writer->failure().reason : record.reason;
        }
        switch (result) {
        case RipResult::Ripped: ++m_ripped; break;
        case RipResult::Failed: ++m_failed; break;
        case RipResult::Cancelled: break; // stopped part-way: not counted
        }
        if (record.written)
            m_written.push_back(track);
        record.result = result;
        record.reason = result == RipResult::Failed ? reason : QString();
        if (result != RipResult::Ripped)
            record.sums.reset(); // only a track read whole has checksums
        emit trackFinished(track, result, record.reason);
    }
    Verify();
    WriteAlbumFiles();
}

RipResult RipJob::RipTrack(int track, RipWriter& writer, TrackRecord& record)
{
    // The track's place among the audio tracks, for what AccurateRip leaves out.
    TrackReading reading;
    int first = 0, last = m_plan.disc.total - 1;
    const auto& toc = m_plan.disc.toc.tracks;
    if (!toc.empty()) {
        first = int(toc.size());
        last = -1;
        for (int i = 0; i < int(toc.size()); ++i) {
            if (toc[std::size_t(i)].audio) {
                first = std::min(first, i);
                last = i;
            }
        }
    }
    reading.firstTrack = track == first;
    reading.lastTrack = track == last;
    const auto drive = static_cast<DWORD>(m_plan.drive);
    const RipSource source{true, static_cast<DWORD>(track), QString()};

    if (TestsAndCopies()) {
        TestReadWriter test;
        TrackReading testReading = reading;
        const RipResult tested = RipOneTrack(m_context, drive, test, source, &testReading);
        if (tested != RipResult::Ripped) {
            if (tested == RipResult::Failed)
                record.reason = test.failure().reason;
            return tested;
        }
        record.testCrc = testReading.sums->Crc();
    }
    const RipResult result = RipOneTrack(m_context, drive, writer, source, &reading);
    record.written = result != RipResult::Failed;
    if (reading.sums)
        record.sums = TrackRecord::Sums{reading.sums->Crc(), reading.sums->V1(), reading.sums->V2()};
    record.errors = reading.errors;
    return result;
}

void RipJob::Verify()
{
    verify::AccurateRipLookup* lookup = m_context.accurateRip;
    if (!m_plan.verify || !lookup)
        return;
    m_record.accurateRipServer = lookup->server();
    // A stopped rip takes the answer if it is in, and waits for none.
    m_verifying = true;
    const bool answered = m_stopped ? lookup->state() == verify::AccurateRipLookup::State::Answered : lookup->Wait();
    m_verifying = false;
    m_record.accurateRipIds = lookup->ids();
    const bool failed = lookup->state() == verify::AccurateRipLookup::State::Failed;
    if (!answered) {
        m_record.accurateRipError = failed      ? lookup->error()
                                    : m_stopped ? QStringLiteral("stopped before the AccurateRip database answered")
                                                : QStringLiteral("could not reach the AccurateRip database");
    }
    // The database numbers the audio tracks only.
    std::map<int, int> audioIndex;
    for (int i = 0, n = 0; i < int(m_plan.disc.toc.tracks.size()); ++i) {
        if (m_plan.disc.toc.tracks[std::size_t(i)].audio)
            audioIndex[i] = n++;
    }
    for (TrackRecord& t : m_record.tracks) {
        if (!t.sums)
            continue;
        if (!answered)
            t.verdict.kind = failed || !m_stopped ? verify::TrackVerdict::Unreachable : verify::TrackVerdict::NotChecked;
        else if (const auto it = audioIndex.find(t.track); it != audioIndex.end())
            t.verdict = verify::Verify(lookup->answer(), it->second, t.sums->v1, t.sums->v2);
    }
}

void RipJob::Stop()
{
    m_stopped = true;
    m_context.stopFlag = true;
    if (m_verifying)
        m_context.accurateRip->StopWaiting();
}

QString RipJob::Summary() const
{
    QString text = QString::number(m_ripped) + QStringLiteral(" Tracks have been Ripped to ") + m_plan.folder;
    if (m_failed > 0)
        text += QStringLiteral("\r\n%1 Tracks could not be Ripped.").arg(m_failed);
    if (verified() && !m_record.tracks.empty())
        text += QStringLiteral("\r\n") + RipVerificationSummary(m_plan, m_record);
    for (const QString& problem : m_albumProblems)
        text += QStringLiteral("\r\n") + problem;
    return text;
}

void RipJob::WriteAlbumFiles()
{
    if (m_record.tracks.empty())
        return;
    const auto write = [this](const QString& path, const QByteArray& bytes, const QString& what) {
        OutputFile file(path);
        if (!file.create() || !file.append(bytes.constData(), std::size_t(bytes.size())) || !file.commit())
            m_albumProblems << QStringLiteral("The %1 could not be written: %2").arg(what, file.errorString());
    };

    // The log beside the first track's file, whatever became of the tracks.
    if (m_plan.format >= 0 && !m_record.tracks.empty()) {
        const QDir folder = QFileInfo(m_plan.FileFor(m_record.tracks.front().track)).dir();
        if (folder.exists())
            write(folder.filePath(RipLogName(m_plan.disc.album)), RipLogText(m_plan, m_record).toUtf8(),
                  QStringLiteral("rip log"));
    }
    if (m_written.empty())
        return;

    // The cover once per album folder, never over a file the user has there.
    const QByteArray& cover = m_plan.disc.cover;
    if (m_plan.tagFiles && !cover.isEmpty()) {
        const QString name = cover.startsWith("\x89PNG") ? QStringLiteral("/cover.png") : QStringLiteral("/cover.jpg");
        QStringList done;
        for (const int track : m_written) {
            const QString folder = QFileInfo(m_plan.FileFor(track)).path();
            if (!done.contains(folder) && !QFileInfo::exists(folder + name))
                write(folder + name, cover, QStringLiteral("cover"));
            done << folder;
        }
    }

    if (m_plan.playlist) {
        // Beside the first file, naming each file from there.
        const QDir folder = QFileInfo(m_plan.FileFor(m_written.front())).dir();
        const QString album = SafeNamePart(m_plan.disc.album, 200);
        QByteArray list = "#EXTM3U\n";
        for (const int track : m_written) {
            const TrackTags tags = m_plan.TagsFor(track);
            const auto text = m_plan.disc.tracks.find(track);
            const int seconds = text != m_plan.disc.tracks.end() ? text->second.seconds : -1;
            list += PlaylistEntry(seconds, tags.artist, tags.title, folder.relativeFilePath(m_plan.FileFor(track))).toUtf8();
        }
        write(folder.filePath((album.isEmpty() ? QStringLiteral("Quillmere") : album) + QStringLiteral(".m3u8")), list,
              QStringLiteral("playlist"));
    }
}

} // namespace qm
