#include "SettingsPanel.h"

#include "OptionsPanels.h"
#include "modSettings.h"
#include "diag/ErrorReport.h"
#include "platform/ui/Dialogs.h"
#include "rip/WmaWriter.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLineEdit>
#include <QLocale>

namespace qm {

SettingsPanel::SettingsPanel(AudioLibrary& audio, Dialogs& dialogs, WindowState& state, QWidget* owner)
    : QObject(owner), m_audio(audio), m_dialogs(dialogs), m_state(state), m_owner(owner)
{
    auto frame = [owner](const char* name, int w, int h) {
        auto* f = new QFrame(owner);
        f->setObjectName(QLatin1String(name));
        f->resize(w, h);
        return f;
    };
    frFileFormat = frame("frFileFormat", 510, 353);
    frGeneralOptions = frame("frGeneralOptions", 507, 353);
    options = new OptionsPanels(frFileFormat, frGeneralOptions, m_dialogs, owner);
}

void SettingsPanel::RestoreFileFormat() { modSettings::RestoreFileFormat(*options); }
std::optional<int> SettingsPanel::LoadSettings()
{
    QString problem;
    const std::optional<int> entry = modSettings::LoadSettings(*options, &problem);
    if (!problem.isEmpty())
        m_dialogs.MessageBox(m_owner, problem, QStringLiteral("Settings"), MsgIcon::Warning, MsgButtons::Ok);
    return entry;
}
bool SettingsPanel::SaveSettings(int driveEntry, QString* why)
{
    return modSettings::SaveSettings(*options, driveEntry, why);
}

QString SettingsPanel::OutputFolder() const
{
    const QString path = options->txtExtractPath->text();
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        return QDir::cleanPath(QDir::homePath() + path.mid(1));
    return QDir::cleanPath(QDir(m_state.startFolder).absoluteFilePath(path));
}

void SettingsPanel::LoadWMAEncoderRates()
{
    const DWORD* rates = m_audio.BASS_WMA_EncodeGetRates(kCdRate, 0);
    if (!rates) {
        ShowAudioError(m_dialogs, m_owner, QStringLiteral("Error: Can't find a codec"), m_audio.BASS_ErrorGetCode());
        return;
    }
    QComboBox* list = options->cmbWMAEncodingBitrate;
    for (const DWORD* rate = rates; *rate != 0; ++rate)
        list->addItem(WmaRateText(*rate, QLocale()), QVariant::fromValue<uint>(*rate));
    if (list->count() > 0)
        list->setCurrentIndex(0);
}

} // namespace qm
