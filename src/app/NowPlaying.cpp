#include "NowPlaying.h"

#include "cd/DiscTitles.h"
#include "platform/frontend/FrontEnd.h"

#include <cmath>

namespace qm {

namespace {
QString Clock(float seconds)
{
    const int whole = seconds > 0 ? int(std::floor(seconds)) : 0;
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

NowPlaying::NowPlaying(AudioLibrary& audio, FrontEnd& frontEnd, const WindowState& state, const DiscTitles& titles)
    : m_audio(audio), m_frontEnd(frontEnd), m_state(state), m_titles(titles)
{
}

void NowPlaying::Update()
{
    const HSTREAM stream = m_state.currentStream;
    const DWORD active = stream != 0 && m_state.playingTrack >= 0 && !m_state.rippingActive
                             ? m_audio.BASS_ChannelIsActive(stream)
                             : BASS_ACTIVE_STOPPED;
    if (active == BASS_ACTIVE_STOPPED) {
        Send(QStringLiteral("_root.PlayState"), QStringLiteral("stopped"));
        Send(QStringLiteral("_root.NowPlaying"), QString());
        Send(QStringLiteral("_root.Elapsed"), QString());
        Send(QStringLiteral("_root.Duration"), QString());
        return;
    }
    const int number = m_state.playingTrack + 1;
    const QString title = m_titles.Title(number);
    const auto seconds = [this, stream](QWORD bytes) {
        return bytes == BASS_POSITION_ERROR ? 0.0f : m_audio.BASS_ChannelBytes2Seconds(stream, bytes);
    };
    Send(QStringLiteral("_root.PlayState"),
         active == BASS_ACTIVE_PAUSED ? QStringLiteral("paused") : QStringLiteral("playing"));
    Send(QStringLiteral("_root.NowPlaying"),
         title.isEmpty() ? QStringLiteral("Track %1").arg(number) : QStringLiteral("%1. %2").arg(number).arg(title));
    Send(QStringLiteral("_root.Elapsed"), Clock(seconds(m_audio.BASS_ChannelGetPosition(stream))));
    Send(QStringLiteral("_root.Duration"), Clock(seconds(m_audio.BASS_StreamGetLength(stream))));
}

void NowPlaying::Send(const QString& name, const QString& value)
{
    const auto it = m_sent.constFind(name);
    if (it != m_sent.constEnd() && *it == value)
        return;
    m_sent.insert(name, value);
    m_frontEnd.SetVariable(name, value);
}

} // namespace qm
