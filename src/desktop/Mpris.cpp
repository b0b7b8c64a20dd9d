#include "Mpris.h"

#include "app/frmMain.h"
#include "cd/DiscTitles.h"
#include "cd/TrackList.h"
#include "player/Player.h"

#include <QApplication>
#include <QDBusMessage>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace qm::desktop {

Mpris::Mpris(frmMain& window, QDBusConnection bus, QObject* parent)
    : QObject(parent), m_window(window), m_bus(std::move(bus))
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    Player& player = window.player();
    connect(&player, &Player::ticked, this, &Mpris::Announce);
    // The user's seeks in the window: keys and the wheel seek as the value
    // changes, a drag when the mouse lets go. The player has seeked by then;
    // its own moves are made with the slider's signals blocked.
    connect(player.SliderPosition, &QSlider::valueChanged, this, [this, &player] {
        if (!player.positionDrag && StreamLive())
            emit Seeked(Position());
    });
    connect(player.SliderPosition, &QSlider::sliderReleased, this, [this] {
        if (StreamLive())
            emit Seeked(Position());
    });
}

Mpris::~Mpris()
{
    if (m_published) {
        m_bus.unregisterService(QString::fromLatin1(kService));
        m_bus.unregisterObject(QString::fromLatin1(kPath));
    }
}

bool Mpris::Publish(QString* why)
{
    if (!m_bus.registerObject(QString::fromLatin1(kPath), this, QDBusConnection::ExportAdaptors)) {
        *why = QStringLiteral("the player object cannot be put on the session bus");
        return false;
    }
    if (!m_bus.registerService(QString::fromLatin1(kService))) {
        m_bus.unregisterObject(QString::fromLatin1(kPath));
        *why = QStringLiteral("%1 is taken on the session bus (%2)")
                   .arg(QString::fromLatin1(kService), m_bus.lastError().message());
        return false;
    }
    m_published = true;
    m_announced = PlayerProperties();
    return true;
}

QDBusObjectPath Mpris::TrackId(int track)
{
    return QDBusObjectPath(QStringLiteral("/org/quillmere/track/%1").arg(track + 1));
}

bool Mpris::Busy() const
{
    return m_window.state().rippingActive || m_window.CommandRunning() || QApplication::activeModalWidget() != nullptr;
}

// During a rip the current stream is the rip's; it is never the player's.
bool Mpris::StreamLive() const
{
    return !m_window.state().rippingActive &&
           m_window.audio().BASS_ChannelIsActive(m_window.state().currentStream) != BASS_ACTIVE_STOPPED;
}

qlonglong Mpris::Microseconds(unsigned long long bytes) const
{
    const float seconds = m_window.player().Bytes2Seconds(m_window.state().currentStream, bytes);
    return seconds > 0 ? std::llround(static_cast<double>(seconds) * 1e6) : 0;
}

QString Mpris::PlaybackStatus() const
{
    if (m_window.state().rippingActive)
        return QStringLiteral("Stopped");
    switch (m_window.audio().BASS_ChannelIsActive(m_window.state().currentStream)) {
    case BASS_ACTIVE_PLAYING:
    case BASS_ACTIVE_STALLED: return QStringLiteral("Playing");
    case BASS_ACTIVE_PAUSED: return QStringLiteral("Paused");
    default: return QStringLiteral("Stopped");
    }
}

QVariantMap Mpris::Metadata() const
{
    const int track = m_window.state().playingTrack;
    if (track < 0 || !StreamLive())
        return {};
    const QWORD length = m_window.audio().BASS_StreamGetLength(m_window.state().currentStream);
    const DiscTitles& titles = m_window.tracks().titles();
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId(track)));
    if (length != BASS_POSITION_ERROR)
        map.insert(QStringLiteral("mpris:length"), Microseconds(length));
    map.insert(QStringLiteral("xesam:title"), titles.Title(track + 1));
    map.insert(QStringLiteral("xesam:artist"), QStringList{titles.Artist()});
    map.insert(QStringLiteral("xesam:album"), titles.Album());
    map.insert(QStringLiteral("xesam:trackNumber"), track + 1);
    return map;
}

qlonglong Mpris::Position() const
{
    if (!StreamLive())
        return 0;
    const QWORD bytes = m_window.audio().BASS_ChannelGetPosition(m_window.state().currentStream);
    return bytes == BASS_POSITION_ERROR ? 0 : Microseconds(bytes);
}

double Mpris::Volume() const
{
    return std::abs(m_window.player().SliderVolume->value()) / 100.0;
}

bool Mpris::CanPlay() const
{
    return !Busy() && m_window.tracks().RowCount() > 0;
}

bool Mpris::CanSeek() const
{
    return !Busy() && StreamLive();
}

// Next and Previous step from the selected row; with none they do nothing.
bool Mpris::CanGoNext() const
{
    return CanPlay() && m_window.tracks().SelectedRow() != 0;
}

void Mpris::Raise()
{
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

// After the reply: the shutdown must not cut it off.
void Mpris::Quit()
{
    QTimer::singleShot(0, &m_window, [this] { m_window.DispatchCommand(QStringLiteral("IDC_FS_Close"), {}); });
}

void Mpris::Command(const char* name)
{
    m_window.DispatchCommand(QString::fromLatin1(name), {});
    Announce();
}

// The scene's Play restarts the selected row: a player already playing
// stays as it is.
void Mpris::Play()
{
    if (PlaybackStatus() != QLatin1String("Playing"))
        Command("IDC_FS_Play");
}

void Mpris::Pause()
{
    if (PlaybackStatus() == QLatin1String("Playing"))
        Command("IDC_FS_Pause");
}

void Mpris::PlayPause()
{
    if (PlaybackStatus() == QLatin1String("Playing"))
        Command("IDC_FS_Pause");
    else
        Command("IDC_FS_Play");
}

void Mpris::Stop() { Command("IDC_FS_Stop"); }
void Mpris::Next() { Command("IDC_FS_Next"); }
void Mpris::Previous() { Command("IDC_FS_Previous"); }

void Mpris::SeekTo(qlonglong position)
{
    Player& player = m_window.player();
    // Whole frames of the CD stream.
    const auto frames = static_cast<QWORD>(std::llround(static_cast<double>(position) * kCdRate / 1e6));
    if (player.SetStreamPosition(m_window.state().currentStream, frames * 4))
        emit Seeked(Position());
}

// As the protocol has it: before the start is the start, past the end goes
// on to the next track.
void Mpris::Seek(qlonglong offset)
{
    if (!CanSeek())
        return;
    const QWORD length = m_window.audio().BASS_StreamGetLength(m_window.state().currentStream);
    const qlonglong target = std::max<qlonglong>(0, Position() + offset);
    if (length == BASS_POSITION_ERROR)
        return;
    if (target > Microseconds(length)) {
        Next();
        return;
    }
    SeekTo(target);
}

// A stale track ID (the track changed since the caller looked) or a position
// outside the track changes nothing.
void Mpris::SetPosition(const QDBusObjectPath& track, qlonglong position)
{
    if (!CanSeek() || track != TrackId(m_window.state().playingTrack) || position < 0)
        return;
    const QWORD length = m_window.audio().BASS_StreamGetLength(m_window.state().currentStream);
    if (length == BASS_POSITION_ERROR || position > Microseconds(length))
        return;
    SeekTo(position);
}

// As the slider does: the slider shows it, the stream takes it.
void Mpris::SetVolume(double volume)
{
    if (Busy() || std::isnan(volume))
        return;
    Player& player = m_window.player();
    player.SliderVolume->setValue(-static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
    player.SliderVolume_Scroll();
    Announce();
}

QVariantMap Mpris::PlayerProperties() const
{
    return {
        {QStringLiteral("PlaybackStatus"), PlaybackStatus()},
        {QStringLiteral("Metadata"), Metadata()},
        {QStringLiteral("Volume"), Volume()},
        {QStringLiteral("CanPlay"), CanPlay()},
        {QStringLiteral("CanPause"), CanPause()},
        {QStringLiteral("CanSeek"), CanSeek()},
        {QStringLiteral("CanGoNext"), CanGoNext()},
        {QStringLiteral("CanGoPrevious"), CanGoPrevious()},
    };
}

void Mpris::Announce()
{
    if (!m_published)
        return;
    const QVariantMap now = PlayerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_announced = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}

MprisPlayerAdaptor::MprisPlayerAdaptor(Mpris* mpris) : QDBusAbstractAdaptor(mpris), m_mpris(mpris)
{
    connect(mpris, &Mpris::Seeked, this, &MprisPlayerAdaptor::Seeked);
}

void Mpris::OpenUri(const QString& /*uri*/)
{
    sendErrorReply(QDBusError::NotSupported, QStringLiteral("Quillmere plays discs; it opens no URIs"));
}

} // namespace qm::desktop
