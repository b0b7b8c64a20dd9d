#pragma once
// Dialogs for the terminal commands: a box becomes one line on stderr;
// questions are answered with the preset answer, since nobody is there to
// click; there is no folder browser and no desktop to open documents with.

#include "ConsoleLines.h"
#include "Dialogs.h"


namespace qm {

class ConsoleDialogs : public Dialogs {
public:
    explicit ConsoleDialogs(ConsoleLines& lines) : m_lines(lines) {}

    MsgAnswer MessageBox(QWidget* owner, const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons) override;
    QString BrowseForFolder(QWidget* owner, const QString& prompt) override;
    bool OpenDocument(const QString& path) override;

    // The answer to every Yes/No question.
    MsgAnswer answer = MsgAnswer::Yes;

private:
    ConsoleLines& m_lines;
};

} // namespace qm
