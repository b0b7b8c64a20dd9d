#pragma once
// Dialogs for the terminal commands: a box becomes one line on stderr, except
// the boxes routed to stdout (the rip's completion); questions are answered
// with the preset answer, since nobody is there to click; there is no folder
// browser and no desktop to open documents with.

#include "ConsoleLines.h"
#include "Dialogs.h"

#include <QStringList>
#include <functional>

namespace qm {

class ConsoleDialogs : public Dialogs {
public:
    explicit ConsoleDialogs(ConsoleLines& lines) : m_lines(lines) {}

    MsgAnswer MessageBox(QWidget* owner, const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons) override;
    QString BrowseForFolder(QWidget* owner, const QString& prompt) override;
    bool OpenDocument(const QString& path) override;

    // Boxes with these titles go to stdout as the command's result.
    QStringList resultTitles;
    // The answer to every Yes/No question.
    MsgAnswer answer = MsgAnswer::Yes;
    // Told of every box before it is printed.
    std::function<void(QWidget* owner, const QString& text, const QString& title)> onBox;

private:
    ConsoleLines& m_lines;
};

} // namespace qm
