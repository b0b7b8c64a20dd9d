// The main window's side of ripping: the progress window, and the writers
// under the names the program has always called them by.
#include "RipController.h"

#include "rip/RipNames.h"
#include "rip/WavWriter.h"
#include "rip/WmaWriter.h"
#include "rip/frmRipp.h"
#include "player/PlayerText.h"

#include <QProgressBar>

namespace qm {

RipController::RipController(AudioLibrary& audio, Dialogs& dialogs, WindowState& state, QWidget* owner)
    : QObject(owner), m_audio(audio), m_dialogs(dialogs), m_state(state), m_owner(owner)
{
}

RipContext RipController::ripContext(bool showBoxes)
{
    return RipContext{m_audio,
                      m_dialogs,
                      m_owner,
                      m_state.currentStream,
                      m_state.ripStop,
                      [this](bool on) { emit contentEnabled(on); },
                      static_cast<std::uintptr_t>(m_owner->winId()),
                      showBoxes,
                      accurateRip};
}

void RipController::ShowRipWindow(RipPlan plan)
{
    frmRipp window(ripContext(), std::move(plan), ripStartDelayMs, m_owner);
    emit ripWindowOpening(&window);
    connect(&window, &frmRipp::jobEnded, this, [this, &window] { emit ripFinished(window.job()); });
    // The playback timer shows the rip's progress in the window's bar.
    m_state.rippingActive = true;
    m_progress = window.prgRipper;
    m_window = &window;
    window.exec();
    m_state.rippingActive = false;
    m_progress = nullptr;
    m_window = nullptr;
}

void RipController::ShowProgress(float ratio)
{
    if (m_progress)
        m_progress->setValue(m_progress->minimum() + RatioToScale(ratio, m_progress->maximum() - m_progress->minimum()));
}

void RipController::StopRipping()
{
    m_state.ripStop = true;
}

void RipController::StopForShutdown()
{
    if (m_window)
        m_window->StopForShutdown();
}

RipResult RipController::ExtractAudioTrackToWav(int track, const QString& folder)
{
    WavWriter writer(m_audio, TrackFileName(folder, track + 1, QStringLiteral(".WAV")));
    return RipOneTrack(ripContext(), static_cast<DWORD>(m_state.currentDrive), writer,
                       {true, static_cast<DWORD>(track), {}});
}

RipResult RipController::ExtractAudioTrackToWMA(int track, DWORD bitrate, const RipPlan& wmaPlan)
{
    WmaWriter writer(m_audio, wmaPlan.FileFor(track), bitrate, wmaPlan.wmaTags, track + 1);
    return RipOneTrack(ripContext(), static_cast<DWORD>(m_state.currentDrive), writer,
                       {true, static_cast<DWORD>(track), {}});
}

RipResult RipController::Converter(const QString& source, const QString& format, const QString& bitrate,
                                   const QString& outputFile, bool fromCD)
{
    return Convert(ripContext(), static_cast<DWORD>(m_state.currentDrive), source, format, bitrate, outputFile,
                   fromCD);
}

} // namespace qm
