#include "app/SkinEngine.h"
#include "platform/ui/Dialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace qm;

TEST(SkinEngine, StylesSelectLooksAndTheSheetReachesRegisteredWidgets)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Skin.qss");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("QFrame[skin=\"panel\"] { background: #123456; }");
    f.close();

    QFrame player, panel, other, unregistered;
    SkinEngine skin;
    ASSERT_TRUE(skin.LoadSkinFile(path));
    skin.SkinWindow(&player, 2);
    skin.SkinWindow(&panel, 1);
    skin.SkinControl(&other, 0);
    skin.ApplySkin();
    EXPECT_EQ(player.property("skin").toString(), "player");
    EXPECT_EQ(panel.property("skin").toString(), "panel");
    EXPECT_EQ(other.property("skin").toString(), "list");
    EXPECT_EQ(panel.styleSheet(), skin.styleSheet());
    EXPECT_TRUE(unregistered.styleSheet().isEmpty());
    EXPECT_EQ(SkinEngine::LookForStyle(7), "plain");

    // A window made later (the rip's progress window) is painted at once.
    {
        QFrame later;
        skin.SkinWindow(&later, 3);
        EXPECT_EQ(later.property("skin").toString(), "dialog");
        EXPECT_EQ(later.styleSheet(), skin.styleSheet());
    }
    // The message boxes get the sheet, now or when it is applied.
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

TEST(SkinEngine, MissingSheetSaysSoOnceAndLeavesThePlainLook)
{
    QFrame frame;
    SkinEngine skin;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(skin.LoadSkinFile("/nonexistent/Skin.qss"));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("/nonexistent/Skin.qss"), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    skin.SkinWindow(&frame, 1);
    skin.ApplySkin();
    EXPECT_TRUE(frame.styleSheet().isEmpty());
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
// empty box); the mark is measured two pixels inside it.
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
    QMap<QRgb, int> counts;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[shown.pixel(x, y)];
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most)
            most = it.value(), mark.fill = it.key();
    QSet<int> rows;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (Distance(shown.pixel(x, y), mark.fill) > 120)
                ++mark.pixels, rows.insert(y);
    mark.rows = static_cast<int>(rows.size());
    return mark;
}

QImage Shot(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

Mark BoxMark(const QString& sheet, Qt::CheckState state, bool enabled)
{
    QFrame panel;
    panel.setProperty("skin", "panel");
    panel.setStyleSheet(sheet);
    auto* box = new QCheckBox(&panel);
    box->setTristate(true);
    box->resize(24, 24);
    panel.resize(30, 30);
    panel.setEnabled(enabled);
    box->setCheckState(Qt::Unchecked);
    const QImage blank = Shot(panel);
    box->setCheckState(state);
    return MarkIn(Shot(panel), blank);
}

Mark ListMark(const QString& sheet, bool enabled, bool selected)
{
    QTreeWidget list;
    list.setProperty("skin", "list");
    list.setStyleSheet(sheet);
    list.setHeaderHidden(true);
    list.resize(200, 80);
    auto* item = new QTreeWidgetItem(&list, {QStringLiteral("Track 01")});
    item->setCheckState(0, Qt::Unchecked);
    item->setSelected(selected);
    list.setEnabled(enabled);
    const QImage blank = Shot(list);
    item->setCheckState(0, Qt::Checked);
    return MarkIn(Shot(list), blank);
}

} // namespace

TEST(SkinEngine, SheetImagesAreFoundBesideTheSheetWhateverTheWorkingFolder)
{
    CopiedSkin copied;
    const QString sheet = copied.skin.styleSheet();
    EXPECT_FALSE(sheet.contains(QLatin1String(SkinEngine::kFolderPlaceholder)));
    EXPECT_TRUE(sheet.contains(QStringLiteral("a \\\"skin\\\" folder/CheckMark.svg"))) << "quoted for the sheet";

    const QString cwd = QDir::currentPath();
    QDir::setCurrent(QDir::rootPath());
    const Mark mark = BoxMark(sheet, Qt::Checked, true);
    QDir::setCurrent(cwd);
    EXPECT_GE(mark.rows, 4) << "a tick on the checked box";
}

TEST(SkinEngine, CheckedAndGreyedBoxesKeepDifferentMarksEnabledOrNot)
{
    CopiedSkin copied;
    const QString sheet = copied.skin.styleSheet();
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "enabled" : "disabled");
        const Mark checked = BoxMark(sheet, Qt::Checked, enabled);
        const Mark greyed = BoxMark(sheet, Qt::PartiallyChecked, enabled);
        EXPECT_GE(checked.rows, 4) << "tick";
        EXPECT_GT(greyed.pixels, 0) << "dash";
        EXPECT_LE(greyed.rows, 3) << "dash";
        EXPECT_GT(Distance(checked.fill, greyed.fill), 30);
    }
    // Disabled boxes are dimmed.
    EXPECT_GT(Distance(BoxMark(sheet, Qt::Checked, true).fill, BoxMark(sheet, Qt::Checked, false).fill), 60);
    EXPECT_GT(Distance(BoxMark(sheet, Qt::PartiallyChecked, true).fill,
                       BoxMark(sheet, Qt::PartiallyChecked, false).fill), 60);
}

TEST(SkinEngine, CheckedListRowsShowATickAndDimWhileTheListIsDisabled)
{
    CopiedSkin copied;
    const QString sheet = copied.skin.styleSheet();
    struct Row { bool enabled, selected; };
    for (const Row row : {Row{true, false}, Row{true, true}, Row{false, false}, Row{false, true}}) {
        SCOPED_TRACE(QStringLiteral("enabled %1 selected %2").arg(row.enabled).arg(row.selected).toStdString());
        EXPECT_GE(ListMark(sheet, row.enabled, row.selected).rows, 4) << "tick";
    }
    EXPECT_GT(Distance(ListMark(sheet, true, false).fill, ListMark(sheet, false, false).fill), 60);
}
