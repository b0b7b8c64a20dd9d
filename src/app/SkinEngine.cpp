#include "SkinEngine.h"

#include "platform/ui/Dialogs.h"

#include <QFile>
#include <QFileInfo>
#include <QWidget>
#include <cstdio>

namespace qm {

QString SkinEngine::LookForStyle(int style)
{
    switch (style) {
    case 2: return QStringLiteral("player");
    case 1: return QStringLiteral("panel");
    case 3: return QStringLiteral("dialog");
    default: return QStringLiteral("plain");
    }
}

QString SkinEngine::LookForOption(int option)
{
    return option == 0 ? QStringLiteral("list") : QStringLiteral("plain");
}

bool SkinEngine::LoadSkinFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "quillmere: skin %s cannot be read (%s); the panels keep the plain look\n",
                     qPrintable(path), qPrintable(file.errorString()));
        m_sheet.clear();
        return false;
    }
    m_sheet = QString::fromUtf8(file.readAll());
    // The sheet quotes its urls; a quote or backslash in the folder's name
    // must not end the string early.
    QString folder = QFileInfo(path).absolutePath();
    folder.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    folder.replace(QLatin1Char('"'), QLatin1String("\\\""));
    m_sheet.replace(QLatin1String(kFolderPlaceholder), folder);
    return true;
}

void SkinEngine::Register(QWidget* widget)
{
    // Windows made for one job (a rip's progress window) come and go.
    m_windows.removeIf([](const QPointer<QWidget>& w) { return w.isNull(); });
    m_windows.append(widget);
    if (m_applied)
        widget->setStyleSheet(m_sheet);
}

void SkinEngine::SkinWindow(QWidget* window, int style)
{
    if (!window)
        return;
    window->setProperty("skin", LookForStyle(style));
    Register(window);
}

void SkinEngine::SkinControl(QWidget* control, int option)
{
    if (!control)
        return;
    control->setProperty("skin", LookForOption(option));
    Register(control);
}

void SkinEngine::SkinDialogs(Dialogs* dialogs)
{
    m_dialogs = dialogs;
    if (m_applied && m_dialogs)
        m_dialogs->SetStyleSheet(m_sheet);
}

void SkinEngine::ApplySkin()
{
    m_applied = true;
    for (const QPointer<QWidget>& w : m_windows) {
        if (w)
            w->setStyleSheet(m_sheet);
    }
    if (m_dialogs)
        m_dialogs->SetStyleSheet(m_sheet);
}

} // namespace qm
