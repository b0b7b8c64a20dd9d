#include "ScriptedDialogs.h"
#include "settings/OptionsPanels.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qm;
using namespace qm::test;

namespace {

struct Panels : ::testing::Test {
    QWidget owner;
    QFrame* format = new QFrame(&owner);
    QFrame* general = new QFrame(&owner);
    ScriptedDialogs dialogs;
    OptionsPanels panels{format, general, dialogs, &owner};

    QFrame* frontFrame() const
    {
        QWidget* stack = panels.frFormatSettings[0]->parentWidget();
        QFrame* top = nullptr;
        for (QObject* child : stack->children()) {
            if (auto* f = qobject_cast<QFrame*>(child))
                top = f;
        }
        return top;
    }
};

QStringList listing(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST_F(Panels, ClickingAFormatBringsItsFrameToTheFront)
{
    EXPECT_EQ(panels.SelectedFormat(), FormatPortable);
    EXPECT_EQ(frontFrame(), panels.frFormatSettings[0]);
    panels.optExtractMode[FormatMp3]->click();
    EXPECT_EQ(frontFrame(), panels.frFormatSettings[FormatMp3]);
    panels.optMP3VBR->click();
    panels.cmbMP3VBitrate->setCurrentIndex(3);
    panels.optExtractMode[FormatPortable]->click();
    EXPECT_EQ(frontFrame(), panels.frFormatSettings[FormatPortable]);
    EXPECT_EQ(panels.SelectedFormat(), FormatPortable);
    // Choices made meanwhile stay in their controls.
    EXPECT_TRUE(panels.optMP3VBR->isChecked());
    EXPECT_EQ(panels.cmbMP3VBitrate->currentIndex(), 3);
    // Clicking the chosen format again keeps it chosen, and touches no mode.
    panels.optExtractMode[FormatPortable]->click();
    EXPECT_EQ(panels.SelectedFormat(), FormatPortable);
    EXPECT_TRUE(panels.optMP3VBR->isChecked());
    EXPECT_TRUE(panels.optOGGCBR->isChecked());
}

TEST_F(Panels, ModeOptionsEnableTheirOwnListOnly)
{
    struct Row { QRadioButton* option; QComboBox* on; QComboBox* off; };
    const Row rows[] = {
        {panels.optOGGVBR, panels.cmbOGGVBitrate, panels.cmbOGGCBitrate},
        {panels.optOGGCBR, panels.cmbOGGCBitrate, panels.cmbOGGVBitrate},
        {panels.optMP3VBR, panels.cmbMP3VBitrate, panels.cmbMP3CBitrate},
        {panels.optMP3CBR, panels.cmbMP3CBitrate, panels.cmbMP3VBitrate},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.option->objectName().toStdString());
        const bool mp3Before = panels.cmbMP3CBitrate->isEnabled();
        const bool oggBefore = panels.cmbOGGCBitrate->isEnabled();
        row.option->click();
        EXPECT_TRUE(row.on->isEnabled());
        EXPECT_FALSE(row.off->isEnabled());
        // The other format's lists are untouched.
        if (row.on->objectName().contains("OGG"))
            EXPECT_EQ(panels.cmbMP3CBitrate->isEnabled(), mp3Before);
        else
            EXPECT_EQ(panels.cmbOGGCBitrate->isEnabled(), oggBefore);
    }
}

TEST_F(Panels, BrowsingToAWritableFolderTakesItWithOneSeparator)
{
    QTemporaryDir dir;
    QFile existing(dir.filePath("amh.amh"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("the user's own file");
    existing.close();
    const QStringList before = listing(dir.path());

    for (const QString& chosen : {dir.path(), dir.path() + "/"}) {
        panels.txtExtractPath->setText("unchanged");
        dialogs.folders = {chosen};
        panels.cmdBrowseFolder->click();
        EXPECT_EQ(panels.txtExtractPath->text(), dir.path() + "/");
        EXPECT_EQ(listing(dir.path()), before); // nothing left behind
    }
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), "the user's own file");
    EXPECT_EQ(dialogs.prompts.first(), "Please, Select a folder to be the extraction path.");
}

TEST_F(Panels, CancelledOrUnwritableFoldersChangeNothing)
{
    panels.txtExtractPath->setText("unchanged");
    dialogs.folders = {QString()}; // cancelled
    panels.cmdBrowseFolder->click();
    dialogs.folders = {"/proc/1"}; // not writable, even for root
    panels.cmdBrowseFolder->click();
    dialogs.folders = {"/nonexistent/folder"};
    panels.cmdBrowseFolder->click();
    EXPECT_EQ(panels.txtExtractPath->text(), "unchanged");
}

// Root writes anywhere, so a folder that is read-only for its user is tried as nobody.
TEST(FolderProbe, ReadOnlyFolderIsRefusedAndLeftAlone)
{
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        ::_exit(OptionsPanels::FolderIsWritable(dir.path() + "/") ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(listing(dir.path()).isEmpty());
    EXPECT_TRUE(OptionsPanels::FolderIsWritable(dir.path() + "/"));
}
