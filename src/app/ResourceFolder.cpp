#include "ResourceFolder.h"

#include <QDir>
#include <QFileInfo>

namespace qm {

QString ResourceFolder(const QString& executableFolder)
{
    const QDir exe(executableFolder);
    if (QFileInfo(exe.filePath(QStringLiteral("Main.qml"))).isFile())
        return exe.absolutePath();
    const QString installed = QDir::cleanPath(exe.filePath(QStringLiteral("../share/quillmere")));
    if (QFileInfo(installed).isDir())
        return installed;
    return exe.absolutePath();
}

QString StartFolder()
{
    static const QString folder = QDir::currentPath();
    return folder;
}

} // namespace qm
