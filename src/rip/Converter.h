#pragma once
// Pieces of the external-encoder conversion that do not need the window: the
// encoder command lines and the lines of the error log.

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace qm {

// The encoder command line for a format code ("MP3C", "MP3V", "OGGC",
// "OGGV", compared case-sensitively); "" for any other code.
QString EncoderCommandLine(const QString& format, const QString& bitrate, const QString& outputFile);

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
