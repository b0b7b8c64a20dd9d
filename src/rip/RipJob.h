#pragma once
// The rip job: the plan's tracks one after the other, each through its
// format's writer and the one loop every format shares.

#include "RipLog.h"
#include "RipPlan.h"
#include "RipResult.h"
#include "RipWriter.h"
#include "verify/AccurateRip.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace qm {

class Dialogs;
namespace verify {
class AccurateRipLookup;
}

// What a rip needs of the window it runs in.
struct RipContext {
    AudioLibrary& audio;
    Dialogs& dialogs;
    QWidget* owner;         // owns the boxes
    HSTREAM& currentStream; // the playback timer shows the rip's progress from it
    bool& stopFlag;         // the rip stop flag, polled after every block
    // The window's content, disabled while a track is read.
    std::function<void(bool enabled)> setContentEnabled;
    std::uintptr_t windowHandle = 0; // the library restarts on it before an encoder runs
    bool showBoxes = true;           // false on the terminal, where the job's signals tell
    // The disc's AccurateRip entries, asked for when it was loaded; null when
    // the database is not asked.
    verify::AccurateRipLookup* accurateRip = nullptr;
};

struct RipSource {
    bool fromCD = true;
    DWORD track = 0; // 0-based, on the plan's drive
    QString file;    // when not from CD
};

// What is learnt of a CD track while it is read: its checksums (of every
// block the writer took) and what the drive's reads reported.
struct TrackReading {
    bool firstTrack = false, lastTrack = false; // among the disc's audio tracks
    std::optional<verify::TrackChecksums> sums; // made once the stream is there
    QM_CD_READ_ERRORS errors;
};

// One track through one writer: the door locked, the stream made, the window
// disabled, the blocks read until the end, a failure or the stop flag, and
// everything undone on every path. A failure is shown as the writer says
// (when the context shows boxes) and stays in the writer.
RipResult RipOneTrack(const RipContext& context, DWORD drive, RipWriter& writer, const RipSource& source,
                      TrackReading* reading = nullptr);

// One external-encoder conversion, outside any job: of the CD track whose
// 0-based number `source` holds, or of the audio file it names.
RipResult Convert(const RipContext& context, DWORD drive, const QString& source, const QString& format,
                  const QString& bitrate, const QString& outputFile, bool fromCD);

class RipJob : public QObject {
    Q_OBJECT
public:
    RipJob(RipContext context, RipPlan plan, QObject* parent = nullptr);

    // Rips the tracks in order; returns when the job has ended.
    void Run();
    // The user confirmed cancelling: the track in progress ends where it
    // stands, keeping what was read, and no other starts.
    void Stop();
    bool stopped() const { return m_stopped; }
    // The tracks are done and the rip waits for the AccurateRip database.
    bool verifying() const { return m_verifying; }
    int ripped() const { return m_ripped; }
    int failed() const { return m_failed; }
    const RipPlan& plan() const { return m_plan; }
    // "3 Tracks have been Ripped to " + folder, and how many failed if any did;
    // then what the verification found, when there was any.
    QString Summary() const;
    // Each track's checksums and verification, as the log has them.
    const RipRecord& record() const { return m_record; }
    // Whether the rip was checked (AccurateRip asked, or test and copy).
    bool verified() const { return (m_plan.verify && m_context.accurateRip) || TestsAndCopies(); }
    // The writer of the plan's format for one track; null for no format.
    std::unique_ptr<RipWriter> WriterFor(int track) const;

signals:
    void trackStarted(int track);
    void trackFinished(int track, qm::RipResult result, const QString& reason);

private:
    bool TestsAndCopies() const { return m_plan.testAndCopy && !m_plan.imageDrive; }
    // One track, read twice with test and copy.
    RipResult RipTrack(int track, RipWriter& writer, TrackRecord& record);
    // After the tracks: each one matched against AccurateRip.
    void Verify();
    // After the tracks: the cover beside them, the playlist as the plan asks, and the log.
    void WriteAlbumFiles();

    RipContext m_context;
    RipPlan m_plan;
    bool m_stopped = false;
    bool m_verifying = false;
    int m_ripped = 0;
    int m_failed = 0;
    std::vector<int> m_written;    // tracks whose file is in place, in order
    QStringList m_albumProblems;   // the cover, playlist or log that could not be written
    RipRecord m_record;
};

} // namespace qm
