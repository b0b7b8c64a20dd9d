#include "WindowRig.h"

#include <QCheckBox>
#include <QPushButton>

using namespace qm;
using namespace qm::test;

namespace {

FakeDrive Drive(const std::string& name, const std::string& description, bool present = true)
{
    FakeDrive d;
    d.name = name;
    d.description = description;
    d.present = present;
    return d;
}

struct DrivePanelTest : ::testing::Test, WindowRig {
    QLocale saved;
    DrivePanelTest() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    ~DrivePanelTest() override { QLocale::setDefault(saved); }
};

QStringList Entries(const frmMain& w)
{
    QStringList out;
    for (int i = 0; i < w.drives().cmbCDDrives->count(); ++i)
        out << w.drives().cmbCDDrives->itemText(i) + QLatin1Char('|') + w.drives().cmbCDDrives->itemData(i).toString();
    return out;
}

// Qt's check states: 0 unchecked, 1 greyed, 2 checked.
std::vector<int> Boxes(const frmMain& w)
{
    std::vector<int> out;
    for (QCheckBox* b : w.drives().chkRWFlags)
        out.push_back(static_cast<int>(b->checkState()));
    return out;
}

// Lock, Unlock, Open, Close.
std::vector<bool> DoorButtons(const frmMain& w)
{
    std::vector<bool> out;
    for (std::size_t i = 3; i <= 6; ++i)
        out.push_back(w.cmdButton(i)->isEnabled());
    return out;
}

constexpr DWORD kAllReadFlags = 0x3F | (1u << 20) | (1u << 21) | (1u << 22) | (1u << 24) | (1u << 25);

} // namespace

TEST_F(DrivePanelTest, EnumerationListsDrivesInIndexOrderUpToTheFirstGoneAndChoosesTheFirst)
{
    struct Row { const char* name; std::vector<FakeDrive> drives; QStringList entries; int highest; };
    const Row rows[] = {
        {"none", {}, {}, -1},
        {"two", {Drive("/dev/sr0", "Drive 0"), Drive("/dev/sr1", "Drive 1")},
         {"/dev/sr0: Drive 0|0", "/dev/sr1: Drive 1|1"}, 1},
        {"a gone drive ends the list",
         {Drive("/dev/sr0", "First"), Drive("/dev/sr1", "Gone", false), Drive("/dev/sr2", "Would answer")},
         {"/dev/sr0: First|0"}, 0},
        {"not UTF-8", {Drive("/dev/sr0", "Lecteur \xE9tendu \xFF")},
         {QString::fromUtf8("/dev/sr0: Lecteur étendu ÿ|0")}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WindowRig rig;
        rig.audio.drives = row.drives;
        frmMain& w = rig.make();
        w.state().currentDrive = 0;
        w.EnumerateDrives();
        EXPECT_EQ(Entries(w), row.entries);
        EXPECT_EQ(w.drives().highestDriveIndex(), row.highest);
        EXPECT_EQ(w.drives().cmbCDDrives->currentIndex(), row.entries.isEmpty() ? -1 : 0);
        // The first entry's choice reads its panel and its disc, once.
        EXPECT_EQ(rig.audio.callsNamed("BASS_CD_IsReady").size(), row.entries.isEmpty() ? 0u : 1u);
    }
}

TEST_F(DrivePanelTest, ShowsTheDrivesAbilities)
{
    struct Row {
        const char* name;
        BASS_CD_INFO info;
        bool infoFails;
        bool locked;
        std::vector<int> boxes;
        std::vector<bool> doorButtons;
        QString speed, cache;
    };
    const Row rows[] = {
        {"full-featured", {28, kAllReadFlags, 1, 1, 7056, 2048, 1}, false, true,
         {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0}, {true, true, true, true}, "7,056 Kbps", "2,048 Kbps"},
        {"cannot lock", {28, 1u | (1u << 24), 1, 0, 5512, 512, 0}, false, true,
         {2, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 1, 0}, {false, false, true, true}, "5,512 Kbps", "512 Kbps"},
        {"info fails", {28, kAllReadFlags, 1, 1, 7056, 2048, 1}, true, true,
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, {false, false, false, false}, " Kbps", " Kbps"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WindowRig rig;
        rig.audio.drives = {Drive("/dev/sr0", "A")};
        rig.audio.drives[0].info = row.info;
        rig.audio.drives[0].doorLocked = row.locked;
        if (row.infoFails)
            rig.audio.failures["BASS_CD_GetInfo"] = BASS_ERROR_NOTAVAIL;
        frmMain& w = rig.make();
        w.ShowDriveInfo();
        EXPECT_EQ(Boxes(w), row.boxes);
        EXPECT_EQ(DoorButtons(w), row.doorButtons);
        EXPECT_EQ(w.drives().lblMaxReadSpeed->text() + "|" + w.drives().lblCacheSize->text(), row.speed + "|" + row.cache);
        // The lock state is asked for only when the drive can lock.
        EXPECT_EQ(rig.audio.callsNamed("BASS_CD_DoorIsLocked").size(), row.info.canlock && !row.infoFails ? 1u : 0u);
    }
}

TEST_F(DrivePanelTest, EveryChoiceRereadsThePanelAndTheDiscEvenTheSameEntry)
{
    audio.drives = {Drive("/dev/sr0", "A"), Drive("/dev/sr1", "B")};
    audio.drives[0].info.canlock = 1;
    audio.drives[1].info.maxspeed = 1764;
    frmMain& w = make();
    w.EnumerateDrives();
    QCoreApplication::processEvents();
    audio.clearCalls();

    // The user picks the second entry: one click, for drive 1.
    w.drives().cmbCDDrives->setCurrentIndex(1);
    emit w.drives().cmbCDDrives->activated(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.state().currentDrive, 1);
    EXPECT_EQ(audio.calls(), (std::vector<std::string>{"BASS_CD_GetInfo(1)", "BASS_CD_GetDriveDescription(1)",
                                                       "QM_CD_IsImage(1)", "BASS_CD_IsReady(1)",
                                                       "BASS_CD_GetTracks(1)", "BASS_CD_GetID(1,4)", "QM_CD_GetTOC(1)"}));
    EXPECT_EQ(w.drives().lblMaxReadSpeed->text(), "1,764 Kbps");

    audio.clearCalls();
    emit w.drives().cmbCDDrives->activated(1);
    EXPECT_EQ(audio.callsNamed("BASS_CD_IsReady(1)").size(), 1u);

    // A programmatic change (the settings load) raises the click as well.
    audio.clearCalls();
    w.drives().cmbCDDrives->setCurrentIndex(0);
    EXPECT_EQ(w.state().currentDrive, 0);
    EXPECT_EQ(audio.callsNamed("BASS_CD_GetInfo(0)").size(), 1u);
    EXPECT_EQ(audio.callsNamed("BASS_CD_DoorIsLocked(0)").size(), 1u);
}

// Choosing another drive stops the disc that plays; choosing its own again does not.
TEST(DriveChoice, AnotherDriveStopsWhatThePlayingDiscPlays)
{
    WindowRig rig;
    rig.addDrive(2);
    rig.addDrive(3);
    frmMain& w = rig.start();
    w.PlayTrack(1);
    const HSTREAM playing = w.state().currentStream;
    emit w.drives().cmbCDDrives->activated(0);
    EXPECT_EQ(rig.audio.BASS_ChannelIsActive(playing), BASS_ACTIVE_PLAYING);
    w.drives().cmbCDDrives->setCurrentIndex(1);
    EXPECT_EQ(rig.audio.BASS_ChannelIsActive(playing), BASS_ACTIVE_STOPPED);
}

TEST_F(DrivePanelTest, CapabilityBoxesIgnoreClicks)
{
    audio.drives = {Drive("/dev/sr0", "A")};
    audio.drives[0].info.flags = 1;
    frmMain& w = make();
    w.ShowDriveInfo();
    w.show();
    w.drives().frCDInfo->raise();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.drives().chkRWFlags[0], Qt::LeftButton);
    QTest::mouseClick(w.drives().chkRWFlags[1], Qt::LeftButton);
    EXPECT_EQ(w.drives().chkRWFlags[0]->checkState(), Qt::Checked);
    EXPECT_EQ(w.drives().chkRWFlags[1]->checkState(), Qt::Unchecked);
}

// A physical drive's door is asked about no more often than a door moves; a
// disc image's, which costs nothing, on every tick.
TEST_F(DrivePanelTest, APhysicalDoorIsAskedAboutOnlyAsOftenAsADoorMoves)
{
    for (const bool image : {false, true}) {
        SCOPED_TRACE(image ? "image" : "physical drive");
        audio.drives.clear();
        addDrive(1).image = image;
        start();
        window->drives().doorPollMs = 60000;
        window->drives().ShowDriveInfo(); // takes note of the drive's kind
        for (int tick = 0; tick < 3; ++tick)
            window->tmrPlaybackPosition_Timer();
        EXPECT_EQ(callsNamed("BASS_CD_DoorIsOpen").size(), image ? 3 : 1);
        window.reset();
    }
}
