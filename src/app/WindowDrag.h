#pragma once
// Moving the frameless main window with the mouse, as if its caption had been
// pressed. Called while the left button is held inside the scene.

class QWidget;

namespace qm {

// Hands the move to the window manager; where there is none (or it declines),
// the window follows the mouse until the left button is released. With the
// left button already up there is nothing to follow and nothing happens.
void DragWindow(QWidget* window);

// True while a manual move (the fallback) is following the mouse.
bool ManualDragActive();

} // namespace qm
