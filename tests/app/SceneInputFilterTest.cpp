#include "WindowRig.h"
#include "platform/frontend/SceneHost.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
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
        const auto* m = dynamic_cast<QMouseEvent*>(e);
        const auto* k = dynamic_cast<QKeyEvent*>(e);
        static const QMap<QEvent::Type, QString> names{
            {QEvent::MouseButtonPress, "press"}, {QEvent::MouseButtonRelease, "release"},
            {QEvent::MouseButtonDblClick, "double"}, {QEvent::ContextMenu, "menu"},
            {QEvent::KeyPress, "key"}, {QEvent::KeyRelease, "up"}};
        if (names.contains(e->type()))
            seen << names[e->type()] + (m ? QStringLiteral(" %1").arg(int(m->button()))
                                        : k ? QStringLiteral(" %1").arg(k->key(), 0, 16) : QString());
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

// Start-up hooks the real scene view (found among the window's children by its
// class name): the right press, the menu event and the menu key are swallowed,
// nothing else; shutdown unhooks it.
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
