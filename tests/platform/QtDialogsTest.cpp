#include "platform/ui/Dialogs.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace qm;

namespace {

// Shows one box through the real dialogs, hands it to `look` once it is up
// and its posted events have run, then presses `press`.
MsgAnswer ShowAndPress(QtDialogs& dialogs, const QString& text, MsgIcon icon, MsgButtons buttons,
                       QMessageBox::StandardButton press, const std::function<void(QMessageBox&, QLabel&)>& look)
{
    std::function<void()> wait = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return QTimer::singleShot(10, wait);
        QTimer::singleShot(100, [&, box] {
            auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            EXPECT_NE(label, nullptr);
            if (label)
                look(*box, *label);
            box->button(press)->click();
        });
    };
    QTimer::singleShot(0, wait);
    return dialogs.MessageBox(nullptr, text, QStringLiteral("Title"), icon, buttons);
}

} // namespace

TEST(QtDialogs, BoxesShowTheirTextIconAndButtonsAndAnswerWhatWasPressed)
{
    const struct { MsgIcon icon; MsgButtons buttons; QMessageBox::StandardButton press; QMessageBox::Icon shown; MsgAnswer answer; } rows[] = {
        {MsgIcon::Critical, MsgButtons::Ok, QMessageBox::Ok, QMessageBox::Critical, MsgAnswer::Ok},
        {MsgIcon::Question, MsgButtons::YesNo, QMessageBox::Yes, QMessageBox::Question, MsgAnswer::Yes},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.shown));
        QtDialogs dialogs;
        EXPECT_EQ(ShowAndPress(dialogs, QStringLiteral("Error #5\r\nInvalid Handle"), row.icon, row.buttons, row.press,
                               [&](QMessageBox& box, QLabel&) {
                                   EXPECT_EQ(box.text(), "Error #5\nInvalid Handle"); // CR LF becomes a line feed
                                   EXPECT_EQ(box.icon(), row.shown);
                                   EXPECT_TRUE(box.styleSheet().isEmpty()) << "no skin given: the desktop's look";
                                   if (row.buttons == MsgButtons::YesNo) {
                                       EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
                                       EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No)) << "Enter must not cancel a rip";
                                   }
                               }),
                  row.answer);
    }
}

TEST(QtDialogs, BoxesTakeTheSkinAndKeepAFolderPathOnOneLine)
{
    QtDialogs dialogs;
    const QString sheet = QStringLiteral("QDialog { background-color: #1b2028; }");
    dialogs.SetStyleSheet(sheet);
    // Wider than Qt's usual 500 pixels, narrower than the test screen.
    const QString text = QStringLiteral("12 Tracks have been Ripped to /home/somebody/Music/Ripped Audio Files");
    auto width = [](QMessageBox& box, QLabel& label) { return label.fontMetrics().horizontalAdvance(box.text()); };
    ShowAndPress(dialogs, text, MsgIcon::Information, MsgButtons::Ok, QMessageBox::Ok, [&](QMessageBox& box, QLabel& label) {
        EXPECT_EQ(box.styleSheet(), sheet);
        EXPECT_FALSE(label.wordWrap());
        EXPECT_GT(box.width(), width(box, label));
    });
    // A text too long for the screen still wraps rather than running off it.
    ShowAndPress(dialogs, text + QStringLiteral(" and on").repeated(80), MsgIcon::Information, MsgButtons::Ok, QMessageBox::Ok,
                 [&](QMessageBox& box, QLabel& label) {
                     EXPECT_TRUE(label.wordWrap());
                     EXPECT_GE(label.height(), label.heightForWidth(label.width())) << "clipped";
                     EXPECT_LT(box.width(), width(box, label));
                 });
}

// The program is ending: whatever is open is answered as Escape would, and
// whatever is asked later is answered at once, unseen.
TEST(QtDialogs, DismissAnswersOpenBoxesAndBrowsersAndEveryLaterOne)
{
    using Ask = std::function<QString(QtDialogs&)>;
    const std::pair<Ask, QString> rows[] = {
        {[](QtDialogs& d) { return d.MessageBox(nullptr, "Cancel?", "Sure?", MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::No ? "No" : "Yes"; }, "No"},
        {[](QtDialogs& d) { return d.MessageBox(nullptr, "Done", "Done", MsgIcon::Information, MsgButtons::Ok) == MsgAnswer::Ok ? "Ok" : "?"; }, "Ok"},
        {[](QtDialogs& d) { return d.BrowseForFolder(nullptr, "Where?"); }, ""},
    };
    // A window still up after a while fails the test rather than hanging it.
    auto guarded = [](const Ask& ask, QtDialogs& dialogs) {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            if (auto* up = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "still open";
                up->reject();
            }
        });
        guard.start(5000);
        return ask(dialogs);
    };
    for (const auto& [ask, answer] : rows) {
        SCOPED_TRACE(answer.toStdString());
        QtDialogs dialogs;
        std::function<void()> wait = [&] {
            QWidget* up = QApplication::activeModalWidget();
            if (!up || !up->isVisible())
                return QTimer::singleShot(10, wait);
            if (auto* browser = qobject_cast<QFileDialog*>(up)) {
                EXPECT_EQ(browser->directory().absolutePath(), QDir::homePath()) << "the browser starts at home";
            }
            dialogs.Dismiss();
        };
        QTimer::singleShot(0, wait);
        EXPECT_EQ(guarded(ask, dialogs), answer);
        EXPECT_EQ(guarded(ask, dialogs), answer) << "asked once more";
    }
}
