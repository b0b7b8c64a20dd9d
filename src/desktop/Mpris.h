#pragma once
// The player on the session bus, as desktop media players are: media keys,
// the desktop's player widgets and scripts drive the window through the
// scene's own commands, and hear of what changes.

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace qm {
class frmMain;
}

namespace qm::desktop {

// Calls reach it through its two adaptors (the bus's context is its own).
class Mpris : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.mpris.MediaPlayer2.quillmere";
    static constexpr const char* kPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";

    Mpris(frmMain& window, QDBusConnection bus, QObject* parent = nullptr);
    ~Mpris() override;

    // Puts the object on the bus and takes the name; false, with *why, when
    // either cannot be done (the name is another program's).
    bool Publish(QString* why);

    // The track ID of a disc track (0-based).
    static QDBusObjectPath TrackId(int track);

    // What the interfaces read.
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    qlonglong Position() const; // microseconds
    double Volume() const;      // 0 to 1
    bool CanPlay() const;
    bool CanPause() const { return CanPlay(); }
    bool CanSeek() const;
    bool CanGoNext() const;
    bool CanGoPrevious() const { return CanGoNext(); }

    // What they do.
    void Raise();
    void Quit();
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& track, qlonglong position);
    void SetVolume(double volume);
    // Refused: the player plays discs.
    void OpenUri(const QString& uri);

    // Sends PropertiesChanged for what changed since the last look; the
    // playback timer's ticks and every call look.
    void Announce();

signals:
    // The position jumped (a seek here or in the window), in microseconds.
    void Seeked(qlonglong position);

private:
    // A rip, a command or a box owns the window (and, during a rip, the
    // current stream): the bus's calls are dropped, as the scene's are.
    bool Busy() const;
    bool StreamLive() const;
    qlonglong Microseconds(unsigned long long bytes) const;
    // Moves the current stream to `position` microseconds into it.
    void SeekTo(qlonglong position);
    void Command(const char* name);
    QVariantMap PlayerProperties() const;

    frmMain& m_window;
    QDBusConnection m_bus;
    bool m_published = false;
    QVariantMap m_announced; // the Player properties as last announced
};

// org.mpris.MediaPlayer2: who the player is, Raise and Quit.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRootAdaptor(Mpris* mpris) : QDBusAbstractAdaptor(mpris), m_mpris(mpris) {}
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Quillmere"); }
    QString DesktopEntry() const { return QStringLiteral("org.quillmere.Quillmere"); }
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public slots:
    void Raise() { m_mpris->Raise(); }
    void Quit() { m_mpris->Quit(); }

private:
    Mpris* m_mpris;
};

// org.mpris.MediaPlayer2.Player: the transport, position, volume and the
// playing track.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit MprisPlayerAdaptor(Mpris* mpris);
    QString PlaybackStatus() const { return m_mpris->PlaybackStatus(); }
    double Rate() const { return 1.0; }
    void SetRate(double) {} // one speed only
    QVariantMap Metadata() const { return m_mpris->Metadata(); }
    double Volume() const { return m_mpris->Volume(); }
    void SetVolume(double volume) { m_mpris->SetVolume(volume); }
    qlonglong Position() const { return m_mpris->Position(); }
    bool CanGoNext() const { return m_mpris->CanGoNext(); }
    bool CanGoPrevious() const { return m_mpris->CanGoPrevious(); }
    bool CanPlay() const { return m_mpris->CanPlay(); }
    bool CanPause() const { return m_mpris->CanPause(); }
    bool CanSeek() const { return m_mpris->CanSeek(); }
    bool CanControl() const { return true; }

public slots:
    void Play() { m_mpris->Play(); }
    void Pause() { m_mpris->Pause(); }
    void PlayPause() { m_mpris->PlayPause(); }
    void Stop() { m_mpris->Stop(); }
    void Next() { m_mpris->Next(); }
    void Previous() { m_mpris->Previous(); }
    void Seek(qlonglong Offset) { m_mpris->Seek(Offset); }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) { m_mpris->SetPosition(TrackId, Position); }
    void OpenUri(const QString& Uri) { m_mpris->OpenUri(Uri); }

signals:
    void Seeked(qlonglong Position);

private:
    Mpris* m_mpris;
};

} // namespace qm::desktop
