#include "frmRipp.h"

#include "RipNames.h"
#include "app/frmMain.h"
#include "platform/ui/Dialogs.h"
#include "settings/OptionsPanels.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qm {

frmRipp::frmRipp(frmMain& main) : QDialog(&main), m_main(main)
{
    setObjectName(QStringLiteral("frmRipp"));
    setWindowTitle(QStringLiteral("Ripping In Progress..."));
    setModal(true);
    setMinimumWidth(420);

    lblRippingPath = new QLabel(this);
    lblRippingPath->setObjectName(QStringLiteral("lblRippingPath"));
    lblRippingPath->setWordWrap(true);
    lblRip = new QLabel(QStringLiteral("Ripping Track Number:"), this);
    lblRip->setObjectName(QStringLiteral("lblRip"));
    prgRipper = new QProgressBar(this);
    prgRipper->setObjectName(QStringLiteral("prgRipper"));
    prgRipper->setRange(0, 100);
    prgRipper->setValue(0);
    cmdStop = new QPushButton(QStringLiteral("&Stop"), this);
    cmdStop->setObjectName(QStringLiteral("cmdStop"));
    connect(cmdStop, &QPushButton::clicked, this, &frmRipp::cmdStop_Click);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(8);
    layout->addWidget(lblRippingPath);
    layout->addWidget(lblRip);
    layout->addWidget(prgRipper);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(cmdStop);
    layout->addLayout(row);

    tmrRipp = new QTimer(this);
    tmrRipp->setObjectName(QStringLiteral("tmrRipp"));
    tmrRipp->setInterval(main.ripStartDelayMs);
    connect(tmrRipp, &QTimer::timeout, this, &frmRipp::tmrRipp_Timer);

    main.skin().SkinWindow(this, 3);
    Form_Load();
}

frmRipp::~frmRipp()
{
    m_main.rippingActive = false;
    if (m_main.ripProgress == prgRipper)
        m_main.ripProgress = nullptr;
}

void frmRipp::Form_Load()
{
    m_main.rippingActive = true;
    m_main.ripProgress = prgRipper;
    const QString folder = m_main.options->txtExtractPath->text();
    lblRippingPath->setText(QStringLiteral("Ripping Path:") + folder);
    // Every missing level is made: the default folder sits in ~/Music, which
    // a new account may not have. A writer that cannot open its file says so.
    if (!folder.isEmpty())
        QDir().mkpath(folder);
    tmrRipp->start();
}

void frmRipp::tmrRipp_Timer()
{
    tmrRipp->stop();
    RipCheckedTracks();
}

RipResult frmRipp::RipRow(int row)
{
    OptionsPanels& o = *m_main.options;
    const QString folder = o.txtExtractPath->text();
    const QString track = QString::number(row - 1);
    switch (o.SelectedFormat()) {
    case FormatPortable:
        return m_main.Converter(track, QStringLiteral("MP3C"), QStringLiteral("128"),
                                TrackFileName(folder, row, QStringLiteral(".mp3")), true);
    case FormatWav:
        return m_main.ExtractAudioTrackToWav(row - 1);
    case FormatWma: {
        const QVariant rate = o.cmbWMAEncodingBitrate->currentData();
        if (o.cmbWMAEncodingBitrate->currentIndex() < 0 || !rate.isValid()) {
            m_main.dialogs().MessageBox(this,
                                        QStringLiteral("Track %1 was not ripped: no WMA bitrate is selected "
                                                       "(no WMA encoder offered one).")
                                            .arg(row),
                                        QStringLiteral("Quillmere"), MsgIcon::Warning, MsgButtons::Ok);
            return RipResult::Failed;
        }
        return m_main.ExtractAudioTrackToWMA(row - 1, rate.toUInt());
    }
    case FormatMp3:
        if (o.optMP3CBR->isChecked())
            return m_main.Converter(track, QStringLiteral("MP3C"), LeadingBitrate(o.cmbMP3CBitrate->currentText()),
                                    TrackFileName(folder, row, QStringLiteral(".mp3")), true);
        return m_main.Converter(track, QStringLiteral("MP3V"), LeadingBitrate(o.cmbMP3VBitrate->currentText()),
                                TrackFileName(folder, row, QStringLiteral(".mp3")), true);
    case FormatOgg:
        if (o.optOGGCBR->isChecked())
            return m_main.Converter(track, QStringLiteral("OGGC"), LeadingBitrate(o.cmbOGGCBitrate->currentText()),
                                    TrackFileName(folder, row, QStringLiteral(".ogg")), true);
        return m_main.Converter(track, QStringLiteral("OGGV"), LeadingBitrate(o.cmbOGGVBitrate->currentText()),
                                TrackFileName(folder, row, QStringLiteral(".ogg")), true);
    default:
        return RipResult::Failed; // no format chosen: nothing written
    }
}

void frmRipp::RipCheckedTracks()
{
    m_running = true;
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    const int rows = m_main.lsTracks->topLevelItemCount();
    for (int row = 1; row <= rows; ++row) {
        if (isStopped)
            break;
        QTreeWidgetItem* item = m_main.lsTracks->topLevelItem(row - 1);
        if (!item || item->checkState(0) != Qt::Checked)
            continue;
        lblRip->setText(QStringLiteral("Ripping Track Number:") + QString::number(row));
        prgRipper->setValue(0);
        switch (RipRow(row)) {
        case RipResult::Ripped:
            ++m_ripped;
            // The timer's last look is usually a block or two before the end.
            prgRipper->setValue(prgRipper->maximum());
            break;
        case RipResult::Failed: ++m_failed; break;
        case RipResult::Cancelled: break; // stopped part-way: not counted
        }
    }
    m_running = false;

    const QString folder = m_main.options->txtExtractPath->text();
    QString text = QString::number(m_ripped) + QStringLiteral(" Tracks have been Ripped to ") + folder;
    if (m_failed > 0)
        text += QStringLiteral("\r\n%1 Tracks could not be Ripped.").arg(m_failed);
    m_main.dialogs().MessageBox(this, text, QStringLiteral("Ripping Completed"), MsgIcon::Information,
                                MsgButtons::Ok);
    m_main.rippingActive = false;
    m_done = true;
    accept();
}

void frmRipp::cmdStop_Click()
{
    const MsgAnswer answer =
        m_main.dialogs().MessageBox(this, QStringLiteral("Are you sure that you want to cancel the ripping process?"),
                                    QStringLiteral("Are you sure?"), MsgIcon::Question, MsgButtons::YesNo);
    if (answer == MsgAnswer::Yes) {
        isStopped = true;
        m_main.StopRipping();
    }
}

void frmRipp::closeEvent(QCloseEvent* event)
{
    if (m_done) {
        event->accept();
        return;
    }
    event->ignore();
    cmdStop_Click();
}

void frmRipp::reject()
{
    if (m_done)
        QDialog::reject();
    else
        cmdStop_Click(); // Escape asks, like Stop
}

} // namespace qm
