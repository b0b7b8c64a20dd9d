#pragma once
// The progress window: opened modally over the main window by the extract
// command; one second after it opens it runs the rip job, then reports how
// many tracks were ripped and closes.

#include "RipJob.h"

#include <QDialog>
#include <QStringList>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qm {

class frmRipp : public QDialog {
    Q_OBJECT
public:
    frmRipp(const RipContext& context, RipPlan plan, int startDelayMs, QWidget* parent);

    QLabel* lblRippingPath = nullptr;
    QLabel* lblRip = nullptr;
    QProgressBar* prgRipper = nullptr;
    QPushButton* cmdStop = nullptr;
    QTimer* tmrRipp = nullptr;

    RipJob& job() { return *m_job; }
    bool isStopped() const { return m_job->stopped(); } // the user confirmed cancelling
    int ripped() const { return m_job->ripped(); }
    int failed() const { return m_job->failed(); }

    void cmdStop_Click();
    // The program is ending: the track in progress ends where it stands, no
    // other starts, and no closing box waits for the user.
    void StopForShutdown();

signals:
    // The job has ended; its closing box is about to be shown.
    void jobEnded();

protected:
    // Closing the window while the job runs asks, like Stop, and never
    // leaves the job running without its window.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Form_Load();
    void tmrRipp_Timer();
    void RipCheckedTracks();

    Dialogs& m_dialogs;
    RipJob* m_job;
    QStringList m_failures; // "Track 02: " and why, for the closing box
    bool m_shuttingDown = false;
    bool m_done = false;
};

} // namespace qm
