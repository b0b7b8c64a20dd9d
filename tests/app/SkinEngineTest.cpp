#include "app/SkinEngine.h"
#include "platform/ui/Dialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QTemporaryDir>
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
    QFrame panel, unregistered;
    SkinEngine skin;
    ASSERT_TRUE(skin.LoadSkinFile(f.fileName()));
    skin.SkinWindow(&panel, 1);
    skin.ApplySkin();
    EXPECT_EQ(panel.styleSheet(), skin.styleSheet());
    EXPECT_TRUE(unregistered.styleSheet().isEmpty());
    QFrame later; // the rip's progress window
    skin.SkinWindow(&later, 3);
    EXPECT_EQ(later.property("skin").toString(), "dialog");
    EXPECT_EQ(later.styleSheet(), skin.styleSheet());
    struct SheetDialogs : Dialogs {
        MsgAnswer MessageBox(QWidget*, const QString&, const QString&, MsgIcon, MsgButtons) override
        {
            return MsgAnswer::Ok;
        }
        QString BrowseForFolder(QWidget*, const QString&) override { return {}; }
        bool OpenDocument(const QString&) override { return true; }
        void SetStyleSheet(const QString& s) override { sheet = s; }
        QString sheet;
    } dialogs;
    skin.SkinDialogs(&dialogs);
    EXPECT_EQ(dialogs.sheet, skin.styleSheet());
}

namespace {

// The skin's sheet and images, copied to a folder whose name needs quoting.
struct CopiedSkin {
    QTemporaryDir dir;
    QString folder;
    SkinEngine skin;

    CopiedSkin()
    {
        folder = dir.filePath(QStringLiteral("a \"skin\" folder"));
        QDir().mkpath(folder);
        const QDir built(QStringLiteral(QUILLMERE_BIN_DIR));
        for (const QString& name : built.entryList({QStringLiteral("Skin.qss"), QStringLiteral("*.svg")}))
            QFile::copy(built.filePath(name), folder + QLatin1Char('/') + name);
        EXPECT_TRUE(skin.LoadSkinFile(folder + QStringLiteral("/Skin.qss")));
    }
};

// What a box shows inside its border: the fill and the mark drawn on it.
struct Mark {
    QRgb fill = 0;
    int pixels = 0; // pixels far from the fill
    int rows = 0;   // rows they lie on: a tick spans several, a dash one or two
};

int Distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

// The box is where `shown` differs from `blank` (the same widget with an
// empty box); the mark is measured two pixels inside it, against the fill in
// its corner, where neither mark reaches.
Mark MarkIn(const QImage& shown, const QImage& blank)
{
    QRect box;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (Distance(shown.pixel(x, y), blank.pixel(x, y)) > 30)
                box |= QRect(x, y, 1, 1);
    Mark mark;
    if (box.width() < 8 || box.height() < 8)
        return mark;
    const QRect inside = box.adjusted(2, 2, -2, -2);
    mark.fill = shown.pixel(inside.topLeft());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        int far = 0;
        for (int x = inside.left(); x <= inside.right(); ++x)
            far += Distance(shown.pixel(x, y), mark.fill) > 120;
        mark.pixels += far;
        mark.rows += far > 0;
    }
    return mark;
}

// The mark on a check box in `state`, against the same box empty. The list's
// rows share the boxes' rules.
Mark BoxMark(const QString& sheet, Qt::CheckState state, bool enabled)
{
    QFrame panel;
    panel.setProperty("skin", "panel");
    panel.setStyleSheet(sheet);
    panel.resize(30, 30);
    panel.setEnabled(enabled);
    auto* box = new QCheckBox(&panel);
    box->setTristate(true);
    box->resize(24, 24);
    auto shot = [&] { return panel.grab().toImage().convertToFormat(QImage::Format_RGB32); };
    const QImage blank = shot();
    box->setCheckState(state);
    return MarkIn(shot(), blank);
}

} // namespace

// The sheet's images are found beside it whatever the working folder.
TEST(SkinEngine, CheckedAndGreyedBoxesKeepDifferentMarksEnabledOrNot)
{
    CopiedSkin copied;
    const QString sheet = copied.skin.styleSheet();
    EXPECT_TRUE(sheet.contains(QStringLiteral("a \\\"skin\\\" folder/CheckMark.svg"))) << "quoted for the sheet";
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(QDir::rootPath());
    Mark marks[2][2]; // [enabled][greyed]
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "enabled" : "disabled");
        const Mark checked = marks[enabled][0] = BoxMark(sheet, Qt::Checked, enabled);
        const Mark greyed = marks[enabled][1] = BoxMark(sheet, Qt::PartiallyChecked, enabled);
        EXPECT_GE(checked.rows, 4) << "tick";
        EXPECT_GT(greyed.pixels, 0) << "dash";
        EXPECT_LE(greyed.rows, 3) << "dash";
        EXPECT_GT(Distance(checked.fill, greyed.fill), 30);
    }
    QDir::setCurrent(cwd);
    // Disabled boxes are dimmed.
    for (const int greyed : {0, 1})
        EXPECT_GT(Distance(marks[true][greyed].fill, marks[false][greyed].fill), 60) << greyed;
}
