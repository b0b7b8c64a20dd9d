#pragma once
// Paints the registered frames and controls with the style sheet in Skin.qss.
//
// Style values select a look defined in the sheet through the "skin" property:
//   SkinWindow style 2 -> "player"  (the track list frame: the darker surface
//                                    the player controls sit on)
//   SkinWindow style 1 -> "panel"   (the settings panels)
//   SkinWindow style 3 -> "dialog"  (a window of its own, such as the rip's
//                                    progress window)
//   SkinControl option 0 -> "list"  (a list drawn flat inside its frame)
// Any other value gives "plain".
//
// The sheet names its images as url("@SKIN_DIR@/name.svg"): Qt resolves a
// relative url against the working directory, so the folder of the sheet is
// put in its place when the sheet is read.

#include <QList>
#include <QPointer>
#include <QString>

class QWidget;

namespace qm {

class Dialogs;

class SkinEngine {
public:
    static constexpr const char* kFolderPlaceholder = "@SKIN_DIR@";

    // The two configuration calls made when the main window is created. They
    // are kept for inspection; the sheet decides the look.
    void Configure(int value) { m_configuration.append(value); }
    const QList<int>& configuration() const { return m_configuration; }

    // Read the sheet; a missing or unreadable file leaves the plain look and
    // says so once on stderr.
    bool LoadSkinFile(const QString& path);
    // A window or control registered after ApplySkin is painted at once.
    void SkinWindow(QWidget* window, int style);
    void SkinControl(QWidget* control, int option);
    // The message boxes take the sheet too.
    void SkinDialogs(Dialogs* dialogs);
    // Apply the loaded sheet to everything registered.
    void ApplySkin();

    const QString& styleSheet() const { return m_sheet; }
    static QString LookForStyle(int style);
    static QString LookForOption(int option);

private:
    void Register(QWidget* widget);

    QList<int> m_configuration;
    QString m_sheet;
    QList<QPointer<QWidget>> m_windows;
    Dialogs* m_dialogs = nullptr;
    bool m_applied = false;
};

} // namespace qm
