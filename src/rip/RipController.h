#pragma once
// The window's rip: the progress window over the main window while a plan's
// tracks are ripped, and the single-track writers under the names the
// program has always called them by. The plan comes from the caller.

#include "rip/RipJob.h"
#include "shared/WindowState.h"

#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QStringList>

class QWidget;

namespace qm {

class frmRipp;

class RipController : public QObject {
    Q_OBJECT
public:
    RipController(AudioLibrary& audio, Dialogs& dialogs, WindowState& state, QWidget* owner);

    // Shows the progress window modally; returns when the job has ended.
    void ShowRipWindow(RipPlan plan);
    void StopRipping();
    // The program is ending: a rip under way stops as frmRipp::StopForShutdown says.
    void StopForShutdown();
    // What a rip needs of the window; the terminal shows no boxes.
    RipContext ripContext(bool showBoxes = true);
    // One track in one format, outside a job; each reports its own failures.
    RipResult ExtractAudioTrackToWav(int track, const QString& folder);
    RipResult ExtractAudioTrackToWMA(int track, DWORD bitrate, const RipPlan& wmaPlan);
    RipResult Converter(const QString& source, const QString& format, const QString& bitrate,
                        const QString& outputFile, bool fromCD);
    // The playback timer's look at the current stream, while the window is open.
    void ShowProgress(float ratio);
    // The open progress window's bar; null while none is open.
    QProgressBar* ripProgress() const { return m_progress; }

    // The progress window's pause before its job starts, time for it to be
    // seen; the command line, which shows no window, starts at once.
    int ripStartDelayMs = 1000;
    QStringList wmaTagNames;
    // The disc's AccurateRip entries that rips are matched against; null: never.
    verify::AccurateRipLookup* accurateRip = nullptr;

signals:
    // The progress window is about to be shown (the window skins it).
    void ripWindowOpening(QWidget* window);
    // The main window's content, disabled while a writer runs.
    void contentEnabled(bool enabled);
    // The progress window's job has ended, before its closing box is shown.
    void ripFinished(const qm::RipJob& job);

private:
    AudioLibrary& m_audio;
    Dialogs& m_dialogs;
    WindowState& m_state;
    QWidget* m_owner;
    QPointer<QProgressBar> m_progress;
    QPointer<frmRipp> m_window; // while one is open
};

} // namespace qm
