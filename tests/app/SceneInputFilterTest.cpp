#include "WindowRig.h"
#include "app/SceneInputFilter.h"
#include "platform/frontend/SceneHost.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QQuickWidget>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

// Notes every input event that reaches it.
class Probe : public QObject {
public:
    QStringList seen;
    bool eventFilter(QObject*, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress: seen << QStringLiteral("press %1").arg(int(static_cast<QMouseEvent*>(e)->button())); break;
        case QEvent::MouseButtonRelease: seen << QStringLiteral("release %1").arg(int(static_cast<QMouseEvent*>(e)->button())); break;
        case QEvent::MouseButtonDblClick: seen << QStringLiteral("double %1").arg(int(static_cast<QMouseEvent*>(e)->button())); break;
        case QEvent::ContextMenu: seen << QStringLiteral("menu"); break;
        case QEvent::KeyPress: seen << QStringLiteral("key %1").arg(static_cast<QKeyEvent*>(e)->key(), 0, 16); break;
        case QEvent::KeyRelease: seen << QStringLiteral("up %1").arg(static_cast<QKeyEvent*>(e)->key(), 0, 16); break;
        default: break;
        }
        return false;
    }
};

// Sends one of each input event the filter must know about.
void sendInputs(QWidget* target)
{
    const QPointF p(10, 10);
    auto mouse = [&](QEvent::Type type, Qt::MouseButton b) {
        QMouseEvent e(type, p, target->mapToGlobal(p), b, type == QEvent::MouseButtonRelease ? Qt::NoButton : b, {});
        QApplication::sendEvent(target, &e);
    };
    mouse(QEvent::MouseButtonPress, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, Qt::RightButton);
    mouse(QEvent::MouseButtonDblClick, Qt::RightButton);
    mouse(QEvent::MouseButtonPress, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, Qt::LeftButton);
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(10, 10), target->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(target, &menu);
    for (const int key : {int(Qt::Key_Menu), int(Qt::Key_A)}) {
        QKeyEvent down(QEvent::KeyPress, key, {});
        QKeyEvent up(QEvent::KeyRelease, key, {});
        QApplication::sendEvent(target, &down);
        QApplication::sendEvent(target, &up);
    }
}

const QStringList kAll{"press 2", "release 2", "double 2", "press 1", "release 1", "menu",
                       "key 1000055", "up 1000055", "key 41", "up 41"};
const QStringList kFiltered{"release 2", "press 1", "release 1", "up 1000055", "key 41", "up 41"};

} // namespace

// Qt class names with the text in other letter cases, for the search.
class SHOUTINGQUICKWIDGETHOST : public QWidget { Q_OBJECT };
class myQuickWidgetView : public QWidget { Q_OBJECT };

TEST(SceneInputFilter, SwallowsTheRightPressTheMenuEventAndTheMenuKeyOnly)
{
    QWidget target;
    Probe probe;
    SceneInputFilter filter;
    target.installEventFilter(&probe);
    target.installEventFilter(&filter); // runs before the probe
    sendInputs(&target);
    EXPECT_EQ(probe.seen, kFiltered);

    probe.seen.clear();
    target.removeEventFilter(&filter);
    sendInputs(&target);
    EXPECT_EQ(probe.seen, kAll);
}

TEST(SceneInputFilter, FindsTheTopmostDirectChildWhoseClassNameMatchesInAnyCase)
{
    QWidget window;
    EXPECT_EQ(SceneInputFilter::FindSceneView(&window), nullptr);
    EXPECT_EQ(SceneInputFilter::FindSceneView(nullptr), nullptr);

    new QWidget(&window);
    auto* nested = new QWidget(&window);
    SHOUTINGQUICKWIDGETHOST elsewhere; // not a child
    auto* grandchild = new QQuickWidget(nested);
    EXPECT_EQ(SceneInputFilter::FindSceneView(&window), nullptr) << "only direct children count";
    delete grandchild;

    auto* shouting = new SHOUTINGQUICKWIDGETHOST;
    shouting->setParent(&window);
    EXPECT_EQ(SceneInputFilter::FindSceneView(&window), shouting);
    auto* lower = new myQuickWidgetView;
    lower->setParent(&window);
    EXPECT_EQ(SceneInputFilter::FindSceneView(&window), lower);
    lower->lower(); // the search runs from the top of the stacking order
    EXPECT_EQ(SceneInputFilter::FindSceneView(&window), shouting);
}

// The real window: start-up hooks its scene view; shutdown unhooks it.
TEST(SceneInputFilter, StartHookAndStopHookOnTheRealSceneView)
{
    WindowRig rig;
    frmMain& w = rig.make(nullptr, std::make_unique<SceneHost>());
    QWidget* view = w.frontEnd().view();
    Probe probe;
    view->installEventFilter(&probe); // earlier than the hook, so it runs after it
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Running);
    sendInputs(view);
    EXPECT_EQ(probe.seen, kFiltered);

    w.StopHook();
    w.StopHook(); // removing it twice is harmless
    probe.seen.clear();
    sendInputs(view);
    EXPECT_EQ(probe.seen, kAll);
    view->removeEventFilter(&probe);
}

TEST(SceneInputFilter, AWindowWithoutASceneViewStartsAndStopsQuietly)
{
    WindowRig rig; // its scene is a plain widget
    testing::internal::CaptureStderr();
    rig.start();
    rig.window->StopHook();
    rig.window->StartHook();
    rig.window->close();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("hook"), std::string::npos) << err;
}

#include "SceneInputFilterTest.moc"
