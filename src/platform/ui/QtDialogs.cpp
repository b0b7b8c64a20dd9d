#include "Dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

namespace qm {

namespace {

// Qt wraps a box's text at about 500 pixels whatever the screen, and so
// splits a folder path at its spaces ("Ripped" / "Audio"). A text that fits
// in most of the screen stays on its lines; a longer one wraps as Qt likes.
class UnwrappedMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    // Qt sizes the box when it is shown and again on each layout request;
    // the text is put back on its lines after each.
    void showEvent(QShowEvent* event) override
    {
        QMessageBox::showEvent(event);
        KeepLines();
    }
    bool event(QEvent* event) override
    {
        const bool handled = QMessageBox::event(event);
        if (event->type() == QEvent::LayoutRequest && isVisible())
            KeepLines();
        return handled;
    }

private:
    void KeepLines()
    {
        auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (!label || !label->wordWrap() || !layout())
            return;
        const QScreen* where = screen();
        const int limit = where ? qMin(where->availableGeometry().width() * 4 / 5, 1000) : 800;
        label->setWordWrap(false);
        layout()->activate();
        int width = qMax(this->width(), layout()->totalMinimumSize().width());
        if (width > limit) {
            // Too long for one line: wrapped to a width that reads well, and the
            // box made tall enough for every wrapped line (Qt's own size would
            // clip them).
            label->setWordWrap(true);
            layout()->activate();
            width = qMin(limit, 640);
        }
        const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width)
                                                         : layout()->totalMinimumSize().height();
        setFixedSize(width, height);
        // The changes above ask for a layout, which would wrap the text again.
        QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
    }
};

} // namespace

MsgAnswer QtDialogs::MessageBox(QWidget* owner, const QString& text, const QString& title,
                                MsgIcon icon, MsgButtons buttons)
{
    if (m_dismissed)
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    UnwrappedMessageBox box(owner);
    if (!m_sheet.isEmpty())
        box.setStyleSheet(m_sheet);
    box.setWindowTitle(title);
    // Texts use CR LF between lines; Qt wants plain line feeds.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    box.setText(shown);
    switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgAnswer::Ok;
}

QString QtDialogs::BrowseForFolder(QWidget* owner, const QString& prompt)
{
    if (m_dismissed)
        return {};
    // From the user's home, not wherever the program was started from.
    return QFileDialog::getExistingDirectory(owner, prompt, QDir::homePath(), QFileDialog::ShowDirsOnly);
}

void QtDialogs::Dismiss()
{
    m_dismissed = true;
    // Each returns from its exec() once the caller's event handling is done.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && (qobject_cast<QMessageBox*>(window) || qobject_cast<QFileDialog*>(window)))
            static_cast<QDialog*>(window)->reject();
    }
}

bool QtDialogs::OpenDocument(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace qm
