#include "ScriptedDialogs.h"
#include "settings/OptionsPanels.h"

#include <QPushButton>
#include <QRadioButton>
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
        for (QObject* child : stack->children())
            if (auto* f = qobject_cast<QFrame*>(child))
                top = f;
        return top;
    }
};

QStringList listing(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST_F(Panels, ClickingAFormatOrAModeBringsItsFrameOrListForward)
{
    EXPECT_EQ(panels.SelectedFormat(), FormatPortable);
    EXPECT_EQ(frontFrame(), panels.frFormatSettings[0]);
    panels.optExtractMode[FormatMp3]->click();
    EXPECT_EQ(frontFrame(), panels.frFormatSettings[FormatMp3]);
    panels.optMP3VBR->click(); // enables its own list only
    EXPECT_FALSE(panels.cmbMP3CBitrate->isEnabled());
    EXPECT_TRUE(panels.cmbOGGCBitrate->isEnabled());
    panels.cmbMP3VBitrate->setCurrentIndex(3);
    panels.optExtractMode[FormatPortable]->click();
    panels.optExtractMode[FormatPortable]->click(); // again: it stays chosen
    EXPECT_EQ(frontFrame(), panels.frFormatSettings[FormatPortable]);
    EXPECT_EQ(panels.SelectedFormat(), FormatPortable);
    // Choices made meanwhile stay in their controls.
    EXPECT_TRUE(panels.optMP3VBR->isChecked());
    EXPECT_EQ(panels.cmbMP3VBitrate->currentIndex(), 3);
}

TEST_F(Panels, BrowsingTakesOnlyAWritableFolderWithOneSeparator)
{
    QTemporaryDir dir;
    const QString taken = dir.path() + "/";
    const std::pair<QString, QString> cases[] = {
        {dir.path(), taken}, {taken, taken}, {QString(), "unchanged"}, // cancelled
        {"/nonexistent/folder", "unchanged"}, // read-only folders are the probe's test
    };
    for (const auto& [chosen, expected] : cases) {
        panels.txtExtractPath->setText("unchanged");
        dialogs.folders = {chosen};
        panels.cmdBrowseFolder->click();
        EXPECT_EQ(panels.txtExtractPath->text(), expected) << chosen.toStdString();
    }
    EXPECT_TRUE(listing(dir.path()).isEmpty()) << "nothing left behind";
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
