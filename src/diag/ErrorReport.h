#pragma once
// The program's one way of telling the user that something failed, and the
// English texts for the audio library's error codes.

#include <QString>

class QWidget;

namespace qm {

class Dialogs;

// Title of the box ReportError shows.
inline constexpr const char* kApplicationTitle = "Quillmere";

// A runtime error a routine's own handler caught. Every caller names its
// module "frmDemo".
void ReportError(Dialogs& dialogs, QWidget* owner, const QString& module, const QString& routine,
                 int number, const QString& description);

// A failed audio-library call with the library's error code; -1 (the unknown
// error) shows the message alone.
void ShowAudioError(Dialogs& dialogs, QWidget* owner, const QString& message, int code);

// The text for a code of BASS_ErrorGetCode; "" for a code the table lacks.
QString AudioErrorText(int code);

} // namespace qm
