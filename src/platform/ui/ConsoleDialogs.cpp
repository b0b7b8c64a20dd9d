#include "ConsoleDialogs.h"

namespace qm {

MsgAnswer ConsoleDialogs::MessageBox(QWidget*, const QString& text, const QString& title, MsgIcon,
                                     MsgButtons buttons)
{
    if (buttons == MsgButtons::YesNo)
        return answer; // the caller has already said why it asks
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
