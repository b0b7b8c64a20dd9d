#pragma once
// Keeps the scene free of context menus: the right button going down, the
// context-menu event and the Menu key never reach the scene view. Everything
// else, the right button's release included, passes unchanged.

#include <QObject>

class QWidget;

namespace qm {

class SceneInputFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The first direct child of window, topmost first, whose class name
    // contains "quickwidget" in any letter case; nullptr when there is none.
    static QWidget* FindSceneView(QWidget* window);

    // Whether an event of this kind is kept from the scene.
    static bool Swallows(const QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace qm
