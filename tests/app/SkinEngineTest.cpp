#include "ScriptedDialogs.h"
#include "app/SkinEngine.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace qm;

// Which look each frame of the window gets is checked on the window.
TEST(SkinEngine, TheSheetReachesRegisteredWidgetsLaterWindowsAndTheMessageBoxes)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("Skin.qss"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("QFrame[skin=\"panel\"] { background: #123456; }");
    f.close();
    QFrame panel, later; // later: the rip's progress window
    SkinEngine skin;
    ASSERT_TRUE(skin.LoadSkinFile(f.fileName()));
    skin.SkinWindow(&panel, 1);
    skin.ApplySkin();
    EXPECT_EQ(panel.styleSheet(), skin.styleSheet());
    skin.SkinWindow(&later, 3);
    EXPECT_EQ(later.property("skin").toString(), "dialog");
    EXPECT_EQ(later.styleSheet(), skin.styleSheet());
    test::ScriptedDialogs dialogs;
    skin.SkinDialogs(&dialogs);
    EXPECT_EQ(dialogs.styleSheet, skin.styleSheet());
}

// The sheet's images are found beside it, in a folder whose name needs
// quoting, whatever the working folder: checked, greyed and empty boxes look
// apart, enabled or not, and disabled ones are dimmed.
TEST(SkinEngine, CheckedAndGreyedBoxesKeepDifferentMarksEnabledOrNot)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("a \"skin\" folder"));
    QDir().mkpath(folder);
    const QDir built(QStringLiteral(QUILLMERE_BIN_DIR));
    for (const QString& name : built.entryList({QStringLiteral("Skin.qss"), QStringLiteral("*.svg")}))
        QFile::copy(built.filePath(name), folder + QLatin1Char('/') + name);
    SkinEngine skin;
    ASSERT_TRUE(skin.LoadSkinFile(folder + QStringLiteral("/Skin.qss")));
    EXPECT_TRUE(skin.styleSheet().contains(QStringLiteral("a \\\"skin\\\" folder/CheckMark.svg"))) << "quoted for the sheet";
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(QDir::rootPath());
    auto shot = [&](Qt::CheckState state, bool enabled) {
        QFrame panel;
        panel.setProperty("skin", "panel");
        panel.setStyleSheet(skin.styleSheet());
        panel.resize(30, 30);
        panel.setEnabled(enabled);
        QCheckBox box(&panel);
        box.setTristate(true);
        box.resize(24, 24);
        box.setCheckState(state);
        return panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "enabled" : "disabled");
        const QImage empty = shot(Qt::Unchecked, enabled), checked = shot(Qt::Checked, enabled),
                     greyed = shot(Qt::PartiallyChecked, enabled);
        EXPECT_TRUE(checked != empty && greyed != empty && checked != greyed);
        EXPECT_NE(checked, shot(Qt::Checked, !enabled));
        EXPECT_NE(greyed, shot(Qt::PartiallyChecked, !enabled));
    }
    QDir::setCurrent(cwd);
}

// On the selected (amber) row an empty box is drawn empty, not as a solid
// dark square that reads as checked.
TEST(SkinEngine, AnEmptyBoxOnTheSelectedRowLooksEmpty)
{
    SkinEngine skin;
    ASSERT_TRUE(skin.LoadSkinFile(QStringLiteral(QUILLMERE_BIN_DIR "/Skin.qss")));
    QTreeWidget tree;
    tree.setStyleSheet(skin.styleSheet());
    tree.setRootIsDecorated(false);
    tree.resize(200, 80);
    auto* row = new QTreeWidgetItem(&tree, {QStringLiteral("Track 1")});
    row->setCheckState(0, Qt::Unchecked);
    row->setSelected(true);
    const QRect rect = tree.visualItemRect(row);
    const QImage shot = tree.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The box's left 30 pixels: its 1-pixel dark frame is about 50 pixels; a
    // dark inside would add over a hundred.
    int dark = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x < rect.left() + 30; ++x)
            dark += QColor(shot.pixel(x, y)).lightness() < 60;
    EXPECT_LT(dark, 80);
}
