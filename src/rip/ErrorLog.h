#pragma once
// The error log: one line per failed conversion, appended to Errors.log in
// the user's state folder.

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace qm {

// $XDG_STATE_HOME/quillmere/Errors.log (~/.local/state when the variable is
// unset or not absolute).
QString ErrorLogPath();

// One line of the error log, CR LF included: time, short date, the text,
// the code, and the source that was being converted.
QString ErrorLogLine(const QDateTime& when, const QLocale& locale, const QString& text, int code,
                     const QString& source);

// Appends a line to the error log, making its folder first. False when the
// log cannot be written.
bool AppendErrorLog(const QString& line);

} // namespace qm
