#include "WindowRig.h"
#include "settings/CRegister.h"
#include "settings/OptionsPanels.h"
#include "settings/RegistryFileStore.h"
#include "settings/modSettings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QRadioButton>
#include <QSpinBox>

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
};

} // namespace

TEST_F(Settings, FirstRunGivesTheDefaults)
{
    frmMain& w = start();
    OptionsPanels& o = *w.settings().options;
    EXPECT_TRUE(o.txtExtractPath->text().endsWith("/Ripped Audio"));
    EXPECT_EQ(o.SelectedFormat(), FormatPortable);
    EXPECT_TRUE(o.optMP3CBR->isChecked());
    EXPECT_TRUE(o.optOGGCBR->isChecked());
    EXPECT_FALSE(o.cmbOGGVBitrate->isEnabled());
    EXPECT_EQ(o.cmbMP3VBitrate->currentText(), "128 Kbps");
    EXPECT_EQ(o.txtWMATags[7]->text(), "Year");

    w.LoadSettings();
    EXPECT_EQ(o.cmbWMAEncodingBitrate->currentIndex(), 4); // the fifth rate
}

TEST_F(Settings, SaveThenLoadReproducesEveryControl)
{
    frmMain& w = start();
    OptionsPanels& o = *w.settings().options;
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
    EXPECT_TRUE(o.chkLookUpDiscs->isChecked()); // what a store from before this option gives
    o.chkLookUpDiscs->setChecked(false);
    o.txtMusicBrainzServer->setText("http://mirror.example:5000");
    EXPECT_EQ(o.cmbFileNames->currentText() + QString::number(o.chkTagFiles->isChecked()) +
                  QString::number(o.chkPlaylist->isChecked()),
              "TRACK{n}10");
    o.cmbFileNames->setCurrentText("{artist}/{nn} {title}");
    o.chkTagFiles->setChecked(false);
    o.chkPlaylist->setChecked(true);
    o.cmbFLACLevel->setCurrentIndex(8);
    o.chkFLACVerify->setChecked(true);
    o.cmbOpusBitrate->setCurrentIndex(0);
    EXPECT_TRUE(o.chkVerifyRips->isChecked());
    EXPECT_FALSE(o.chkTestAndCopy->isChecked());
    o.chkVerifyRips->setChecked(false);
    o.chkTestAndCopy->setChecked(true);
    // The chosen drive's offset, set where its panel shows it.
    EXPECT_TRUE(w.drives().spnReadOffset->isEnabled());
    w.drives().spnReadOffset->setValue(-1164);
    ASSERT_TRUE(w.SaveSettings(nullptr));

    window.reset();
    frmMain& again = start();
    OptionsPanels& p = *again.settings().options;
    again.LoadSettings();
    EXPECT_FALSE(p.chkLookUpDiscs->isChecked());
    EXPECT_EQ(p.txtMusicBrainzServer->text(), "http://mirror.example:5000");
    EXPECT_EQ(p.cmbFileNames->currentText(), "{artist}/{nn} {title}");
    EXPECT_FALSE(p.chkTagFiles->isChecked());
    EXPECT_TRUE(p.chkPlaylist->isChecked());
    EXPECT_EQ(p.cmbFLACLevel->currentText() + p.cmbOpusBitrate->currentText(), "8256 Kbps");
    EXPECT_TRUE(p.chkFLACVerify->isChecked());
    EXPECT_FALSE(p.chkVerifyRips->isChecked());
    EXPECT_TRUE(p.chkTestAndCopy->isChecked());
    EXPECT_EQ(again.drives().spnReadOffset->value(), -1164);
    EXPECT_EQ(again.RipPlanFromWindow().readOffset, -1164);
    EXPECT_EQ(p.txtExtractPath->text(), "/srv/music/rips ünïcode \"quoted\"\\");
    EXPECT_EQ(p.SelectedFormat(), FormatOgg);
    EXPECT_TRUE(p.optOGGVBR->isChecked());
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
    store("Opus Bitrate", "-1");       // none, where the encoder has no rate of its own
    store("FLAC Level", "-1");
    store("OGG CBR Bitrate", " 2.5 "); // a number, halves to even
    store("MP3 VBR Bitrate", "32768"); // past a 16-bit number
    store("OGG CBR Check", "maybe");   // not a Boolean
    store("MP3 CBR Check", "0");       // a number: false
    store("OGG VBR Bitrate", "twelve");
    store("File Format", "9");         // no such option: a later version's, said once
    // Offsets: only whole lines within range are taken.
    store("Read Offsets", "12\n+6\tQUILL FakeDrive 1.0\n4000\tFar\nx\tY\n-30\tOther Drive");
    frmMain& w = start();
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text,
              "The stored output format \"9\" is not one this version knows, so iPod-PSP Default is used.");
    OptionsPanels& o = *w.settings().options;
    EXPECT_EQ(w.drives().cmbCDDrives->currentIndex(), 0);
    EXPECT_EQ(o.cmbWMAEncodingBitrate->currentIndex(), 0) << "as the rate loader left it";
    EXPECT_EQ(o.cmbMP3CBitrate->currentIndex(), -1);
    EXPECT_EQ(o.cmbOpusBitrate->currentText() + ", level " + o.cmbFLACLevel->currentText(), "160 Kbps, level 5");
    EXPECT_EQ(o.cmbOGGCBitrate->currentIndex(), 2);
    EXPECT_EQ(o.cmbMP3VBitrate->currentText(), "128 Kbps");
    EXPECT_TRUE(o.optOGGCBR->isChecked()); // kept, and the rest agrees with it
    EXPECT_FALSE(o.cmbOGGVBitrate->isEnabled());
    EXPECT_EQ(o.cmbOGGVBitrate->currentText(), "128 Kbps");
    EXPECT_TRUE(o.optMP3VBR->isChecked());
    EXPECT_EQ(o.SelectedFormat(), FormatPortable);
    EXPECT_EQ(o.readOffsets, (std::map<QString, int>{{"QUILL FakeDrive 1.0", 6}, {"Other Drive", -30}}));
    EXPECT_EQ(w.drives().spnReadOffset->value(), 6);

    // A format that is not a number selects the first format on load, but
    // leaves the selection alone at start-up's early restore.
    store("File Format", "wav");
    o.SelectFormat(FormatMp3);
    w.RestoreFileFormat();
    EXPECT_EQ(o.SelectedFormat(), FormatMp3);
    w.LoadSettings();
    EXPECT_EQ(o.SelectedFormat(), FormatPortable);
}

TEST_F(Settings, PanelsShowEveryTextWhole)
{
    frmMain& w = start();
    w.show();
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
    };
    for (int i = 0; i < 5; ++i) {
        w.settings().options->SelectFormat(i);
        check(w.settings().frFileFormat, QString("format-%1").arg(i));
    }
    check(w.settings().frGeneralOptions, "general");
    check(w.tracks().frMain, "tracks");
    check(w.drives().frCDInfo, "drive");
}

