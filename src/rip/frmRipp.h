#pragma once
// The progress window: opened modally over the main window by the extract
// command; one second after it opens it rips the checked rows in list order,
// then reports how many tracks were ripped and closes.

#include "RipResult.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qm {

class frmMain;

class frmRipp : public QDialog {
    Q_OBJECT
public:
    explicit frmRipp(frmMain& main);
    ~frmRipp() override;

    bool isStopped = false; // the user confirmed cancelling

    QLabel* lblRippingPath = nullptr;
    QLabel* lblRip = nullptr;
    QProgressBar* prgRipper = nullptr;
    QPushButton* cmdStop = nullptr;
    QTimer* tmrRipp = nullptr;

    int ripped() const { return m_ripped; }
    int failed() const { return m_failed; }

    void cmdStop_Click();

protected:
    // Closing the window while the job runs asks, like Stop, and never
    // leaves the job running without its window.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Form_Load();
    void tmrRipp_Timer();
    void RipCheckedTracks();
    RipResult RipRow(int row);

    frmMain& m_main;
    int m_ripped = 0;
    int m_failed = 0;
    bool m_running = false;
    bool m_done = false;
};

} // namespace qm
