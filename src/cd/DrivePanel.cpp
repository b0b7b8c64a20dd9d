// The drive panel (frCDInfo): the drive list, the drive's capabilities and the
// door buttons' enabled state.
#include "DrivePanel.h"

#include "cd/DiscText.h"
#include "platform/frontend/FrontEnd.h"
#include "shared/NamedLabel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QSizePolicy>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QSpinBox>
#include <QVBoxLayout>

namespace qm {

namespace {

struct FlagBox {
    const char* caption;
    int bit; // bit of the flags field; -1 for boxes fed from other fields
};

const FlagBox kFlagBoxes[15] = {
    {"Drive can read CD-R media", 0},
    {"Drive can read CD-RW media", 1},
    {"Drive can read CD-R/RW media \"method 2\"", 2},
    {"Drive can read DVD-ROM media", 3},
    {"Drive can read DVD-R media", 4},
    {"Drive can read DVD-RAM media", 5},
    {"Drive can read in \"mode 2 form 1\" format", 20},
    {"Drive can read in \"mode 2 form 2\" format", 21},
    {"Drive can read multi-session discs", 22},
    {"Drive can read CD audio", 24},
    {"Drive supports \"stream is accurate\"", 25},
    {"Drive can be opened / closed", -1},
    {"Drive can be locked", -1},
    {"Drive is locked", -1},
    {"Drive is open", -1},
};

// The door buttons of the button array; the transport ones sit by the track
// list (the player's).
const struct {
    int index;
    const char* caption;
} kDoorButtons[] = {{3, "&Lock"}, {4, "&Unlock"}, {5, "&Open"}, {6, "&Close"}};

// Enumeration stops here even if an engine kept answering.
constexpr DWORD kMaxDrives = 64;

// Eats the input that would toggle a capability box.
class DisplayOnly : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return true;
        default:
            return false;
        }
    }
};

void SetBoxValue(QCheckBox* box, int value)
{
    box->setCheckState(value == 2 ? Qt::PartiallyChecked : value ? Qt::Checked : Qt::Unchecked);
}

// Only a change is set: setting a box repaints it, and the playback timer
// sets the door's boxes twenty times a second.
void SetBox(QCheckBox* box, bool on)
{
    if (const Qt::CheckState state = on ? Qt::Checked : Qt::Unchecked; box->checkState() != state)
        box->setCheckState(state);
}

} // namespace

DrivePanel::DrivePanel(AudioLibrary& audio, FrontEnd& frontEnd, WindowState& state, QWidget* owner)
    : QObject(owner), m_audio(audio), m_frontEnd(frontEnd), m_state(state)
{
    frCDInfo = new QFrame(owner);
    frCDInfo->setObjectName(QStringLiteral("frCDInfo"));
    frCDInfo->resize(508, 353);
    QFrame* panel = frCDInfo;
    panel->setAccessibleName(QStringLiteral("CD Drive"));

    QLabel* caption = NamedLabel(QStringLiteral("CD Drive"), panel, "lblCDInfoCaption");
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);

    cmbCDDrives = new QComboBox(panel);
    cmbCDDrives->setObjectName(QStringLiteral("cmbCDDrives"));
    cmbCDDrives->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbCDDrives->setMinimumContentsLength(20);
    QLabel* select = NamedLabel(QStringLiteral("Select CD Drive :"), panel, "lblSelectDrive");
    select->setBuddy(cmbCDDrives);

    auto* displayOnly = new DisplayOnly(panel);
    for (int i = 0; i < 15; ++i) {
        auto* box = new QCheckBox(QString::fromUtf8(kFlagBoxes[i].caption), panel);
        box->setObjectName(QStringLiteral("chkRWFlags[%1]").arg(i));
        box->setTristate(true);
        // The boxes only show what the drive reports; a click must not
        // pretend to change the drive.
        box->installEventFilter(displayOnly);
        box->setFocusPolicy(Qt::NoFocus);
        chkRWFlags[static_cast<std::size_t>(i)] = box;
    }
    lblMaxReadSpeed = NamedLabel(FormatKbps(0), panel, "lblMaxReadSpeed");
    lblCacheSize = NamedLabel(FormatKbps(0), panel, "lblCacheSize");

    for (const auto& [index, text] : kDoorButtons) {
        auto* button = new QPushButton(QString::fromLatin1(text), panel);
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text().remove(QLatin1Char('&'))) + 24);
        button->setObjectName(QStringLiteral("cmdButton[%1]").arg(index));
        cmdButton[static_cast<std::size_t>(index)] = button;
    }

    auto* top = new QVBoxLayout(panel);
    top->setContentsMargins(7, 8, 7, 10);
    top->setSpacing(6);
    top->addWidget(caption);
    auto* driveRow = new QHBoxLayout;
    driveRow->addWidget(select);
    driveRow->addWidget(cmbCDDrives, 1);
    top->addLayout(driveRow);

    auto* columns = new QHBoxLayout;
    columns->setSpacing(6);
    auto* reading = new QVBoxLayout;
    reading->setSpacing(5);
    for (int i = 0; i <= 10; ++i)
        reading->addWidget(chkRWFlags[static_cast<std::size_t>(i)]);
    reading->addStretch(1);
    columns->addLayout(reading);

    auto* door = new QVBoxLayout;
    door->setSpacing(5);
    for (int i = 11; i <= 14; ++i)
        door->addWidget(chkRWFlags[static_cast<std::size_t>(i)]);
    door->addSpacing(12);
    // Each figure under its caption: the column is too narrow for both on one line.
    door->addWidget(NamedLabel(QStringLiteral("Maximum read speed"), panel, "lblMaxReadSpeedCaption"));
    door->addWidget(lblMaxReadSpeed, 0, Qt::AlignRight);
    door->addSpacing(4);
    door->addWidget(NamedLabel(QStringLiteral("Drive's cache size"), panel, "lblCacheSizeCaption"));
    door->addWidget(lblCacheSize, 0, Qt::AlignRight);
    door->addSpacing(4);
    QLabel* offsetCaption = NamedLabel(QStringLiteral("Read offset"), panel, "lblReadOffsetCaption");
    door->addWidget(offsetCaption);
    spnReadOffset = new QSpinBox(panel);
    spnReadOffset->setObjectName(QStringLiteral("spnReadOffset"));
    spnReadOffset->setRange(-kMaxReadOffset, kMaxReadOffset);
    spnReadOffset->setSuffix(QStringLiteral(" samples"));
    spnReadOffset->setToolTip(QStringLiteral("The drive's read offset correction, as the AccurateRip drive list "
                                             "gives it. Disc images need none."));
    offsetCaption->setBuddy(spnReadOffset);
    connect(spnReadOffset, &QSpinBox::valueChanged, this, [this](int samples) {
        if (readOffsets && !m_image && !m_description.isEmpty())
            (*readOffsets)[m_description] = samples;
    });
    door->addWidget(spnReadOffset, 0, Qt::AlignRight);
    door->addSpacing(12);
    auto* doorButtons = new QGridLayout;
    doorButtons->addWidget(cmdButton[3], 0, 0);
    doorButtons->addWidget(cmdButton[4], 0, 1);
    doorButtons->addWidget(cmdButton[5], 1, 0);
    doorButtons->addWidget(cmdButton[6], 1, 1);
    door->addLayout(doorButtons);
    door->addStretch(1);
    columns->addLayout(door, 1);
    top->addLayout(columns, 1);

    // The click runs for every choice: a programmatic change of the entry, a
    // user's change, and a user's choice of the entry already chosen (which
    // Qt reports as activated without a change).
    connect(cmbCDDrives, &QComboBox::currentIndexChanged, this, [this] {
        m_driveIndexChanged = true;
        QTimer::singleShot(0, this, [this] { m_driveIndexChanged = false; });
        cmbCDDrives_Click();
    });
    connect(cmbCDDrives, &QComboBox::activated, this, [this] {
        if (m_driveIndexChanged)
            m_driveIndexChanged = false; // the change above already ran the click
        else
            cmbCDDrives_Click();
    });
}

void DrivePanel::EnumerateDrives()
{
    DWORD drive = 0;
    {
        const QSignalBlocker quiet(cmbCDDrives); // the first entry is chosen below, once
        cmbCDDrives->clear();
        for (; drive < kMaxDrives; ++drive) {
            const char* description = m_audio.BASS_CD_GetDriveDescription(drive);
            if (!description)
                break;
            const char* name = m_audio.QM_CD_GetDriveName(drive);
            cmbCDDrives->addItem(DriveEntryText(name, description, drive), static_cast<int>(drive));
        }
        cmbCDDrives->setCurrentIndex(cmbCDDrives->count() > 0 ? 0 : -1);
    }
    if (cmbCDDrives->count() > 0)
        cmbCDDrives_Click();
    m_highestDriveIndex = static_cast<int>(drive) - 1;
}

void DrivePanel::cmbCDDrives_Click()
{
    const int entry = cmbCDDrives->currentIndex();
    if (entry < 0)
        return;
    m_state.currentDrive = cmbCDDrives->itemData(entry).toInt();
    ShowDriveInfo();
    emit driveChosen();
}

void DrivePanel::ShowDriveInfo()
{
    const DWORD drive = static_cast<DWORD>(m_state.currentDrive);
    BASS_CD_INFO info{};
    info.size = 28;
    if (!m_audio.BASS_CD_GetInfo(drive, &info))
        info = BASS_CD_INFO{}; // a failed call shows a drive that can do nothing

    for (int i = 0; i <= 10; ++i)
        SetBoxValue(chkRWFlags[static_cast<std::size_t>(i)], (info.flags >> kFlagBoxes[i].bit) & 1U);
    SetBoxValue(chkRWFlags[11], info.canopen ? 1 : 0);
    SetBoxValue(chkRWFlags[12], info.canlock ? 1 : 0);

    cmdButton[5]->setEnabled(info.canopen != 0);
    cmdButton[6]->setEnabled(info.canopen != 0);
    if (info.canlock) {
        SetBoxValue(chkRWFlags[13], m_audio.BASS_CD_DoorIsLocked(drive) ? 1 : 0);
        cmdButton[3]->setEnabled(true);
        cmdButton[4]->setEnabled(true);
    } else {
        SetBoxValue(chkRWFlags[13], 2);
        cmdButton[3]->setEnabled(false);
        cmdButton[4]->setEnabled(false);
    }

    lblMaxReadSpeed->setText(FormatKbps(info.maxspeed));
    lblCacheSize->setText(FormatKbps(info.cache));

    const char* description = m_audio.BASS_CD_GetDriveDescription(drive);
    m_description = description ? QString::fromLocal8Bit(description) : QString();
    m_image = m_audio.QM_CD_IsImage(drive);
    ShowReadOffset();
}

void DrivePanel::ShowReadOffset()
{
    const QSignalBlocker quiet(spnReadOffset);
    spnReadOffset->setEnabled(!m_image && !m_description.isEmpty());
    spnReadOffset->setValue(ReadOffset());
}

int DrivePanel::ReadOffset() const
{
    if (m_image || !readOffsets)
        return 0;
    const auto it = readOffsets->find(m_description);
    return it != readOffsets->end() ? it->second : 0;
}

void DrivePanel::cmdButton_Click(int index)
{
    const DWORD drive = static_cast<DWORD>(m_state.currentDrive);
    switch (index) {
    case 3: m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_LOCK); break;
    case 4: m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_UNLOCK); break;
    case 5:
        m_audio.BASS_ChannelStop(m_state.currentStream);
        m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_OPEN);
        break;
    case 6:
        m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_CLOSE);
        ShowDriveInfo();
        break;
    default: break;
    }
}

void DrivePanel::ShowDoorLock(bool locked)
{
    m_sceneLocked = locked;
    m_frontEnd.SetVariable(QStringLiteral("_root.lock"), locked ? QStringLiteral("1") : QStringLiteral("0"));
}

void DrivePanel::RefreshDoor()
{
    if (!m_image && m_doorAsked.isValid() && m_doorAsked.elapsed() < doorPollMs)
        return;
    m_doorAsked.start();
    const DWORD drive = static_cast<DWORD>(m_state.currentDrive);
    SetBox(chkRWFlags[14], m_audio.BASS_CD_DoorIsOpen(drive));
    m_state.doorOpen = chkRWFlags[14]->checkState() != Qt::Unchecked;
    const bool locked = m_audio.BASS_CD_DoorIsLocked(drive);
    SetBox(chkRWFlags[13], locked);
    // The scene's door label follows the drive, whoever locked it: a rip
    // locks the door for each track. The scene hears only of changes.
    if (locked != m_sceneLocked)
        ShowDoorLock(locked);
}

void DrivePanel::ChooseEntry(int entry)
{
    if (entry >= -1 && entry < cmbCDDrives->count())
        cmbCDDrives->setCurrentIndex(entry);
}

int DrivePanel::CurrentEntry() const
{
    return cmbCDDrives->currentIndex();
}

} // namespace qm
