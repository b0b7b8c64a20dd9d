#pragma once
// Everything the program asks of the user through the desktop: message boxes,
// the folder browser, opening a document. QtDialogs is the real one.

#include <QString>

class QWidget;

namespace qm {

enum class MsgIcon { None, Information, Warning, Question, Critical };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MsgAnswer MessageBox(QWidget* owner, const QString& text, const QString& title,
                                 MsgIcon icon, MsgButtons buttons) = 0;
    // The chosen folder's path, or "" when cancelled.
    virtual QString BrowseForFolder(QWidget* owner, const QString& prompt) = 0;
    // Open a document with the desktop's default application.
    virtual bool OpenDocument(const QString& path) = 0;
    // The look of the boxes, as a Qt style sheet; "" keeps the desktop's.
    virtual void SetStyleSheet(const QString& sheet) { (void)sheet; }
    // The program is ending: a box or folder browser still open is answered as
    // its Escape key would (Ok, No, cancelled), and so is any asked for later,
    // without being shown, so none holds the ending up until somebody clicks.
    virtual void Dismiss() {}
};

class QtDialogs : public Dialogs {
public:
    MsgAnswer MessageBox(QWidget* owner, const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons) override;
    QString BrowseForFolder(QWidget* owner, const QString& prompt) override;
    bool OpenDocument(const QString& path) override;
    void SetStyleSheet(const QString& sheet) override { m_sheet = sheet; }
    void Dismiss() override;

private:
    QString m_sheet;
    bool m_dismissed = false;
};

} // namespace qm
