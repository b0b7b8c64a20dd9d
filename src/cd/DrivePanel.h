#pragma once
// The drive panel (frCDInfo): the drive list, the drive's capabilities, the
// door's boxes and buttons, and the scene's door label.

#include "platform/audio/AudioLibrary.h"
#include "shared/WindowState.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <array>
#include <map>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QSpinBox;
class QWidget;

namespace qm {

class FrontEnd;

class DrivePanel : public QObject {
    Q_OBJECT
public:
    DrivePanel(AudioLibrary& audio, FrontEnd& frontEnd, WindowState& state, QWidget* owner);

    void EnumerateDrives();
    void cmbCDDrives_Click();
    void ShowDriveInfo();
    // The door buttons (3 to 6 of the window's button array).
    void cmdButton_Click(int index);
    // Tells the scene whether the door is locked (its door label).
    void ShowDoorLock(bool locked);
    // The playback timer's look at the door: its boxes, the scene's label
    // and the shared door state.
    void RefreshDoor();
    // A stored choice of entry; one the list does not have is ignored.
    void ChooseEntry(int entry);
    int CurrentEntry() const;
    int highestDriveIndex() const { return m_highestDriveIndex; }
    // Shows the chosen drive's offset as the settings hold it.
    void ShowReadOffset();
    // The chosen drive's read offset in samples; 0 for a disc image.
    int ReadOffset() const;
    bool CurrentIsImage() const { return m_image; }

    QFrame* frCDInfo = nullptr;
    QComboBox* cmbCDDrives = nullptr;
    std::array<QCheckBox*, 15> chkRWFlags{};
    QLabel* lblMaxReadSpeed = nullptr;
    QLabel* lblCacheSize = nullptr;
    QSpinBox* spnReadOffset = nullptr;
    // Where each drive's offset is kept, by description (the settings').
    std::map<QString, int>* readOffsets = nullptr;
    // A physical drive's door is asked about (two MMC commands) at most this
    // often: no door moves faster. An image's costs nothing and is asked on
    // every tick.
    int doorPollMs = 250;
    std::array<QPushButton*, 9> cmdButton{}; // only the door's, 3 to 6

signals:
    // Another drive was chosen (or the same one again): its disc is read.
    void driveChosen();

private:
    AudioLibrary& m_audio;
    FrontEnd& m_frontEnd;
    WindowState& m_state;
    int m_highestDriveIndex = -1;
    bool m_driveIndexChanged = false; // the drive list's index changed in this event
    bool m_sceneLocked = false;       // what the scene was last told of the door's lock
    bool m_image = false;             // the chosen drive is a disc image
    QString m_description;            // the chosen drive's, which keys its offset
    QElapsedTimer m_doorAsked;        // since the physical drive's door was last asked about
};

} // namespace qm
