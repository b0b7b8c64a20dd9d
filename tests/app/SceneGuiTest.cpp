// The real window with the real scene, offscreen: the scene's buttons send
// their commands, the frames sit where the scene leaves room for them.
#include "WindowRig.h"
#include "app/WindowDrag.h"
#include "platform/frontend/SceneHost.h"

#include "SceneItems.h"

#include <QCursor>
#include <QQmlPropertyMap>
#include <QQuickItem>
#include <QQuickWidget>
#include <QSignalSpy>

using namespace qm;
using namespace qm::test;

namespace {

struct SceneRig : ::testing::Test, WindowRig {
    SceneHost* host = nullptr;
    QQuickWidget* view = nullptr;

    void SetUp() override
    {
        auto scene = std::make_unique<SceneHost>();
        host = scene.get();
        make(nullptr, std::move(scene));
        ASSERT_EQ(window->Form_Load(), frmMain::LoadResult::Running);
        ASSERT_TRUE(host->loaded());
        // Its reloads of the empty list would keep telling the scene of a change.
        window->player().tmrPlaybackPosition->stop();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        view = static_cast<QQuickWidget*>(host->view());
    }

    QQuickItem* item(const char* name) { return findItem(view->rootObject(), QString::fromLatin1(name)); }

    // Clicks the button, which must not lie under a frame.
    QStringList click(const char* name)
    {
        QQuickItem* it = item(name);
        if (!it) {
            ADD_FAILURE() << "no item " << name;
            return {};
        }
        QSignalSpy spy(host, &FrontEnd::FSCommand);
        const QPoint centre = it->mapToScene(QPointF(it->width() / 2, it->height() / 2)).toPoint();
        QWidget* target = window->childAt(view->mapTo(window.get(), centre));
        if (target != view) // a frame lies over the button
            ADD_FAILURE() << name << " is covered by " << (target ? qPrintable(target->objectName()) : "nothing");
        QTest::mouseClick(view, Qt::LeftButton, {}, centre);
        QStringList sent;
        for (const auto& args : spy)
            sent << args[0].toString();
        return sent;
    }

    void enableTransport(const QString& value)
    {
        for (const char* n : {"Play", "Previous", "Next", "Begin", "End", "Stop", "Pause"})
            host->SetVariable(QStringLiteral("_root.%1Enabled").arg(QLatin1String(n)), value);
        host->SetVariable("_root.ChangeStatus", "1");
    }
};

} // namespace

TEST_F(SceneRig, ButtonsSendTheirCommands)
{
    enableTransport("1");
    struct Case { const char* item; QStringList sent; };
    const Case cases[] = {
        {"settingsButton", {"IDC_FS_Hide", "IDC_FS_ShowSettings"}},
        {"tabFormat", {"IDC_FS_Hide", "IDC_FS_output format"}},
        {"hidePanelButton", {"IDC_FS_Extract"}},
        {"playButton", {"IDC_FS_Play"}},
        {"doorButton", {"IDC_FS_OpenFiles"}},
        {"lockButton", {"IDC_FS_lock"}},
        {"extractButton", {"IDC_FS_ExtractBtn"}},
        {"minimizeButton", {"IDC_FS_Minimize"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        EXPECT_EQ(click(c.item), c.sent);
        if (window->isMinimized())
            window->showNormal();
    }
    EXPECT_EQ(click("closeButton"), QStringList{"IDC_FS_Close"});
    EXPECT_FALSE(window->isVisible());
}

TEST_F(SceneRig, DisabledTransportButtonsSendNothing)
{
    enableTransport("0");
    for (const char* name : {"beginButton", "playButton", "pauseButton"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(item(name)->isEnabled());
        EXPECT_TRUE(click(name).isEmpty());
    }
    host->SetVariable("_root.PauseEnabled", "1");
    EXPECT_EQ(click("pauseButton"), QStringList{"IDC_FS_Pause"});
}

TEST_F(SceneRig, TheSceneFollowsTheLockAndTheStatusItIsSent)
{
    host->SetVariable("_root.lock", "1");
    host->SetVariable("_root.lockFlag", "1");
    EXPECT_EQ(item("lockButton")->property("text").toString(), "Door locked");
    EXPECT_EQ(item("toast")->property("text").toString(), "Door locked");
    EXPECT_EQ(click("lockButton"), QStringList{"IDC_FS_Unlock"});
    // The scene clears the flags it has heard, so the next "1" is heard too.
    QCoreApplication::processEvents();
    EXPECT_EQ(host->root()->value("lockFlag").toString(), "0");

    EXPECT_EQ(item("discStatus")->property("text").toString(), "No disc");
    enableTransport("1");
    EXPECT_EQ(item("discStatus")->property("text").toString(), "Disc ready");
    // Two changes in one turn, as start-up's two loads of the list: the
    // second is heard though the first "1" is not cleared yet.
    enableTransport("0");
    EXPECT_EQ(item("discStatus")->property("text").toString(), "No disc");
    enableTransport("1");
    EXPECT_EQ(item("discStatus")->property("text").toString(), "Disc ready");

    // The tracks view's subtitle leaves the hint to the track list below it.
    EXPECT_FALSE(item("tracksSubtitle")->property("text").toString().startsWith("Check the tracks"));

    // A playing track: its title and time, and Play turns into Pause.
    for (const auto& [name, value] : {std::pair{"PlayState", "playing"}, {"NowPlaying", "3. Quiet Song"},
                                      {"Elapsed", "1:05"}, {"Duration", "4:10"}})
        host->SetVariable(QStringLiteral("_root.") + name, value);
    EXPECT_EQ(item("discStatus")->property("text").toString(), "3. Quiet Song");
    EXPECT_EQ(item("discDetail")->property("text").toString(), "1:05 / 4:10");
    EXPECT_EQ(click("playButton"), QStringList{"IDC_FS_Pause"});
    EXPECT_EQ(item("tracksSubtitle")->property("text").toString(), "Now playing: 3. Quiet Song");
    // A long title is cut short before the buttons rather than running under them.
    host->SetVariable("_root.NowPlaying", "12. Paper Lanterns Over the Harbour");
    QQuickItem* status = item("discStatus");
    EXPECT_TRUE(status->property("truncated").toBool());
    EXPECT_LT(status->mapToScene(QPointF(status->width(), 0)).x(), item("beginButton")->mapToScene(QPointF(0, 0)).x());
    host->SetVariable("_root.PlayState", "paused");
    EXPECT_EQ(item("discDetail")->property("text").toString(), "1:05 / 4:10  \u00b7  paused");
    EXPECT_EQ(click("playButton"), QStringList{"IDC_FS_Play"});

    // The keyboard reaches the one spelling no button sends.
    QSignalSpy spy(host, &FrontEnd::FSCommand);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_L);
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].toString(), "IDC_FS_unlock");
}

TEST_F(SceneRig, FramesSitWhereTheSceneLeavesRoomAndAreCoveredUntilShown)
{
    QFrame* tracks = window->tracks().frMain;
    QFrame* drive = window->drives().frCDInfo;
    EXPECT_EQ(tracks->geometry(), QRect(180, 230, 507, 300));
    EXPECT_EQ(drive->geometry(), QRect(180, 160, 508, 353));
    EXPECT_EQ(window->childAt(drive->geometry().center()), view) << "the scene covers every frame after loading";
    click("tabTracks");
    QWidget* atCentre = window->childAt(tracks->geometry().center());
    EXPECT_TRUE(atCentre == tracks || tracks->isAncestorOf(atCentre));
    click("tabDrive");
    EXPECT_FALSE(tracks->isVisible());
    atCentre = window->childAt(drive->geometry().center());
    EXPECT_TRUE(atCentre == drive || drive->isAncestorOf(atCentre));
}

TEST_F(SceneRig, DraggingTheTitleAreaMovesTheWindowUntilTheButtonIsReleased)
{
    host->fscommand("IDC_FS_Drag"); // the button is up: nothing to follow
    EXPECT_FALSE(ManualDragActive());
    window->move(100, 100);
    const QPoint moved = window->pos() + QPoint(30, 15);
    const QPoint at = item("dragArea")->mapToScene(QPointF(300, 20)).toPoint();
    QCursor::setPos(view->mapToGlobal(at));
    QTest::mousePress(view, Qt::LeftButton, {}, at);
    QTest::mouseMove(view, at + QPoint(30, 15));
    EXPECT_EQ(window->pos(), moved);
    QTest::mouseRelease(view, Qt::LeftButton, {}, at + QPoint(30, 15));
    EXPECT_FALSE(ManualDragActive());
    QTest::mouseMove(view, at);
    EXPECT_EQ(window->pos(), moved);
}

// Every button of the scene has a name (its tip or its text) for the pointer
// and screen readers, and the keyboard reaches and presses them.
TEST_F(SceneRig, EveryButtonIsNamedAndTabReachesThem)
{
    std::function<void(QQuickItem*)> visit;
    int buttons = 0;
    visit = [&](QQuickItem* it) {
        if (it->property("tip").isValid()) {
            ++buttons;
            EXPECT_FALSE(it->property("name").toString().isEmpty()) << it->objectName().toStdString();
        }
        for (QQuickItem* child : it->childItems())
            visit(child);
    };
    visit(view->rootObject());
    EXPECT_GE(buttons, 20);

    view->setFocus();
    view->rootObject()->forceActiveFocus();
    QTest::keyClick(view, Qt::Key_Tab);
    QQuickItem* focused = view->quickWindow()->activeFocusItem();
    ASSERT_TRUE(focused && focused->property("tip").isValid());
    EXPECT_EQ(focused->objectName(), "helpButton");
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(view->quickWindow()->activeFocusItem()->objectName(), "settingsButton");
    QSignalSpy spy(host, &FrontEnd::FSCommand);
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_EQ(spy.size(), 2);
    EXPECT_EQ(spy[1][0].toString(), "IDC_FS_ShowSettings");
}
