#include "platform/ui/Dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace qm;

namespace {

struct SeenBox {
    QString text, sheet;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool wrapped = false;
    bool clipped = false; // the label is shorter than its wrapped lines
    int boxWidth = 0;
    int textWidth = 0;
};

// Shows one box through the real dialogs, looks at it once it is up and its
// posted events have run, then presses `press`.
MsgAnswer ShowAndPress(QtDialogs& dialogs, const QString& text, MsgIcon icon, MsgButtons buttons,
                       QMessageBox::StandardButton press, SeenBox& seen)
{
    std::function<void()> wait;
    auto look = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.text = box->text();
        seen.sheet = box->styleSheet();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        if (QPushButton* d = box->defaultButton())
            seen.defaultButton = box->standardButton(d);
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            seen.wrapped = label->wordWrap();
            seen.clipped = label->wordWrap() && label->height() < label->heightForWidth(label->width());
            seen.textWidth = label->fontMetrics().horizontalAdvance(box->text());
        }
        seen.boxWidth = box->width();
        box->button(press)->click();
    };
    wait = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible())
            QTimer::singleShot(100, look);
        else
            QTimer::singleShot(10, wait);
    };
    QTimer::singleShot(0, wait);
    return dialogs.MessageBox(nullptr, text, QStringLiteral("Title"), icon, buttons);
}

} // namespace

TEST(QtDialogs, BoxesShowTheirTextIconAndButtonsAndAnswerWhatWasPressed)
{
    struct Row {
        MsgIcon icon;
        MsgButtons buttons;
        QMessageBox::StandardButton press;
        QMessageBox::Icon shownIcon;
        MsgAnswer answer;
    };
    const Row rows[] = {
        {MsgIcon::Critical, MsgButtons::Ok, QMessageBox::Ok, QMessageBox::Critical, MsgAnswer::Ok},
        {MsgIcon::Question, MsgButtons::YesNo, QMessageBox::Yes, QMessageBox::Question, MsgAnswer::Yes},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.shownIcon) * 10 + static_cast<int>(row.answer));
        QtDialogs dialogs;
        SeenBox seen;
        const MsgAnswer answer =
            ShowAndPress(dialogs, QStringLiteral("Error #5\r\nInvalid Handle"), row.icon, row.buttons, row.press, seen);
        EXPECT_EQ(answer, row.answer);
        EXPECT_EQ(seen.text, "Error #5\nInvalid Handle"); // CR LF becomes a line feed
        EXPECT_EQ(seen.icon, row.shownIcon);
        if (row.buttons == MsgButtons::YesNo) {
            EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
            EXPECT_EQ(seen.defaultButton, QMessageBox::No) << "Enter must not cancel a rip";
        }
        EXPECT_TRUE(seen.sheet.isEmpty()) << "no skin given: the desktop's look";
    }
}

TEST(QtDialogs, BoxesTakeTheSkinAndKeepAFolderPathOnOneLine)
{
    QtDialogs dialogs;
    const QString sheet = QStringLiteral("QDialog { background-color: #1b2028; }");
    dialogs.SetStyleSheet(sheet);
    // Wider than Qt's usual 500 pixels, narrower than the test screen.
    const QString text = QStringLiteral("12 Tracks have been Ripped to /home/somebody/Music/Ripped Audio Files");
    SeenBox seen;
    EXPECT_EQ(ShowAndPress(dialogs, text, MsgIcon::Information, MsgButtons::Ok, QMessageBox::Ok, seen),
              MsgAnswer::Ok);
    EXPECT_EQ(seen.sheet, sheet);
    EXPECT_FALSE(seen.wrapped);
    EXPECT_GT(seen.boxWidth, seen.textWidth);
    // A text too long for the screen still wraps rather than running off it.
    ShowAndPress(dialogs, text + QStringLiteral(" and on").repeated(80), MsgIcon::Information, MsgButtons::Ok, QMessageBox::Ok, seen);
    EXPECT_TRUE(seen.wrapped && !seen.clipped && seen.boxWidth < seen.textWidth);
}
