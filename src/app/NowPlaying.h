#pragma once
// What the scene's status card shows while a track plays or is paused: its
// state, number and title, the time played and the track's length. Sent on
// each tick of the playback timer, but only what has changed.

#include "platform/audio/AudioLibrary.h"
#include "shared/WindowState.h"

#include <QHash>
#include <QString>

namespace qm {

class DiscTitles;
class FrontEnd;

class NowPlaying {
public:
    NowPlaying(AudioLibrary& audio, FrontEnd& frontEnd, const WindowState& state, const DiscTitles& titles);

    // _root.PlayState ("playing", "paused" or "stopped"), _root.NowPlaying
    // ("3. Title", or "Track 3" without one), _root.Elapsed and
    // _root.Duration ("m:ss"); "" for none while stopped.
    void Update();

private:
    void Send(const QString& name, const QString& value);

    AudioLibrary& m_audio;
    FrontEnd& m_frontEnd;
    const WindowState& m_state;
    const DiscTitles& m_titles;
    QHash<QString, QString> m_sent;
};

} // namespace qm
