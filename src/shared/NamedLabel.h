#pragma once
// A label that tests and the skin find by its name.

#include <QLabel>

namespace qm {

inline QLabel* NamedLabel(const QString& text, QWidget* parent, const char* name = nullptr)
{
    auto* label = new QLabel(text, parent);
    if (name)
        label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace qm
