#include "ErrorReport.h"

#include "platform/ui/Dialogs.h"

namespace qm {

void ReportError(Dialogs& dialogs, QWidget* owner, const QString& module, const QString& routine,
                 int number, const QString& description)
{
    // The routine name and "in module : " run together; callers and users
    // have long read it that way.
    const QString text = QStringLiteral("Error in routine : ") + routine + QStringLiteral("in module : ")
                         + module + QStringLiteral("\r\nError #") + QString::number(number)
                         + QStringLiteral("\r\n") + description;
    dialogs.MessageBox(owner, text, QString::fromLatin1(kApplicationTitle), MsgIcon::None, MsgButtons::Ok);
}

void ShowAudioError(Dialogs& dialogs, QWidget* owner, const QString& message, int code)
{
    QString text = message;
    if (code != -1)
        text += QStringLiteral("\r\n\r\nError Code : ") + QString::number(code);
    dialogs.MessageBox(owner, text, QStringLiteral("Error"), MsgIcon::Critical, MsgButtons::Ok);
}

} // namespace qm
