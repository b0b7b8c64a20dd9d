#include "TrackRows.h"

#include <QTreeWidget>

namespace qm {

int SelectedRow(const QTreeWidget* list)
{
    if (!list)
        return 0;
    for (QTreeWidgetItem* item : list->selectedItems()) {
        const int index = list->indexOfTopLevelItem(item);
        if (index >= 0)
            return index + 1;
    }
    return 0;
}

void SelectRow(QTreeWidget* list, int row)
{
    if (QTreeWidgetItem* item = list->topLevelItem(row - 1)) {
        list->setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        list->scrollToItem(item);
    }
}

} // namespace qm
