#pragma once
#include <QString>

namespace qm {
// Where Main.qml, Skin.qss and Help.html live: beside the executable in a build
// tree, else <prefix>/share/quillmere when installed.
QString ResourceFolder(const QString& executableFolder);
// The folder the program was started in, which relative paths the user gives
// mean. The first call records it; start-up then makes the resource folder
// current, so call it first thing.
QString StartFolder();
} // namespace qm
