#include "WindowRig.h"
#include "settings/CRegister.h"
#include "settings/OptionsPanels.h"
#include "settings/RegistryFileStore.h"
#include "settings/modSettings.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QRadioButton>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

struct Settings : ::testing::Test, WindowRig {
    CRegister reg;

    void SetUp() override
    {
        QDir(RegistryFileStore::Default().folder()).removeRecursively();
        audio.drives = {FakeDrive{}, FakeDrive{}};
    }
    // Started as the program starts: the panels show what the store holds.
    frmMain& start()
    {
        make();
        EXPECT_EQ(window->Form_Load(), frmMain::LoadResult::Running);
        return *window;
    }
    void store(const char* key, const QString& value)
    {
        ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, modSettings::kSection, key, value));
    }
    static void fillWmaRates(frmMain& w)
    {
        // The rate list is filled from the codec at start-up; stand in for it.
        if (w.settings().options->cmbWMAEncodingBitrate->count() == 0) {
            for (int k : {320, 256, 192, 160, 128, 96})
                w.settings().options->cmbWMAEncodingBitrate->addItem(QString("%1 Kbps").arg(k), k * 1000);
        }
    }
};

} // namespace

TEST(SettingsConversions, NumbersAndBooleans)
{
    const std::pair<const char*, std::optional<int>> numbers[] = {
        {"6", 6}, {" 12 ", 12}, {"-1", -1}, {"2.5", 2}, {"3.5", 4}, {"32767", 32767}, {"-32768", -32768},
        {"32768", std::nullopt}, {"", std::nullopt}, {"six", std::nullopt}, {"1e3", 1000}, {"nan", std::nullopt}};
    for (const auto& [text, expected] : numbers)
        EXPECT_EQ(modSettings::ToInt16(text), expected) << text;
    const std::pair<const char*, std::optional<bool>> booleans[] = {
        {"True", true}, {"FALSE", false}, {"true", true}, {"1", true}, {"0", false}, {"-2", true},
        {"yes", std::nullopt}, {"", std::nullopt}};
    for (const auto& [text, expected] : booleans)
        EXPECT_EQ(modSettings::ToBool(text), expected) << text;
}

TEST_F(Settings, FirstRunGivesTheDefaults)
{
    frmMain& w = start();
    OptionsPanels& o = *w.settings().options;
    EXPECT_EQ(o.txtExtractPath->text(), OptionsPanels::DefaultExtractPath());
    EXPECT_TRUE(o.txtExtractPath->text().endsWith("/Ripped Audio"));
    EXPECT_EQ(o.SelectedFormat(), FormatPortable);
    EXPECT_TRUE(o.optMP3CBR->isChecked());
    EXPECT_TRUE(o.optOGGCBR->isChecked());
    EXPECT_TRUE(o.cmbMP3CBitrate->isEnabled());
    EXPECT_FALSE(o.cmbMP3VBitrate->isEnabled());
    EXPECT_TRUE(o.cmbOGGCBitrate->isEnabled());
    EXPECT_FALSE(o.cmbOGGVBitrate->isEnabled());
    for (QComboBox* list : {o.cmbMP3CBitrate, o.cmbMP3VBitrate, o.cmbOGGCBitrate, o.cmbOGGVBitrate})
        EXPECT_EQ(list->currentText(), "128 Kbps") << list->objectName().toStdString();
    const char* words[] = {"Title", "Artist", "Album Title", "Description", "Rating", "Copyright", "Genre", "Year"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(o.txtWMATags[static_cast<std::size_t>(i)]->text(), words[i]);
    EXPECT_EQ(w.drives().cmbCDDrives->currentIndex(), 0);

    fillWmaRates(w);
    w.LoadSettings();
    EXPECT_EQ(o.cmbWMAEncodingBitrate->currentIndex(), 4); // the fifth rate
}

TEST_F(Settings, SaveThenLoadReproducesEveryControl)
{
    frmMain& w = start();
    OptionsPanels& o = *w.settings().options;
    fillWmaRates(w);
    o.txtExtractPath->setText("/srv/music/rips ünïcode \"quoted\"\\");
    o.SelectFormat(FormatOgg);
    o.optOGGVBR->setChecked(true);
    o.optOGGVBR_Click();
    o.cmbOGGVBitrate->setCurrentIndex(2);
    o.cmbOGGCBitrate->setCurrentIndex(8);
    o.cmbMP3CBitrate->setCurrentIndex(9);
    o.cmbMP3VBitrate->setCurrentIndex(0);
    o.cmbWMAEncodingBitrate->setCurrentIndex(1);
    for (int i = 0; i < 8; ++i)
        o.txtWMATags[static_cast<std::size_t>(i)]->setText(QString("tag %1").arg(i));
    w.drives().cmbCDDrives->setCurrentIndex(1);
    ASSERT_TRUE(w.SaveSettings(nullptr));

    window.reset();
    frmMain& again = start();
    OptionsPanels& p = *again.settings().options;
    fillWmaRates(again);
    again.LoadSettings();
    EXPECT_EQ(p.txtExtractPath->text(), "/srv/music/rips ünïcode \"quoted\"\\");
    EXPECT_EQ(p.SelectedFormat(), FormatOgg);
    EXPECT_TRUE(p.optOGGVBR->isChecked());
    EXPECT_FALSE(p.optOGGCBR->isChecked());
    EXPECT_TRUE(p.cmbOGGVBitrate->isEnabled());
    EXPECT_FALSE(p.cmbOGGCBitrate->isEnabled());
    EXPECT_EQ(p.cmbOGGVBitrate->currentIndex(), 2);
    EXPECT_EQ(p.cmbOGGCBitrate->currentIndex(), 8);
    EXPECT_TRUE(p.optMP3CBR->isChecked());
    EXPECT_EQ(p.cmbMP3CBitrate->currentIndex(), 9);
    EXPECT_EQ(p.cmbMP3VBitrate->currentIndex(), 0);
    EXPECT_EQ(p.cmbWMAEncodingBitrate->currentIndex(), 1);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(p.txtWMATags[static_cast<std::size_t>(i)]->text(), QString("tag %1").arg(i));
    EXPECT_EQ(again.drives().cmbCDDrives->currentIndex(), 1);
    // The store is a file a person can read.
    QFile file(RegistryFileStore::Default().fileFor(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("\"OGG CBR Check\"=\"False\"")) << text.constData();
    EXPECT_TRUE(text.contains("\"File Format\"=\"4\""));
}

TEST_F(Settings, StoredValuesThatDoNotFitLeaveTheirControlAlone)
{
    store("Drive Index", "7");         // past the drives
    store("WMA Bitrate", "99");        // past the rates
    store("MP3 CBR Bitrate", "-1");    // no selection
    store("OGG CBR Check", "maybe");   // not a Boolean
    store("MP3 CBR Check", "0");       // a number: false
    store("OGG VBR Bitrate", "twelve");
    store("File Format", "9");         // no such option
    frmMain& w = start();
    OptionsPanels& o = *w.settings().options;
    EXPECT_EQ(w.drives().cmbCDDrives->currentIndex(), 0);
    // As the rate loader left it: its first entry, or none without a codec.
    EXPECT_EQ(o.cmbWMAEncodingBitrate->currentIndex(), o.cmbWMAEncodingBitrate->count() > 0 ? 0 : -1);
    EXPECT_EQ(o.cmbMP3CBitrate->currentIndex(), -1);
    EXPECT_TRUE(o.optOGGCBR->isChecked()); // kept, and the rest agrees with it
    EXPECT_FALSE(o.optOGGVBR->isChecked());
    EXPECT_TRUE(o.cmbOGGCBitrate->isEnabled());
    EXPECT_FALSE(o.cmbOGGVBitrate->isEnabled());
    EXPECT_EQ(o.cmbOGGVBitrate->currentText(), "128 Kbps");
    EXPECT_TRUE(o.optMP3VBR->isChecked());
    EXPECT_TRUE(o.cmbMP3VBitrate->isEnabled());
    EXPECT_EQ(o.SelectedFormat(), FormatPortable);

    // A format that is not a number selects the first format on load, but
    // leaves the selection alone at start-up's early restore.
    store("File Format", "wav");
    o.SelectFormat(FormatMp3);
    w.RestoreFileFormat();
    EXPECT_EQ(o.SelectedFormat(), FormatMp3);
    w.LoadSettings();
    EXPECT_EQ(o.SelectedFormat(), FormatPortable);
}

// Every label and button of every panel shows its whole text at the frames'
// own sizes. With QUILLMERE_SCREENSHOT_DIR set, the panels are also saved as
// pictures to look at.
TEST_F(Settings, PanelsShowEveryTextWhole)
{
    frmMain& w = start();
    w.show();
    const QString shots = qEnvironmentVariable("QUILLMERE_SCREENSHOT_DIR");
    auto check = [&](QFrame* frame, const QString& name) {
        frame->show();
        frame->raise();
        QCoreApplication::processEvents();
        for (QWidget* child : frame->findChildren<QWidget*>()) {
            if (!child->isVisibleTo(frame) || child->parentWidget()->inherits("QComboBox") ||
                child->parentWidget()->inherits("QLineEdit"))
                continue;
            const std::string what = name.toStdString() + ": " + child->metaObject()->className() + " " +
                                     child->objectName().toStdString();
            EXPECT_TRUE(frame->rect().contains(QRect(child->mapTo(frame, QPoint(0, 0)), child->size())))
                << what << " leaves its frame";
            if (child->inherits("QAbstractButton") || (child->inherits("QLabel") && !child->property("wordWrap").toBool())) {
                EXPECT_GE(child->width(), child->sizeHint().width()) << what << " is clipped";
            }
            if (child->inherits("QLineEdit")) {
                EXPECT_GE(child->height(), child->minimumSizeHint().height()) << what << " is squeezed";
            }
        }
        if (!shots.isEmpty())
            frame->grab().save(shots + "/" + name + ".png");
    };
    for (int i = 0; i < 5; ++i) {
        w.settings().options->SelectFormat(i);
        check(w.settings().frFileFormat, QString("format-%1").arg(i));
    }
    check(w.settings().frGeneralOptions, "general");
    check(w.tracks().frMain, "tracks");
    check(w.drives().frCDInfo, "drive");
}

// Through the scene's commands, as a user would: apply, quit, start again.
TEST_F(Settings, AppliedOptionsComeBackAfterARestartAndUnappliedOnesDoNot)
{
    start();
    window->settings().options->SelectFormat(FormatMp3);
    window->settings().options->optMP3VBR->click();
    window->settings().options->txtExtractPath->setText("/applied");
    frontEnd->send("IDC_FS_Apply");
    ASSERT_FALSE(dialogs.boxes.isEmpty());
    EXPECT_EQ(dialogs.boxes.last().text, "Settings have been saved.");
    EXPECT_EQ(dialogs.boxes.last().title, "Done");
    window->close();
    window.reset();

    OptionsPanels& o = *start().settings().options;
    EXPECT_EQ(o.SelectedFormat(), FormatMp3);
    EXPECT_TRUE(o.optMP3VBR->isChecked());
    EXPECT_EQ(o.txtExtractPath->text(), "/applied");

    o.txtExtractPath->setText("/not applied");
    o.SelectFormat(FormatWav);
    frontEnd->send("IDC_FS_ShowExtract");
    EXPECT_EQ(o.txtExtractPath->text(), "/applied");
    EXPECT_EQ(o.SelectedFormat(), FormatMp3);
}

TEST_F(Settings, ApplyOnAStoreThatCannotBeReadSaysSoAndLeavesItAlone)
{
    const QString file = RegistryFileStore::Default().fileFor(HKEY_LOCAL_MACHINE);
    QDir().mkpath(QFileInfo(file).path());
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("REGEDIT4\n\"orphan\"=\"value\"\n");
    f.close();
    start();
    frontEnd->send("IDC_FS_Apply");
    ASSERT_FALSE(dialogs.boxes.isEmpty());
    const ShownBox& box = dialogs.boxes.last();
    EXPECT_TRUE(box.text.startsWith("Settings could not be saved: settings file " + file + " cannot be read ("))
        << box.text.toStdString();
    EXPECT_EQ(box.icon, MsgIcon::Warning);
    EXPECT_NE(box.title, "Done");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "REGEDIT4\n\"orphan\"=\"value\"\n");
}
