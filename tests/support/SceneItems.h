#pragma once
// Finds an item of a loaded scene by objectName. Items made by a Repeater are
// not QObject children, so the item tree is walked.

#include <QQuickItem>

namespace qm::test {

inline QQuickItem* findItem(QQuickItem* root, const QString& name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findItem(child, name))
            return found;
    }
    return nullptr;
}

} // namespace qm::test
