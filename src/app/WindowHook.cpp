// Start-up tweaks around the scene and the controls that lie over it.
#include "frmMain.h"

#include "SceneInputFilter.h"

#include <QSlider>

namespace qm {

// Installed once, as the last step of start-up. Without a scene view the
// window runs unfiltered; that is not worth a message.
void frmMain::StartHook()
{
    QWidget* view = SceneInputFilter::FindSceneView(this);
    if (!view)
        return;
    if (!m_sceneFilter)
        m_sceneFilter = new SceneInputFilter(this);
    if (m_hookedView && m_hookedView != view)
        m_hookedView->removeEventFilter(m_sceneFilter);
    view->installEventFilter(m_sceneFilter);
    m_hookedView = view;
}

// Removed as the last step of shutdown; removing a filter that was never
// installed does nothing.
void frmMain::StopHook()
{
    QWidget* view = SceneInputFilter::FindSceneView(this);
    if (view && m_sceneFilter)
        view->removeEventFilter(m_sceneFilter);
    m_hookedView = nullptr;
}

// Qt's sliders show no value tooltip of their own; an inherited or designed
// tooltip is cleared so that dragging shows nothing either.
void frmMain::DisableSliderToolTip(QSlider* slider)
{
    if (slider)
        slider->setToolTip(QString());
}

// The track list is a tree with real columns, which already line up the
// track number, type and duration: there are no tab stops to set.
void frmMain::SetTrackListTabStops() {}

} // namespace qm
