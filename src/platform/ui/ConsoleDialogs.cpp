#include "ConsoleDialogs.h"

namespace qm {

MsgAnswer ConsoleDialogs::MessageBox(QWidget* owner, const QString& text, const QString& title, MsgIcon,
                                     MsgButtons buttons)
{
    if (onBox)
        onBox(owner, text, title);
    if (buttons == MsgButtons::YesNo)
        return answer; // the caller has already said why it asks
    if (resultTitles.contains(title))
        m_lines.Result(text);
    else
        m_lines.Message(title.isEmpty() ? text : title + QStringLiteral(": ") + text);
    return MsgAnswer::Ok;
}

QString ConsoleDialogs::BrowseForFolder(QWidget*, const QString&)
{
    return QString();
}

bool ConsoleDialogs::OpenDocument(const QString&)
{
    return false;
}

} // namespace qm
