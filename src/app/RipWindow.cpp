// The main window's side of ripping: the plan from the panels and the
// checked rows, the progress window, and the writers under the names the
// program has always called them by.
#include "frmMain.h"

#include "ResourceFolder.h"
#include "diag/ErrorReport.h"
#include "rip/RipNames.h"
#include "rip/WavWriter.h"
#include "rip/WmaWriter.h"
#include "rip/frmRipp.h"
#include "settings/OptionsPanels.h"

#include <QComboBox>
#include <QLineEdit>
#include <QDir>
#include <QTreeWidget>

namespace qm {

RipContext frmMain::ripContext(bool showBoxes)
{
    return RipContext{m_audio,   m_dialogs, this, currentStream, ripStop, [this](bool on) { SetContentEnabled(on); },
                      windowHandle(), showBoxes};
}

RipPlan frmMain::RipPlanFromWindow() const
{
    RipPlan plan = options->Plan(wmaTagNames);
    plan.folder = OutputFolder();
    plan.drive = currentDrive;
    for (int row = 0; row < lsTracks->topLevelItemCount(); ++row) {
        if (lsTracks->topLevelItem(row)->checkState(0) == Qt::Checked)
            plan.tracks.push_back(TrackOfRow(row));
    }
    return plan;
}

QString frmMain::OutputFolder() const
{
    const QString path = options->txtExtractPath->text();
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        return QDir::cleanPath(QDir::homePath() + path.mid(1));
    return QDir::cleanPath(QDir(StartFolder()).absoluteFilePath(path));
}

void frmMain::ShowRipWindow()
{
    frmRipp window(ripContext(), RipPlanFromWindow(), ripStartDelayMs, this);
    m_skin.SkinWindow(&window, 3);
    // The playback timer shows the rip's progress in the window's bar.
    rippingActive = true;
    ripProgress = window.prgRipper;
    window.exec();
    rippingActive = false;
    ripProgress = nullptr;
}

void frmMain::StopRipping()
{
    ripStop = true;
}

void frmMain::SetContentEnabled(bool enabled)
{
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow())
            widget->setEnabled(enabled);
    }
}

bool frmMain::ContentEnabled() const
{
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow() && !widget->isEnabled())
            return false;
    }
    return true;
}

RipResult frmMain::ExtractAudioTrackToWav(int track)
{
    WavWriter writer(m_audio, TrackFileName(OutputFolder(), track + 1, QStringLiteral(".WAV")));
    return RipOneTrack(ripContext(), static_cast<DWORD>(currentDrive), writer, {true, static_cast<DWORD>(track), {}});
}

RipResult frmMain::ExtractAudioTrackToWMA(int track, DWORD bitrate)
{
    const RipPlan plan = options->PlanFor(FormatWma, true, QString(), OutputFolder(), wmaTagNames);
    WmaWriter writer(m_audio, plan.FileFor(track), bitrate, plan.wmaTags, track + 1);
    return RipOneTrack(ripContext(), static_cast<DWORD>(currentDrive), writer, {true, static_cast<DWORD>(track), {}});
}

RipResult frmMain::Converter(const QString& source, const QString& format, const QString& bitrate,
                             const QString& outputFile, bool fromCD)
{
    return Convert(ripContext(), static_cast<DWORD>(currentDrive), source, format, bitrate, outputFile, fromCD);
}

void frmMain::LoadWMAEncoderRates()
{
    const DWORD* rates = m_audio.BASS_WMA_EncodeGetRates(44100, 0);
    if (!rates) {
        ShowAudioError(m_dialogs, this, QStringLiteral("Error: Can't find a codec"), m_audio.BASS_ErrorGetCode());
        return;
    }
    QComboBox* list = options->cmbWMAEncodingBitrate;
    for (const DWORD* rate = rates; *rate != 0; ++rate)
        list->addItem(WmaRateText(*rate, QLocale()), QVariant::fromValue<uint>(*rate));
    if (list->count() > 0)
        list->setCurrentIndex(0);
}

} // namespace qm
