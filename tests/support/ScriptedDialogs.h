#pragma once
// Dialogs that record every box and answer as the test told them.

#include "platform/ui/Dialogs.h"

#include <QList>
#include <QStringList>
#include <functional>

namespace qm::test {

struct ShownBox {
    QString text;
    QString title;
    MsgIcon icon;
    MsgButtons buttons;
};

class ScriptedDialogs : public Dialogs {
public:
    MsgAnswer MessageBox(QWidget*, const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons) override
    {
        boxes.append({text, title, icon, buttons});
        if (duringBox)
            duringBox(text);
        if (buttons == MsgButtons::Ok)
            return MsgAnswer::Ok;
        return answers.isEmpty() ? MsgAnswer::No : answers.takeFirst();
    }
    QString BrowseForFolder(QWidget*, const QString& prompt) override
    {
        prompts.append(prompt);
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }
    bool OpenDocument(const QString& path) override
    {
        documents.append(path);
        return documentOpens;
    }
    void SetStyleSheet(const QString& sheet) override { styleSheet = sheet; }
    void Dismiss() override { dismissed = true; }

    QList<ShownBox> boxes;
    QList<MsgAnswer> answers; // for Yes/No boxes, in order; No when none left
    QStringList folders;      // for the folder browser; "" (cancel) when none left
    QStringList prompts;
    QStringList documents;
    bool documentOpens = true;
    QString styleSheet;
    bool dismissed = false; // the program is ending: open boxes are answered
    std::function<void(const QString& text)> duringBox; // runs while the box would be open
};

} // namespace qm::test
