#pragma once
// What start-up tells the user when the audio output cannot be opened.

#include <QString>
#include <QStringList>

namespace qm {

struct OutputFailure {
    QString text;    // lines joined by CR LF
    bool endProcess; // true: the program cannot go on
};

OutputFailure AudioOutputFailure(int code);

// The box for settings files that could not be read at start-up (the store's
// messages); "" when there were none.
QString SettingsUnreadable(const QStringList& problems);

// major.minor.0.revision, as the scene shows it.
QString VersionText(int major, int minor, int revision);

} // namespace qm
