#include "WindowDrag.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace qm {

namespace {

// Watches every mouse event of the application: the button was pressed in
// the scene, which keeps the mouse grab, so its moves go to the scene view.
class ManualMove : public QObject {
public:
    explicit ManualMove(QWidget* window)
        : m_window(window), m_startCursor(QCursor::pos()), m_startWindow(window->pos())
    {
        qApp->installEventFilter(this);
    }
    ~ManualMove() override { qApp->removeEventFilter(this); }

    bool following() const { return m_following; }

    static QPointer<ManualMove>& current()
    {
        static QPointer<ManualMove> active;
        return active;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Only moves delivered to widgets count: the scene view passes each
        // move on to its own offscreen window with view coordinates in place
        // of screen coordinates.
        if (event->type() == QEvent::MouseMove && watched->isWidgetType()) {
            const auto* e = static_cast<QMouseEvent*>(event);
            if (m_window && (e->buttons() & Qt::LeftButton))
                m_window->move(m_startWindow + (e->globalPosition().toPoint() - m_startCursor));
        } else if (event->type() == QEvent::MouseButtonRelease) {
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                qApp->removeEventFilter(this);
                m_following = false;
                deleteLater();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> m_window;
    QPoint m_startCursor;
    QPoint m_startWindow;
    bool m_following = true;
};

} // namespace

void DragWindow(QWidget* window)
{
    if (!window || !(QGuiApplication::mouseButtons() & Qt::LeftButton))
        return;
    window = window->window();
    if (QWindow* handle = window->windowHandle(); handle && handle->startSystemMove())
        return;
    QPointer<ManualMove>& active = ManualMove::current();
    delete active.data(); // a new press starts from where the mouse is now
    active = new ManualMove(window);
    active->setParent(window);
}

bool ManualDragActive()
{
    const QPointer<ManualMove>& active = ManualMove::current();
    return active && active->following();
}

} // namespace qm
