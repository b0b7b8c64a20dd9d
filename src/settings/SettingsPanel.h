#pragma once
// The settings feature: the format and folder panels (frFileFormat,
// frGeneralOptions), their load and save, and the WMA rates they offer.

#include "platform/audio/AudioLibrary.h"
#include "shared/WindowState.h"

#include <QObject>
#include <QString>
#include <optional>

class QFrame;
class QWidget;

namespace qm {

class Dialogs;
class OptionsPanels;

class SettingsPanel : public QObject {
    Q_OBJECT
public:
    SettingsPanel(AudioLibrary& audio, Dialogs& dialogs, WindowState& state, QWidget* owner);

    void RestoreFileFormat();
    // Returns the stored drive list entry, for the drive panel.
    std::optional<int> LoadSettings();
    // True when every setting was saved; otherwise *why (when given) says why.
    bool SaveSettings(int driveEntry, QString* why);
    void LoadWMAEncoderRates();
    // The Extract Path as a full path: a relative one means the folder the
    // program was started in, "~/" the home folder.
    QString OutputFolder() const;

    QFrame* frFileFormat = nullptr;
    QFrame* frGeneralOptions = nullptr;
    OptionsPanels* options = nullptr;

private:
    AudioLibrary& m_audio;
    Dialogs& m_dialogs;
    WindowState& m_state;
    QWidget* m_owner;
};

} // namespace qm
