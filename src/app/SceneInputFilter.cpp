#include "SceneInputFilter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace qm {

QWidget* SceneInputFilter::FindSceneView(QWidget* window)
{
    if (!window)
        return nullptr;
    // children() runs from the bottom of the stacking order to the top; the
    // search goes from the top, as the window system lists its children.
    const QObjectList& children = window->children();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        auto* widget = qobject_cast<QWidget*>(*it);
        if (!widget)
            continue;
        const QString name = QString::fromLatin1(widget->metaObject()->className()).toLower();
        if (name.contains(QLatin1String("quickwidget")))
            return widget;
    }
    return nullptr;
}

bool SceneInputFilter::Swallows(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: // a second press is still a press
        return static_cast<const QMouseEvent*>(event)->button() == Qt::RightButton;
    case QEvent::ContextMenu:
        return true;
    case QEvent::KeyPress:
        return static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Menu;
    default:
        return false;
    }
}

bool SceneInputFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (Swallows(event))
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace qm
