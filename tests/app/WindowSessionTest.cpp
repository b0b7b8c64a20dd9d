// How the window ends besides its close button, and how it stands without
// its scene: every way runs the same shutdown.
#include "WindowRig.h"
#include "app/WindowSession.h"

#include <QGuiApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <csignal>

using namespace qm;
using namespace qm::test;

namespace {

struct Session : ::testing::Test, WindowRig {
    void SetUp() override
    {
        addDrive(2);
        start();
        window->show();
        window->PlayTrack(0);
        audio.clearCalls();
    }
    // The shutdown's steps, once the window has closed.
    void expectShutdown()
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window->isVisible(); }, 10000));
        const QStringList made = calls();
        EXPECT_TRUE(made.contains("BASS_CD_Door(0,3)")) << made.join(' ').toStdString();
        EXPECT_TRUE(made.contains("BASS_Stop()") && made.contains("BASS_Free()")) << made.join(' ').toStdString();
    }
};

} // namespace

TEST_F(Session, SigtermClosesTheWindowThroughItsShutdown)
{
    new ShutdownSignals([this] { window->RequestShutdown(); }, window.get());
    std::raise(SIGTERM);
    expectShutdown();
}

TEST_F(Session, CtrlQClosesTheWindowThroughItsShutdown)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    expectShutdown();
}

// nohup and a script's background job ignore signals for the program; the
// rest reach the handler.
TEST(WindowSession, EndingSignalsAreCaughtUnlessIgnoredAtTheStart)
{
    EndingActions before, had;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
        sigaction(kEndingSignals[i], nullptr, &before[i]);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGHUP, SIG_IGN);
    static volatile std::sig_atomic_t caught = 0;
    CatchEndingSignals([](int signal) { caught = signal; }, &had);
    EXPECT_EQ(had[2].sa_handler, SIG_IGN);
    std::raise(SIGHUP);
    EXPECT_EQ(caught, 0);
    std::raise(SIGINT);
    EXPECT_EQ(caught, SIGINT);
    std::raise(SIGTERM);
    EXPECT_EQ(caught, SIGTERM);
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
        sigaction(kEndingSignals[i], &before[i], nullptr);
}

TEST(WindowSession, TheDesktopKnowsTheProgramByItsEntry)
{
    SetApplicationIdentity();
    EXPECT_EQ(QGuiApplication::desktopFileName(), "org.quillmere.Quillmere");
    EXPECT_EQ(QCoreApplication::applicationName(), "Quillmere");
}

// Without its scene the window is framed (the desktop's title bar moves and
// closes it) and says what is wrong.
TEST(WindowSession, AWindowWithoutItsSceneIsFramedAndSaysWhy)
{
    WindowRig rig;
    rig.addDrive(1);
    frmMain& w = rig.make();
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    rig.frontEnd->problem = QStringLiteral("/opt/quillmere/Main.qml is missing");
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Running);
    EXPECT_FALSE(w.windowFlags() & Qt::FramelessWindowHint);
    const auto* label = w.findChild<QLabel*>(QStringLiteral("lblSceneProblem"));
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->text().contains("/opt/quillmere/Main.qml is missing")) << label->text().toStdString();
}

// A signal during a rip stops the rip as Stop does, without the closing box,
// and only then closes: the library is never freed beneath a reading track.
TEST_F(Session, SigtermDuringARipStopsItThenShutsDown)
{
    new ShutdownSignals([this] { window->RequestShutdown(); }, window.get());
    window->settings().options->SelectFormat(FormatWav);
    window->rip().ripStartDelayMs = 0;
    check({1, 2});
    audio.onBlock = [](int block) {
        if (block == 1)
            std::raise(SIGTERM);
    };
    window->ShowRipWindow();
    expectShutdown();
    EXPECT_TRUE(dialogs.boxes.isEmpty()) << "no box waits for an answer";
    const QStringList made = calls();
    EXPECT_EQ(callsNamed("BASS_CD_StreamCreate").size(), 1) << "the second track never starts";
    const qsizetype freed = made.lastIndexOf(QRegularExpression("BASS_StreamFree\\(.*"));
    EXPECT_GE(freed, 0);
    EXPECT_LT(freed, made.indexOf("BASS_Free()")) << made.join(' ').toStdString();
}

// The closing box still up when the session ends: it is answered, not waited on.
TEST_F(Session, SigtermWhileTheRipsClosingBoxIsUpEndsWithoutAClick)
{
    new ShutdownSignals([this] { window->RequestShutdown(); }, window.get());
    window->rip().ripStartDelayMs = 0;
    check({1});
    bool answered = false;
    dialogs.duringBox = [&](const QString&) {
        std::raise(SIGTERM);
        answered = QTest::qWaitFor([this] { return dialogs.dismissed; }, 10000);
    };
    window->ShowRipWindow();
    EXPECT_TRUE(answered);
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].title, "Ripping Completed");
    expectShutdown();
}
