#include "frmRipp.h"

#include "platform/ui/Dialogs.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace qm {

frmRipp::frmRipp(const RipContext& context, RipPlan plan, int startDelayMs, QWidget* parent)
    : QDialog(parent), m_dialogs(context.dialogs), m_job(new RipJob(context, std::move(plan), this))
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

    connect(m_job, &RipJob::trackStarted, this, [this](int track) {
        lblRip->setText(QStringLiteral("Ripping Track Number:") + QString::number(track + 1));
        prgRipper->setValue(0);
    });
    connect(m_job, &RipJob::trackFinished, this, [this](int track, RipResult result, const QString& reason) {
        // The progress timer's last look is usually a block or two before the end.
        if (result == RipResult::Ripped)
            prgRipper->setValue(prgRipper->maximum());
        if (result == RipResult::Failed)
            m_failures << QStringLiteral("Track %1: %2").arg(track + 1, 2, 10, QLatin1Char('0')).arg(reason);
    });

    tmrRipp = new QTimer(this);
    tmrRipp->setObjectName(QStringLiteral("tmrRipp"));
    tmrRipp->setInterval(startDelayMs);
    connect(tmrRipp, &QTimer::timeout, this, &frmRipp::tmrRipp_Timer);
    Form_Load();
}

void frmRipp::Form_Load()
{
    const QString folder = m_job->plan().folder;
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

void frmRipp::RipCheckedTracks()
{
    m_job->Run();
    emit jobEnded();
    // Why each track failed, also where no box said it (the encoders' log).
    QString text = m_job->Summary();
    if (!m_failures.isEmpty())
        text += QStringLiteral("\r\n") + m_failures.join(QStringLiteral("\r\n"));
    if (!m_shuttingDown)
        m_dialogs.MessageBox(this, text, QStringLiteral("Ripping Completed"), MsgIcon::Information, MsgButtons::Ok);
    m_done = true;
    accept();
}

void frmRipp::cmdStop_Click()
{
    const MsgAnswer answer =
        m_dialogs.MessageBox(this, QStringLiteral("Are you sure that you want to cancel the ripping process?"),
                             QStringLiteral("Are you sure?"), MsgIcon::Question, MsgButtons::YesNo);
    if (answer == MsgAnswer::Yes)
        m_job->Stop();
}

void frmRipp::StopForShutdown()
{
    m_shuttingDown = true;
    m_job->Stop();
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
