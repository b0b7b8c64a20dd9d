// The window on a private session bus, driven as the desktop drives it:
// gdbus calls the player, the engine's call log shows what it did.
#include "WindowRig.h"
#include "cd/DiscTitles.h"
#include "desktop/DesktopBus.h"
#include "desktop/Mpris.h"
#include "desktop/RipNotifier.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>
#include <QSlider>

namespace qm::test {
namespace {

// What the test hears on the bus: the player's signals, and the
// notifications it receives as the desktop's notification server.
class BusProbe : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<QVariantMap> changes; // PropertiesChanged's changed properties
    QList<qlonglong> seeks;
    QStringList notices; // "summary|body|app|icon"

public slots:
    void PropertiesChanged(const QDBusMessage& message)
    {
        changes << qdbus_cast<QVariantMap>(message.arguments().value(1));
    }
    void Seeked(qlonglong position) { seeks << position; }
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        notices << summary + QLatin1Char('|') + body + QLatin1Char('|') + app + QLatin1Char('|') + icon;
        return static_cast<uint>(notices.size());
    }
};

// Waits for `done` with the window's thread running; false at the deadline.
bool WaitFor(const std::function<bool()>& done, int ms = 10000)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A session bus of the test's own, gone with it.
struct PrivateBus {
    QProcess daemon;
    QString address;

    PrivateBus()
    {
        daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                     QStringLiteral("--print-address")});
        const QDeadlineTimer deadline(10000);
        while (!daemon.canReadLine() && !deadline.hasExpired() && daemon.state() != QProcess::NotRunning)
            daemon.waitForReadyRead(100);
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        daemon.terminate();
        daemon.waitForFinished(5000);
    }
};

struct DesktopBusTest : ::testing::Test, WindowRig {
    PrivateBus bus;
    BusProbe probe;
    std::unique_ptr<desktop::DesktopBus> desktop;
    HSTREAM stream = 0;

    void SetUp() override
    {
        ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon gave no address";
        addDrive(3, 10 * kSecond);
        start();
        window->tracks().titles().EditAlbum(QStringLiteral("Tides & Stones"));
        desktop = std::make_unique<desktop::DesktopBus>(*window, bus.address);
        ASSERT_EQ(desktop->problem(), QString());
        QDBusConnection test = QDBusConnection::connectToBus(bus.address, QStringLiteral("test"));
        ASSERT_TRUE(test.connect({}, QString::fromLatin1(desktop::Mpris::kPath),
                                 QStringLiteral("org.freedesktop.DBus.Properties"),
                                 QStringLiteral("PropertiesChanged"), &probe,
                                 SLOT(PropertiesChanged(QDBusMessage))));
        ASSERT_TRUE(test.connect({}, QString::fromLatin1(desktop::Mpris::kPath),
                                 QString::fromLatin1(desktop::Mpris::kPlayerInterface), QStringLiteral("Seeked"),
                                 &probe, SLOT(Seeked(qlonglong))));
    }
    void TearDown() override
    {
        desktop.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("test"));
    }

    // gdbus's answer to a call on the player's object, "" when it failed.
    QString gdbus(const QString& method, const QStringList& args = {})
    {
        QProcess call;
        call.start(QStringLiteral("gdbus"),
                   QStringList{QStringLiteral("call"), QStringLiteral("--address"), bus.address,
                               QStringLiteral("--dest"), QString::fromLatin1(desktop::Mpris::kService),
                               QStringLiteral("--object-path"), QString::fromLatin1(desktop::Mpris::kPath),
                               QStringLiteral("--method"), method} +
                       args);
        // The window answers on this thread: it runs while gdbus waits.
        EXPECT_TRUE(WaitFor([&] { return call.state() == QProcess::NotRunning; })) << method.toStdString();
        return call.exitCode() == 0 ? QString::fromUtf8(call.readAllStandardOutput()).trimmed() : QString();
    }
    QString player(const char* method, const QStringList& args = {})
    {
        return gdbus(QStringLiteral("org.mpris.MediaPlayer2.Player.") + QLatin1String(method), args);
    }
    QString get(const char* property, const char* interface = "org.mpris.MediaPlayer2.Player")
    {
        return gdbus(QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                     {QLatin1String(interface), QLatin1String(property)});
    }
    QStringList positions() const { return callsNamed("BASS_ChannelSetPosition"); }
};

TEST_F(DesktopBusTest, SaysWhoItIs)
{
    const QString all = gdbus(QStringLiteral("org.freedesktop.DBus.Properties.GetAll"),
                              {QStringLiteral("org.mpris.MediaPlayer2")});
    for (const char* part : {"'Identity': <'Quillmere'>", "'DesktopEntry': <'org.quillmere.Quillmere'>",
                             "'CanQuit': <true>", "'CanRaise': <true>", "'HasTrackList': <false>",
                             "'SupportedUriSchemes': <@as []>"})
        EXPECT_TRUE(all.contains(QLatin1String(part))) << part << " in " << all.toStdString();
    EXPECT_EQ(get("CanControl"), "(<true>,)");
    EXPECT_EQ(get("Rate"), "(<1.0>,)");
    // Nothing plays, and there is no track to describe.
    EXPECT_EQ(get("PlaybackStatus"), "(<'Stopped'>,)");
    EXPECT_EQ(get("Metadata"), "(<@a{sv} {}>,)");
    EXPECT_EQ(player("OpenUri", {QStringLiteral("'file:///tmp/a.flac'")}), QString());
}

// Each call is the scene's command, and what the engine does shows in the
// status and the track the desktop sees.
TEST_F(DesktopBusTest, TransportDrivesTheEngine)
{
    const auto track = [](int n) { return QStringLiteral("objectpath '/org/quillmere/track/%1'").arg(n); };
    select(1);
    struct Step {
        const char* method;
        QStringList args;
        QStringList calls; // those of the engine's calls that move the transport
        const char* status;
        int trackNumber; // 0: no track
    };
    const QStringList transport{"BASS_CD_StreamCreate", "BASS_ChannelPause", "BASS_ChannelResume",
                                "BASS_ChannelStop", "BASS_StreamPlay"};
    const std::vector<Step> steps{
        {"Play", {}, {"BASS_ChannelStop(0)", "BASS_CD_StreamCreate(0,0,327680)", "BASS_StreamPlay(1,1,0)"},
         "Playing", 1},
        {"Play", {}, {}, "Playing", 1}, // already playing: not restarted
        {"Pause", {}, {"BASS_ChannelPause(1)"}, "Paused", 1},
        {"PlayPause", {}, {"BASS_ChannelResume(1)"}, "Playing", 1},
        {"PlayPause", {}, {"BASS_ChannelPause(1)"}, "Paused", 1},
        {"Play", {}, {"BASS_ChannelResume(1)"}, "Playing", 1},
        {"Next", {}, {"BASS_ChannelStop(1)", "BASS_CD_StreamCreate(0,1,327680)", "BASS_StreamPlay(2,1,0)"},
         "Playing", 2},
        {"Previous", {}, {"BASS_ChannelStop(2)", "BASS_CD_StreamCreate(0,0,327680)", "BASS_StreamPlay(3,1,0)"},
         "Playing", 1},
        {"Stop", {}, {"BASS_ChannelStop(3)"}, "Stopped", 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.method);
        audio.clearCalls();
        EXPECT_EQ(player(step.method, step.args), "()");
        QStringList moved = calls();
        moved.removeIf([&](const QString& c) {
            return std::none_of(transport.begin(), transport.end(), [&](const QString& t) { return c.startsWith(t); });
        });
        EXPECT_EQ(moved, step.calls);
        EXPECT_EQ(get("PlaybackStatus"), QStringLiteral("(<'%1'>,)").arg(QLatin1String(step.status)));
        const QString metadata = get("Metadata");
        if (step.trackNumber == 0) {
            EXPECT_EQ(metadata, "(<@a{sv} {}>,)");
            continue;
        }
        const QString title = window->tracks().titles().Title(step.trackNumber);
        for (const QString& part :
             {QStringLiteral("'mpris:trackid': <%1>").arg(track(step.trackNumber)),
              QStringLiteral("'mpris:length': <int64 10000000>"),
              QStringLiteral("'xesam:trackNumber': <%1>").arg(step.trackNumber),
              QStringLiteral("'xesam:title': <'%1'>").arg(title),
              QStringLiteral("'xesam:album': <'Tides & Stones'>"),
              QStringLiteral("'xesam:artist': <['%1']>").arg(window->tracks().titles().Artist())})
            EXPECT_TRUE(metadata.contains(part)) << part.toStdString() << " in " << metadata.toStdString();
    }
}

// Seeks move the playing stream; a malformed one changes nothing.
TEST_F(DesktopBusTest, SeeksMoveThePlayingStream)
{
    stream = playRow(2);
    audio.clearCalls();
    const QString bytes3s = QStringLiteral("BASS_ChannelSetPosition(%1,%2)").arg(stream).arg(3 * kSecond);
    EXPECT_EQ(player("Seek", {QStringLiteral("3000000")}), "()");
    EXPECT_EQ(positions(), QStringList{bytes3s});
    EXPECT_EQ(get("Position"), "(<int64 3000000>,)");
    EXPECT_TRUE(WaitFor([&] { return !probe.seeks.isEmpty(); }));
    EXPECT_EQ(probe.seeks, QList<qlonglong>{3000000});

    struct Refused {
        const char* method;
        QStringList args;
    };
    const QString id = QStringLiteral("objectpath '/org/quillmere/track/2'");
    for (const Refused& r : std::vector<Refused>{
             {"SetPosition", {QStringLiteral("objectpath '/org/quillmere/track/1'"), QStringLiteral("0")}}, // stale
             {"SetPosition", {id, QStringLiteral("int64 -1")}},
             {"SetPosition", {id, QStringLiteral("10000001")}}, // past the end
         }) {
        SCOPED_TRACE(r.method + (" " + r.args.join(QLatin1Char(' ')).toStdString()));
        audio.clearCalls();
        EXPECT_EQ(player(r.method, r.args), "()");
        EXPECT_EQ(positions(), QStringList());
        EXPECT_EQ(started(), QStringList());
        EXPECT_EQ(get("Position"), "(<int64 3000000>,)");
    }

    audio.clearCalls();
    EXPECT_EQ(player("SetPosition", {id, QStringLiteral("1500000")}), "()");
    EXPECT_EQ(positions(), QStringList{QStringLiteral("BASS_ChannelSetPosition(%1,%2)").arg(stream).arg(kSecond * 3 / 2)});
    EXPECT_TRUE(WaitFor([&] { return probe.seeks.size() == 2; }));
    EXPECT_EQ(probe.seeks.last(), 1500000);
    // Back past the start is the start, as widgets' "back 10 s" expects.
    audio.clearCalls();
    EXPECT_EQ(player("Seek", {QStringLiteral("int64 -3000001")}), "()");
    EXPECT_EQ(positions(), QStringList{QStringLiteral("BASS_ChannelSetPosition(%1,0)").arg(stream)});
    EXPECT_TRUE(WaitFor([&] { return probe.seeks.size() == 3; }));
    EXPECT_EQ(probe.seeks.last(), 0);
    // Past the end is the next track, as the window's Next plays it.
    select(2);
    audio.clearCalls();
    EXPECT_EQ(player("Seek", {QStringLiteral("11000000")}), "()");
    EXPECT_EQ(started(), QStringList{"BASS_CD_StreamCreate(0,2,327680)"});
}

// Desktop widgets follow from the signals alone: one per change, none for a
// tick that changed nothing.
TEST_F(DesktopBusTest, ChangesAreAnnouncedOnce)
{
    select(1);
    player("Play");
    ASSERT_TRUE(WaitFor([&] { return !probe.changes.isEmpty(); }));
    EXPECT_EQ(probe.changes[0].value(QStringLiteral("PlaybackStatus")), "Playing");
    EXPECT_TRUE(probe.changes[0].contains(QStringLiteral("Metadata")));
    EXPECT_EQ(probe.changes[0].value(QStringLiteral("CanSeek")), true);
    EXPECT_FALSE(probe.changes[0].contains(QStringLiteral("Volume")));

    // The track ends by itself: the next tick tells.
    probe.changes.clear();
    window->tmrPlaybackPosition_Timer();
    audio.BASS_ChannelStop(window->state().currentStream);
    window->tmrPlaybackPosition_Timer();
    ASSERT_TRUE(WaitFor([&] { return !probe.changes.isEmpty(); }));
    // The first tick changed nothing; nothing came of it.
    player("Stop");
    EXPECT_EQ(probe.changes.size(), 1);
    EXPECT_EQ(probe.changes[0].value(QStringLiteral("PlaybackStatus")), "Stopped");
    EXPECT_EQ(qdbus_cast<QVariantMap>(probe.changes[0].value(QStringLiteral("Metadata"))), QVariantMap());
}

TEST_F(DesktopBusTest, VolumeIsTheSlidersBothWays)
{
    stream = playRow(1);
    audio.clearCalls();
    EXPECT_EQ(gdbus(QStringLiteral("org.freedesktop.DBus.Properties.Set"),
                    {QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Volume"),
                     QStringLiteral("<0.25>")}),
              "()");
    EXPECT_EQ(window->player().SliderVolume->value(), -25);
    EXPECT_EQ(callsNamed("BASS_ChannelSetAttributes"),
              QStringList{QStringLiteral("BASS_ChannelSetAttributes(%1,-1,25,-101)").arg(stream)});
    ASSERT_TRUE(WaitFor([&] { return !probe.changes.isEmpty(); }));
    EXPECT_EQ(probe.changes.last().value(QStringLiteral("Volume")), 0.25);
    // Out of range is the nearest end.
    gdbus(QStringLiteral("org.freedesktop.DBus.Properties.Set"),
          {QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Volume"), QStringLiteral("<1.5>")});
    EXPECT_EQ(get("Volume"), "(<1.0>,)");
}

TEST_F(DesktopBusTest, QuitIsTheCloseButtonsShutdown)
{
    playRow(1);
    audio.clearCalls();
    EXPECT_EQ(gdbus(QStringLiteral("org.mpris.MediaPlayer2.Quit")), "()");
    ASSERT_TRUE(WaitFor([&] { return !callsNamed("BASS_Free").isEmpty(); }));
    EXPECT_EQ(callsNamed("BASS_CD_Door"), QStringList{"BASS_CD_Door(0,3)"});
    EXPECT_EQ(callsNamed("BASS_Stop"), QStringList{"BASS_Stop()"});
}

// While a box is open the window takes no command, from the bus either.
TEST_F(DesktopBusTest, NothingRunsBeneathABox)
{
    stream = playRow(1);
    audio.clearCalls();
    QStringList during;
    dialogs.duringBox = [&](const QString&) {
        player("Pause");
        player("Seek", {QStringLiteral("1000000")});
        during << get("CanPlay") << get("CanSeek");
    };
    dialogs.documentOpens = false;
    window->DispatchCommand(QStringLiteral("IDC_FS_Help"), {}); // the help cannot open: a box
    EXPECT_EQ(during, (QStringList{"(<false>,)", "(<false>,)"}));
    EXPECT_EQ(callsNamed("BASS_ChannelPause"), QStringList());
    EXPECT_EQ(positions(), QStringList());
}

// The notification comes only when no window of the program has the focus;
// the verification's line only when the rip was checked.
TEST_F(DesktopBusTest, ARipEndingUnseenIsNotified)
{
    QDBusConnection test(QStringLiteral("test"));
    ASSERT_TRUE(test.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &probe,
                                    QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(test.registerService(QStringLiteral("org.freedesktop.Notifications")));
    window->rip().ripStartDelayMs = 0;
    window->settings().options->SelectFormat(FormatWav);
    struct Rip {
        bool active, testAndCopy;
        std::vector<int> rows;
        QString body; // "" for none
    };
    const QString summary = QStringLiteral("Not verified with AccurateRip");
    const std::vector<Rip> rips{
        {true, false, {1, 2}, {}},
        {false, false, {1, 2}, QStringLiteral("Tides &amp; Stones\n2 tracks ripped")},
        {false, true, {3}, QStringLiteral("Tides &amp; Stones\n1 track ripped\n") + summary},
    };
    for (const Rip& rip : rips) {
        SCOPED_TRACE(rip.body.toStdString());
        desktop->notifier()->windowActive = [&] { return rip.active; };
        window->settings().options->chkTestAndCopy->setChecked(rip.testAndCopy);
        check(rip.rows);
        probe.notices.clear();
        window->ShowRipWindow();
        // A notification sent later than the next one would be one too many.
        if (rip.body.isEmpty())
            continue;
        ASSERT_TRUE(WaitFor([&] { return !probe.notices.isEmpty(); }));
        EXPECT_EQ(probe.notices, QStringList{QStringLiteral("Rip finished|%1|Quillmere|org.quillmere.Quillmere")
                                                 .arg(rip.body)});
    }
}

// Without a bus, or with the name another player's, the window runs on and
// one line says why.
TEST_F(DesktopBusTest, WithoutTheBusOneLineSaysWhy)
{
    desktop::DesktopBus none(*window, QString());
    EXPECT_TRUE(none.problem().contains(QLatin1String("DBUS_SESSION_BUS_ADDRESS")));
    EXPECT_EQ(none.mpris(), nullptr);
    desktop::DesktopBus second(*window, bus.address); // the name is the first one's
    EXPECT_TRUE(second.problem().contains(QLatin1String("org.mpris.MediaPlayer2.quillmere is taken")))
        << second.problem().toStdString();
    EXPECT_EQ(second.mpris(), nullptr);
    EXPECT_NE(second.notifier(), nullptr);
    EXPECT_FALSE(second.problem().contains(QLatin1Char('\n')));
    // The first one still answers.
    EXPECT_EQ(get("Identity", "org.mpris.MediaPlayer2"), "(<'Quillmere'>,)");
}

} // namespace
} // namespace qm::test

#include "DesktopBusTest.moc"
