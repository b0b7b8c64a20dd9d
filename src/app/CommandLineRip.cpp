// "quillmere rip": a plan from the stored settings and the options given, run
// by the window's own rip job with progress lines instead of its window.
#include "CommandLineMode.h"
#include "WindowSession.h"
#include "rip/FileNames.h"
#include "RipProgress.h"
#include "frmMain.h"
#include "cd/DrivePanel.h"
#include "cd/TrackList.h"
#include "rip/RipController.h"
#include "settings/SettingsPanel.h"
#include "platform/ui/ConsoleLines.h"
#include "rip/RipJob.h"
#include "settings/OptionsPanels.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QCheckBox>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTreeWidget>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::cli {

namespace {

// Ctrl-C, a polite kill and the terminal closing reach the window's thread
// through a pipe; the handler itself only writes one byte.
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
    CatchEndingSignals(OnSignal);
    return true;
}

// An encoder that takes no input for this long is stopped; tests shorten it.
int EncoderWatchdogMs()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("QUILLMERE_ENCODER_WATCHDOG", &ok);
    return ok && seconds > 0 ? seconds * 1000 : RipPlan().encoderWatchdogMs;
}

// Ascending numbers as "2-5, 7".
QString NumberRanges(const QList<int>& numbers)
{
    QStringList parts;
    for (qsizetype i = 0; i < numbers.size();) {
        qsizetype j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        parts << (j == i ? QString::number(numbers[i]) : QStringLiteral("%1-%2").arg(numbers[i]).arg(numbers[j]));
        i = j + 1;
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

// The stored settings, overridden by the options given.
int CommandLineMode::PlanRip(int rows, RipPlan& plan)
{
    frmMain& w = *m_window;
    OptionsPanels& o = *w.settings().options;

    // Track numbers are the disc's: a disc that starts with a data track lists
    // its audio from track 2.
    QList<int> listed;
    for (int r = 0; r < rows; ++r)
        listed << w.TrackOfRow(r) + 1;
    for (int n : m_args.tracks.numbers) {
        if (listed.contains(n))
            continue;
        if (listed.last() == rows)
            m_lines.Message(QStringLiteral("track %1 is not on the disc: it has %2 track%3 (1-%2)")
                                .arg(n)
                                .arg(rows)
                                .arg(rows == 1 ? QString() : QStringLiteral("s")));
        else
            m_lines.Message(QStringLiteral("track %1 is not an audio track of the disc: its audio tracks are %2")
                                .arg(n)
                                .arg(NumberRanges(listed)));
        return ExitUsage;
    }
    const int format = m_args.format.value_or(o.SelectedFormat());
    if (format < 0) {
        m_lines.Message(QStringLiteral("no output format is chosen; give one with --format"));
        return ExitUsage;
    }
    const bool hasModes = format == FormatMp3 || format == FormatOgg;
    if (m_args.vbr && !hasModes) {
        m_lines.Message(QStringLiteral("--%1 applies to mp3 and ogg, not to %2")
                            .arg(*m_args.vbr ? QStringLiteral("vbr") : QStringLiteral("cbr"), FormatName(format)));
        return ExitUsage;
    }
    if (m_args.level && format != FormatFlac) {
        m_lines.Message(QStringLiteral("--level applies to flac, not to %1").arg(FormatName(format)));
        return ExitUsage;
    }
    const bool constant = m_args.vbr ? !*m_args.vbr : o.ConstantMode(format);
    QString kbps = o.SelectedRate(format, constant);
    if (m_args.bitrate) {
        QString what = FormatName(format);
        if (hasModes)
            what += constant ? QStringLiteral(" (constant)") : QStringLiteral(" (variable)");
        if (format != FormatWma && format != FormatOpus && !hasModes) {
            m_lines.Message(QStringLiteral("--bitrate applies to wma, mp3, ogg and opus, not to %1%2")
                                .arg(FormatName(format),
                                     format == FormatPortable ? QStringLiteral(" (always 128 kbps MP3)") : QString()));
            return ExitUsage;
        }
        const QStringList rates = o.OfferedRates(format, constant);
        kbps = QString::number(*m_args.bitrate);
        if (!rates.contains(kbps)) {
            m_lines.Message(QStringLiteral("--bitrate %1: %2 offers %3 kbps")
                                .arg(*m_args.bitrate)
                                .arg(what, rates.isEmpty() ? QStringLiteral("no") : rates.join(QStringLiteral(", "))));
            return ExitUsage;
        }
    }
    const QString names = m_args.nameTemplate.value_or(o.cmbFileNames->currentText());
    if (const QString why = NameTemplateProblem(names); !why.isEmpty()) {
        m_lines.Message(QStringLiteral("%1 \"%2\" cannot name the files: %3")
                            .arg(m_args.nameTemplate ? QStringLiteral("--name") : QStringLiteral("the stored file names"),
                                 names, why));
        return m_args.nameTemplate ? ExitUsage : ExitFailed;
    }
    plan = o.PlanFor(format, constant, kbps, m_args.out.value_or(w.OutputFolder()), w.rip().wmaTagNames);
    plan.nameTemplate = names;
    if (m_args.level)
        plan.flacLevel = *m_args.level;
    plan.playlist = plan.playlist || m_args.playlist;
    plan.verify = plan.verify && m_args.verify;
    plan.testAndCopy = plan.testAndCopy || m_args.testAndCopy;
    plan.drive = w.state().currentDrive;
    plan.imageDrive = w.drives().CurrentIsImage();
    plan.readOffset = w.drives().ReadOffset();
    for (int n : listed) {
        if (m_args.tracks.all || m_args.tracks.numbers.contains(n))
            plan.tracks.push_back(n - 1);
    }
    plan.encoderWatchdogMs = EncoderWatchdogMs();
    // Kept as the settings only when asked to (saved once the folder is
    // ready): the panels are what is saved.
    if (m_args.save) {
        o.Choose(format, constant, kbps, plan.folder);
        o.cmbFLACLevel->setCurrentIndex(plan.flacLevel);
        o.cmbFileNames->setCurrentText(names);
        o.chkPlaylist->setChecked(plan.playlist);
        o.chkTestAndCopy->setChecked(plan.testAndCopy);
    }
    return ExitOk;
}

int CommandLineMode::PrepareFolder(const QString& folder, bool fromArguments)
{
    const int status = fromArguments ? ExitUsage : ExitFailed;
    if (folder.isEmpty()) {
        m_lines.Message(QStringLiteral("no output folder is set%1; give one with --out").arg(OptionsPanels::NoFolderReason()));
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
            if (::mkdir(QFile::encodeName(level).constData(), 0777) != 0) {
                m_lines.Message(QStringLiteral("output folder %1 cannot be created (at %2: %3)")
                                    .arg(folder, level, QString::fromLocal8Bit(std::strerror(errno))));
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
    m_stopWaiting = true;
    if (m_lookupWait)
        m_lookupWait->quit(); // the rip does not start; g_signalled says so
    if (m_interrupted || !m_job)
        return;
    m_interrupted = true;
    m_lines.Message(m_job->verifying()
                        ? QStringLiteral("interrupted: the ripped tracks are kept, not checked with AccurateRip")
                        : QStringLiteral("interrupted: the track in progress is closed where it stands; no other "
                                         "track is ripped"));
    m_job->Stop();
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

    const int rows = w.tracks().lsTracks->topLevelItemCount();
    if (rows == 0) {
        m_lines.Message(QStringLiteral("nothing to rip: %1 holds no readable audio disc").arg(w.drives().cmbCDDrives->currentText()));
        return ExitFailed;
    }
    RipPlan plan;
    if (const int status = PlanRip(rows, plan); status != ExitOk)
        return status;
    if (g_signalled) {
        m_lines.Message(QStringLiteral("interrupted; nothing was ripped"));
        return ExitFailed;
    }
    if (const int status = PrepareFolder(plan.folder, m_args.out.has_value()); status != ExitOk)
        return status;
    // The user asked for both: a save that fails stops the run before any rip.
    if (QString why; m_args.save && !w.SaveSettings(&why)) {
        m_lines.Message(QStringLiteral("settings could not be saved: %1; nothing was ripped").arg(why));
        RemoveCreatedFolders();
        return ExitFailed;
    }
    AwaitLookup();
    if (g_signalled) {
        m_lines.Message(QStringLiteral("interrupted; nothing was ripped"));
        RemoveCreatedFolders();
        return ExitFailed;
    }
    plan.disc = w.DiscForRip(); // the titles as the lookup left them
    if (plan.verify)
        w.tracks().AskAccurateRip(); // when the window's option was off as the disc loaded

    // As the window's extract command: playback stopped, the stop flag clear.
    w.audio().BASS_ChannelStop(w.state().currentStream);
    w.state().ripStop = false;
    RipJob job(w.ripContext(false), plan);
    RipProgress progress(job, w.audio(), w.state().currentStream, m_lines);
    m_job = &job;
    if (!g_signalled)
        job.Run();
    m_job = nullptr;
    if (job.verified()) {
        for (const QString& line : RipTrackResults(job.record()))
            m_lines.Result(line);
    }
    m_lines.Result(job.Summary());
    if (job.ripped() == 0)
        RemoveCreatedFolders();
    const bool complete = !m_interrupted && !g_signalled && job.failed() == 0
                          && job.ripped() == static_cast<int>(plan.tracks.size());
    return complete ? ExitOk : ExitFailed;
}

} // namespace qm::cli
