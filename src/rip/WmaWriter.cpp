// The WMA writer: one track of the current drive through the library's WMA
// encoder into TRACKn.WMA, with the tags of the options panel; and the list
// of rates the encoder offers.
#include "WmaWriter.h"

#include "RipNames.h"
#include "app/frmMain.h"
#include "diag/ErrorReport.h"
#include "settings/OptionsPanels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <cmath>
#include <vector>

namespace qm {

namespace {
constexpr DWORD kBlock = 20000;
constexpr int kErrRead = 57; // the drive delivered no data, as the WAV writer numbers it
} // namespace

QString WmaRateText(DWORD bitsPerSecond, const QLocale& locale)
{
    const auto kilobits = static_cast<qlonglong>(std::nearbyint(bitsPerSecond / 1000.0));
    QLocale grouped = locale;
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(kilobits) + QStringLiteral(" Kbps");
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

RipResult frmMain::ExtractAudioTrackToWMA(int track, DWORD bitrate)
{
    const DWORD drive = static_cast<DWORD>(currentDrive);
    const QString path = TrackFileName(options->txtExtractPath->text(), track + 1, QStringLiteral(".WMA"));
    RipResult result = RipResult::Failed;

    m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_LOCK);
    HSTREAM stream = m_audio.BASS_CD_StreamCreate(drive, static_cast<DWORD>(track), BASS_CD_DECODE_FLAGS);
    currentStream = stream;
    if (stream == 0) {
        ShowAudioError(m_dialogs, this, QStringLiteral("Unable to Create CD Stream!"), m_audio.BASS_ErrorGetCode());
    } else {
        SetContentEnabled(false);
        const HWMENCODE encoder =
            m_audio.BASS_WMA_EncodeOpenFile(44100, BASS_WMA_ENCODE_TAGS, bitrate, path.toUtf8().constData());
        if (encoder == 0) {
            ShowAudioError(m_dialogs, this, QStringLiteral("An error occured while opening output file."),
                           m_audio.BASS_ErrorGetCode());
        } else {
            if (options->chkWMAFileTags->isChecked()) {
                for (int i = 0; i < 8 && i < wmaTagNames.size(); ++i) {
                    const QString value = options->txtWMATags[static_cast<std::size_t>(i)]->text();
                    if (!value.isEmpty())
                        m_audio.BASS_WMA_EncodeSetTag(encoder, wmaTagNames[i].toUtf8().constData(),
                                                      value.toUtf8().constData());
                }
            }
            m_audio.BASS_WMA_EncodeSetTag(encoder, "", ""); // ends the tags, also when there were none

            std::vector<char> buffer(kBlock);
            bool failed = false;
            while (m_audio.BASS_ChannelIsActive(stream) != BASS_ACTIVE_STOPPED) {
                const DWORD got = m_audio.BASS_ChannelGetData(stream, buffer.data(), kBlock);
                if (got == BASS_DATA_ERROR || got == 0) {
                    if (got == 0 && m_audio.BASS_ChannelIsActive(stream) == BASS_ACTIVE_STOPPED)
                        break;
                    const int code = m_audio.BASS_ErrorGetCode();
                    ReportError(m_dialogs, this, QStringLiteral("frmDemo"), QStringLiteral("ExtractAudioTrackToWMA"),
                                kErrRead,
                                QStringLiteral("The disc could not be read (%1, code %2)")
                                    .arg(AudioErrorText(code))
                                    .arg(code));
                    failed = true;
                    break;
                }
                if (!m_audio.BASS_WMA_EncodeWrite(encoder, buffer.data(), got)) {
                    ShowAudioError(m_dialogs, this, QStringLiteral("An error occured while encoding WMA data."),
                                   m_audio.BASS_ErrorGetCode());
                    failed = true;
                    break;
                }
                QCoreApplication::processEvents();
                if (ripStop)
                    break;
            }
            // The file is completed with what it holds, also after a failure.
            m_audio.BASS_WMA_EncodeClose(encoder);
            if (!failed)
                result = ripStop ? RipResult::Cancelled : RipResult::Ripped;
            ripStop = false;
        }
    }

    // Clean-up, on every path.
    m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_UNLOCK);
    if (stream != 0) {
        m_audio.BASS_ChannelStop(stream);
        m_audio.BASS_StreamFree(stream);
    }
    SetContentEnabled(true);
    return result;
}

} // namespace qm
