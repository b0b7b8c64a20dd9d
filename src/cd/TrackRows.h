#pragma once
// Rows of the track list as the scene's commands and the player count them:
// 1-based, 0 for none.

class QTreeWidget;

namespace qm {

// The selected row, or 0 when none is selected.
int SelectedRow(const QTreeWidget* list);
// Selecting a row only marks it and scrolls to it; it plays nothing by itself.
void SelectRow(QTreeWidget* list, int row);

} // namespace qm
