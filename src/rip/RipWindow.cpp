// The main window's side of ripping: opening the progress window; the
// writers live in their own files.
#include "app/frmMain.h"
#include "frmRipp.h"

namespace qm {

void frmMain::ShowRipWindow()
{
    frmRipp window(*this);
    window.isStopped = false;
    window.exec();
}

void frmMain::SetContentEnabled(bool enabled)
{
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow())
            widget->setEnabled(enabled);
    }
}

bool frmMain::ContentEnabled() const
{
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow() && !widget->isEnabled())
            return false;
    }
    return true;
}

} // namespace qm
