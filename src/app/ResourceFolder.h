#pragma once
#include <QString>

namespace qm {
// Where Main.qml, Skin.qss and Help.html live: beside the executable in a build
// tree, else <prefix>/share/quillmere when installed.
QString ResourceFolder(const QString& executableFolder);
} // namespace qm
