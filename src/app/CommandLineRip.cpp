// "quillmere rip": the options applied to the window's controls, the rows
// checked, and the window's own extract command run with its progress window.
#include "CommandLineMode.h"
#include "RipProgress.h"
#include "frmMain.h"
#include "platform/audio/CdAudioEngine.h"
#include "platform/ui/ConsoleDialogs.h"
#include "rip/RipNames.h"
#include "rip/frmRipp.h"
#include "settings/OptionsPanels.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTreeWidget>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace qm::cli {

namespace {

const QString kCompletedTitle = QStringLiteral("Ripping Completed"); // the rip job's last box

// Ctrl-C (and a polite kill) reach the window's thread through a pipe; the
// handler itself only writes one byte.
int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signalled = 0;

void OnSignal(int)
{
    g_signalled = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

bool InstallSignalPipe()
{
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}

// The list entries of a bitrate list, as numbers of kbps.
QStringList Rates(QComboBox* list, bool wma)
{
    QStringList rates;
    for (int i = 0; i < list->count(); ++i)
        rates << (wma ? QString::number(list->itemData(i).toUInt() / 1000) : LeadingBitrate(list->itemText(i)));
    return rates;
}

} // namespace

int CommandLineMode::ApplyOptions(int rows)
{
    frmMain& w = *m_window;
    OptionsPanels& o = *w.options;

    for (int n : m_args.tracks.numbers) {
        if (n > rows) {
            m_lines.Message(QStringLiteral("track %1 is not on the disc: it has %2 track%3 (1-%2)")
                                .arg(n)
                                .arg(rows)
                                .arg(rows == 1 ? QString() : QStringLiteral("s")));
            return ExitUsage;
        }
    }
    if (m_args.format)
        o.SelectFormat(*m_args.format);
    const int format = o.SelectedFormat();
    if (format < 0) {
        m_lines.Message(QStringLiteral("no output format is chosen; give one with --format"));
        return ExitUsage;
    }
    const bool hasModes = format == FormatMp3 || format == FormatOgg;
    if (m_args.vbr) {
        if (!hasModes) {
            m_lines.Message(QStringLiteral("--%1 applies to mp3 and ogg, not to %2")
                                .arg(*m_args.vbr ? QStringLiteral("vbr") : QStringLiteral("cbr"), FormatName(format)));
            return ExitUsage;
        }
        QRadioButton* mode = format == FormatMp3 ? (*m_args.vbr ? o.optMP3VBR : o.optMP3CBR)
                                                 : (*m_args.vbr ? o.optOGGVBR : o.optOGGCBR);
        mode->setChecked(true);
        if (format == FormatMp3)
            *m_args.vbr ? o.optMP3VBR_Click() : o.optMP3CBR_Click();
        else
            *m_args.vbr ? o.optOGGVBR_Click() : o.optOGGCBR_Click();
    }
    if (m_args.bitrate) {
        QComboBox* list = nullptr;
        QString what = FormatName(format);
        switch (format) {
        case FormatWma: list = o.cmbWMAEncodingBitrate; break;
        case FormatMp3:
            list = o.optMP3CBR->isChecked() ? o.cmbMP3CBitrate : o.cmbMP3VBitrate;
            what += o.optMP3CBR->isChecked() ? QStringLiteral(" (constant)") : QStringLiteral(" (variable)");
            break;
        case FormatOgg:
            list = o.optOGGCBR->isChecked() ? o.cmbOGGCBitrate : o.cmbOGGVBitrate;
            what += o.optOGGCBR->isChecked() ? QStringLiteral(" (constant)") : QStringLiteral(" (variable)");
            break;
        default:
            m_lines.Message(QStringLiteral("--bitrate applies to wma, mp3 and ogg, not to %1%2")
                                .arg(FormatName(format),
                                     format == FormatPortable ? QStringLiteral(" (always 128 kbps MP3)") : QString()));
            return ExitUsage;
        }
        const QStringList rates = Rates(list, format == FormatWma);
        const qsizetype entry = rates.indexOf(QString::number(*m_args.bitrate));
        if (entry < 0) {
            m_lines.Message(QStringLiteral("--bitrate %1: %2 offers %3 kbps")
                                .arg(*m_args.bitrate)
                                .arg(what, rates.isEmpty() ? QStringLiteral("no") : rates.join(QStringLiteral(", "))));
            return ExitUsage;
        }
        list->setCurrentIndex(static_cast<int>(entry));
    }
    if (m_args.out)
        o.txtExtractPath->setText(*m_args.out);
    return ExitOk;
}

int CommandLineMode::PrepareFolder(bool fromArguments)
{
    const int status = fromArguments ? ExitUsage : ExitFailed;
    const QString folder = m_window->options->txtExtractPath->text();
    if (folder.isEmpty()) {
        m_lines.Message(QStringLiteral("no output folder is set; give one with --out"));
        return status;
    }
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        m_lines.Message(QStringLiteral("output folder %1 is a file").arg(folder));
        return status;
    }
    if (!info.exists()) {
        // Every missing level is made, and taken away again if the rip
        // leaves it empty.
        QStringList missing;
        for (QString level = QDir::cleanPath(info.absoluteFilePath()); !QFileInfo::exists(level);
             level = QFileInfo(level).path()) {
            missing.prepend(level);
            if (QFileInfo(level).path() == level)
                break;
        }
        for (const QString& level : missing) {
            if (!QDir().mkdir(level)) {
                m_lines.Message(QStringLiteral("output folder %1 cannot be created (at %2)").arg(folder, level));
                RemoveCreatedFolders();
                return status;
            }
            m_createdFolders << level;
        }
    }
    if (!OptionsPanels::FolderIsWritable(QDir(folder).absolutePath() + QLatin1Char('/'))) {
        m_lines.Message(QStringLiteral("output folder %1 is not writable").arg(folder));
        RemoveCreatedFolders();
        return status;
    }
    return ExitOk;
}

void CommandLineMode::RemoveCreatedFolders()
{
    // rmdir only takes empty folders: whatever the rip wrote stays.
    while (!m_createdFolders.isEmpty()) {
        if (!QDir().rmdir(m_createdFolders.takeLast()))
            break;
    }
}

void CommandLineMode::Interrupted()
{
    auto* job = m_window->findChild<frmRipp*>(QString(), Qt::FindDirectChildrenOnly);
    if (m_interrupted || !job)
        return;
    m_interrupted = true;
    m_lines.Message(QStringLiteral("interrupted: the track in progress is closed where it stands; no other track "
                                   "is ripped"));
    job->cmdStop_Click(); // the console answers its question with Yes
}

int CommandLineMode::Rip()
{
    frmMain& w = *m_window;
    InstallSignalPipe();
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &w, [this] {
        char drain[64];
        while (::read(g_signalPipe[0], drain, sizeof drain) > 0) {
        }
        Interrupted();
    });

    const int rows = w.lsTracks->topLevelItemCount();
    if (rows == 0) {
        m_lines.Message(QStringLiteral("nothing to rip: %1 holds no readable audio disc").arg(w.cmbCDDrives->currentText()));
        return ExitFailed;
    }
    if (const int status = ApplyOptions(rows); status != ExitOk)
        return status;
    if (g_signalled) {
        m_lines.Message(QStringLiteral("interrupted; nothing was ripped"));
        return ExitFailed;
    }
    if (const int status = PrepareFolder(m_args.out.has_value()); status != ExitOk)
        return status;
    if (m_args.save)
        w.SaveSettings();

    int checked = 0;
    for (int r = 1; r <= rows; ++r) {
        const bool rip = m_args.tracks.all || m_args.tracks.numbers.contains(r);
        w.lsTracks->topLevelItem(r - 1)->setCheckState(0, rip ? Qt::Checked : Qt::Unchecked);
        checked += rip ? 1 : 0;
    }

    RipProgress progress(w, m_lines);
    m_dialogs->resultTitles << kCompletedTitle;
    bool done = false;
    int ripped = 0, failed = 0;
    m_dialogs->onBox = [&](QWidget* owner, const QString&, const QString& title) {
        auto* job = qobject_cast<frmRipp*>(owner);
        if (job && title == kCompletedTitle) {
            progress.Finish();
            done = true;
            ripped = job->ripped();
            failed = job->failed();
        }
    };
    w.ripStartDelayMs = 0;
    if (!g_signalled)
        w.DispatchCommand(QStringLiteral("IDC_FS_ExtractBtn"), QString());
    m_dialogs->onBox = nullptr;
    if (ripped == 0)
        RemoveCreatedFolders();
    const bool complete = done && !m_interrupted && !g_signalled && failed == 0 && ripped == checked;
    return complete ? ExitOk : ExitFailed;
}

} // namespace qm::cli
