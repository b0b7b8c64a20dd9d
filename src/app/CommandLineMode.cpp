#include "CommandLineMode.h"
#include "WindowSession.h"

#include "ResourceFolder.h"
#include "frmMain.h"
#include "cd/DiscText.h"
#include "cd/DiscTitles.h"
#include "cd/DrivePanel.h"
#include "cd/TrackList.h"
#include "meta/LookupConfig.h"
#include "platform/audio/CdAudioEngine.h"
#include "platform/audio/CueSheet.h"
#include "platform/frontend/SceneHost.h"
#include "platform/ui/ConsoleDialogs.h"
#include "quillmere_version.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>

namespace qm::cli {

namespace {

// Qt's own chatter (offscreen platform notes) is no message of ours.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "quillmere: %s\n", qPrintable(ConsoleLines::OneLine(text)));
}

QString BoxWord(QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Checked: return QStringLiteral("yes");
    case Qt::Unchecked: return QStringLiteral("no");
    default: return QStringLiteral("n/a");
    }
}

// The panel shows " Kbps" for a figure the drive does not report.
QString Figure(QLabel* label)
{
    const QString text = label->text().trimmed();
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }) ? text
                                                                                      : QStringLiteral("not reported");
}

} // namespace

QStringList DiscImages(const QStringList& given)
{
    QStringList images;
    for (const QString& path : given)
        images << QFileInfo(path).absoluteFilePath();
    // The engine checks each entry as it checks --image and says what it leaves out.
    for (const QByteArray& raw : qgetenv("QUILLMERE_IMAGES").split(':')) {
        if (raw.isEmpty())
            continue;
        const QString path = QFile::decodeName(raw);
        if (QFile::encodeName(path) != raw)
            std::fprintf(stderr, "quillmere: QUILLMERE_IMAGES: %s is not valid UTF-8; it is left out\n",
                         qPrintable(path));
        else
            images << QFileInfo(path).absoluteFilePath();
    }
    return images;
}

int RunTerminal(int& argc, char** argv, const ParseResult& parsed, EngineConfig config)
{
    ConsoleLines lines = ConsoleLines::Standard();
    if (!parsed.error.isEmpty()) {
        lines.Message(parsed.error);
        std::fputs(qPrintable(UsageText()), stderr);
        return ExitUsage;
    }
    const Arguments& args = parsed.args;
    if (args.command == Command::Help) {
        std::fputs(qPrintable(UsageText()), stdout);
        return lines.ResultsWritten() ? ExitOk : ExitFailed;
    }
    if (args.command == Command::Version) {
        std::printf("quillmere %s\n", QUILLMERE_VERSION_TEXT);
        return lines.ResultsWritten() ? ExitOk : ExitFailed;
    }
    // Checks that need no start-up, so that a wrong name costs nothing.
    for (const QString& image : args.images) {
        const QString problem = audio::CheckCueSheet(image).problem;
        if (!problem.isEmpty()) {
            lines.Message(QStringLiteral("%1: %2").arg(image, problem));
            return ExitUsage;
        }
    }

    // No window: the same start-up, offscreen. Nothing here plays sound, so
    // a missing sound server is no reason for a message.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (config.output.kind.empty())
        config.output.kind = "null";
    qInstallMessageHandler(QuietQtMessages);
    SceneHost::SelectSoftwareRendering();
    QApplication app(argc, argv);
    SetApplicationIdentity();
    CommandLineMode mode(args, lines, std::move(config));
    const int status = mode.Run();
    // Results that never reached their file are no success.
    return lines.ResultsWritten() || status != ExitOk ? status : ExitFailed;
}

CommandLineMode::CommandLineMode(Arguments args, ConsoleLines& lines, EngineConfig config)
    : m_args(std::move(args)), m_lines(lines), m_config(std::move(config))
{
    // Relative paths mean the caller's folder; start-up changes it.
    if (m_args.out)
        m_args.out = QDir::cleanPath(QFileInfo(*m_args.out).absoluteFilePath());
}

CommandLineMode::~CommandLineMode()
{
    if (m_window)
        m_window->Form_Unload(); // doors unlocked, the library freed
    m_window.reset();
}

int CommandLineMode::Run()
{
    const QString resources = ResourceFolder(QApplication::applicationDirPath());
    m_config.encoderFolder = resources;
    m_engine = std::make_unique<CdAudioEngine>(DiscImages(m_args.images),
                                               QDir(resources).filePath(QStringLiteral("demo/Demo.cue")),
                                               CdAudioEngine::DriveScan::PhysicalAndImages, m_config);
    m_dialogs = std::make_unique<ConsoleDialogs>(m_lines);
    meta::LookupConfig lookup = meta::LookupConfig::FromEnvironment();
    lookup.network = m_args.lookUp;
    lookup.accurateRip = m_args.verify && m_args.command == Command::Rip; // only a rip has sums to match
    m_window = std::make_unique<frmMain>(*m_engine, *m_dialogs, std::make_unique<SceneHost>(), resources, lookup);
    // A lookup's problems are one line each, never a box.
    QObject::connect(&m_window->tracks().titles(), &DiscTitles::problem, m_window.get(),
                     [this](const QString& text) { m_lines.Message(text); });
    switch (m_window->Form_Load()) {
    case frmMain::LoadResult::AnotherInstance:
        m_lines.Message(QStringLiteral("another Quillmere is running; close it (or let its rip finish) and try again"));
        return ExitAnotherInstance;
    case frmMain::LoadResult::OutputFailure:
        return ExitFailed; // the box has said why
    case frmMain::LoadResult::Running: break;
    }
    if (const int status = ChooseDrive(); status != ExitOk)
        return status;
    m_lookupTimeoutMs = lookup.timeoutMs;
    switch (m_args.command) {
    case Command::Drives: return ListDrives();
    case Command::Tracks: return ListTracks();
    case Command::Rip: return Rip();
    default: return ExitUsage;
    }
}

int CommandLineMode::ChooseDrive()
{
    frmMain& w = *m_window;
    const int count = w.drives().cmbCDDrives->count();
    int entry = -1;
    if (!m_args.images.isEmpty()) {
        // Drives come first, then the images in order: the one given is the
        // first image of its file name.
        const QString name = QFileInfo(m_args.images.first()).fileName();
        for (int i = 0; i < count && entry < 0; ++i) {
            const DWORD drive = static_cast<DWORD>(w.drives().cmbCDDrives->itemData(i).toInt());
            if (QString::fromUtf8(m_engine->QM_CD_GetDriveName(drive)) == name)
                entry = i;
        }
        if (entry < 0) {
            m_lines.Message(QStringLiteral("%1 could not be opened as a disc image").arg(m_args.images.first()));
            return ExitUsage;
        }
    } else if (m_args.drive) {
        bool number = false;
        const int index = m_args.drive->toInt(&number);
        for (int i = 0; i < count && entry < 0; ++i) {
            const DWORD drive = static_cast<DWORD>(w.drives().cmbCDDrives->itemData(i).toInt());
            if (number ? i == index : QString::fromUtf8(m_engine->QM_CD_GetDriveName(drive)) == *m_args.drive)
                entry = i;
        }
        if (entry < 0) {
            const QString known = count == 0 ? QStringLiteral("there is no drive")
                                             : QStringLiteral("the drives are 0 to %1 (quillmere drives lists them)")
                                                   .arg(count - 1);
            m_lines.Message(QStringLiteral("--drive %1: no such drive; %2").arg(*m_args.drive, known));
            return ExitUsage;
        }
    }
    if (entry >= 0) {
        if (w.drives().cmbCDDrives->currentIndex() == entry)
            w.cmbCDDrives_Click(); // read again, as a user's choice of the same entry does
        else
            w.drives().cmbCDDrives->setCurrentIndex(entry);
    }
    if (!m_args.images.isEmpty() && !m_engine->BASS_CD_IsReady(static_cast<DWORD>(w.state().currentDrive))) {
        m_lines.Message(QStringLiteral("%1 could not be read as a cue/bin disc image").arg(m_args.images.first()));
        return ExitUsage;
    }
    return ExitOk;
}

int CommandLineMode::ListDrives()
{
    frmMain& w = *m_window;
    const int count = w.drives().cmbCDDrives->count();
    if (count == 0) {
        m_lines.Message(QStringLiteral("no CD drive and no disc image found"));
        return ExitFailed;
    }
    QString out;
    for (int i = 0; i < count; ++i) {
        // Choosing each entry fills the panel as it would for the user; one
        // timer tick adds the door's state.
        w.drives().cmbCDDrives->setCurrentIndex(i);
        w.tmrPlaybackPosition_Timer();
        out += QStringLiteral("Drive %1: %2\n").arg(i).arg(w.drives().cmbCDDrives->itemText(i));
        for (QCheckBox* box : w.drives().chkRWFlags)
            out += QStringLiteral("  %1: %2\n").arg(box->text(), BoxWord(box));
        out += QStringLiteral("  Maximum read speed: %1\n").arg(Figure(w.drives().lblMaxReadSpeed));
        out += QStringLiteral("  Drive's cache size: %1\n").arg(Figure(w.drives().lblCacheSize));
    }
    out.chop(1);
    m_lines.Result(out);
    return ExitOk;
}

void CommandLineMode::AwaitLookup()
{
    DiscTitles& titles = m_window->tracks().titles();
    // The lookup, then the cover it asks for. Each request's own timeout
    // ends it first; the timer only bounds a wait the rate limit made longer.
    QElapsedTimer waited;
    waited.start();
    const qint64 limit = 2 * m_lookupTimeoutMs + 2000;
    while ((titles.LookupPending() || titles.CoverPending()) && waited.elapsed() < limit) {
        QEventLoop loop;
        QObject::connect(&titles, &DiscTitles::lookupFinished, &loop, &QEventLoop::quit);
        QObject::connect(&titles, &DiscTitles::coverFinished, &loop, &QEventLoop::quit);
        QTimer::singleShot(int(std::max<qint64>(0, limit - waited.elapsed())), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        m_lookupWait = &loop;
        loop.exec();
        m_lookupWait = nullptr;
        if (m_stopWaiting)
            break;
    }
    if (titles.LookupPending() && !m_stopWaiting)
        m_lines.Message(QStringLiteral("MusicBrainz did not answer in time; the disc's own texts are used"));
    // The first release is used; the others are named so the user can tell.
    const QList<meta::Release>& releases = titles.Releases();
    for (int i = 0; i < releases.size(); ++i) {
        if (i != titles.Chosen())
            m_lines.Message(QStringLiteral("this disc also matches %1 (MusicBrainz release %2)")
                                .arg(meta::ChoiceText(releases[i]), releases[i].id));
    }
}

int CommandLineMode::ListTracks()
{
    frmMain& w = *m_window;
    const TrackList& list = w.tracks();
    const int rows = list.lsTracks->topLevelItemCount();
    if (rows == 0) {
        m_lines.Message(QStringLiteral("no tracks: %1 holds no readable audio disc")
                            .arg(w.drives().cmbCDDrives->currentText().isEmpty() ? QStringLiteral("no drive")
                                                                        : w.drives().cmbCDDrives->currentText()));
        return ExitFailed;
    }
    AwaitLookup();
    const DiscTitles& titles = list.titles();
    if (m_args.json) {
        QJsonArray tracks;
        for (int i = 0; i < rows; ++i) {
            const int track = list.TrackOfRow(i);
            const std::int32_t bytes = m_engine->BASS_CD_GetTrackLength(static_cast<DWORD>(w.state().currentDrive),
                                                                        static_cast<DWORD>(track));
            tracks.append(QJsonObject{{"number", track + 1},
                                      {"type", list.lsTracks->topLevelItem(i)->text(TrackList::ColumnType)},
                                      {"seconds", TrackSeconds(bytes)},
                                      {"title", titles.Title(track + 1)}});
        }
        const meta::Release* release = titles.Chosen() >= 0 ? &titles.Releases()[titles.Chosen()] : nullptr;
        const QJsonObject disc{{"artist", titles.Artist()},
                               {"album", titles.Album()},
                               {"year", titles.Year()},
                               {"genre", titles.Genre()},
                               {"musicBrainzDiscId", titles.Ids().musicBrainz},
                               {"freedbId", titles.Ids().freedb},
                               {"musicBrainzReleaseId", release ? release->id : QString()},
                               {"tracks", tracks}};
        m_lines.Result(QString::fromUtf8(QJsonDocument(disc).toJson(QJsonDocument::Indented)).trimmed());
        return ExitOk;
    }
    QString out = QStringLiteral("Artist: %1\nAlbum: %2").arg(list.txtCDArtist->text(), list.txtCDAlbum->text());
    if (!titles.Ids().musicBrainz.isEmpty())
        out += QStringLiteral("\nMusicBrainz disc ID: ") + titles.Ids().musicBrainz;
    if (!titles.Ids().freedb.isEmpty())
        out += QStringLiteral("\nfreedb ID: ") + titles.Ids().freedb;
    for (int i = 0; i < rows; ++i) {
        const QTreeWidgetItem* item = list.lsTracks->topLevelItem(i);
        out += QStringLiteral("\n%1  %2  %3").arg(item->text(TrackList::ColumnTrack), item->text(TrackList::ColumnType),
                                                 item->text(TrackList::ColumnDuration));
        if (const QString title = item->text(TrackList::ColumnTitle); !title.isEmpty())
            out += QStringLiteral("  ") + title;
    }
    m_lines.Result(out);
    return ExitOk;
}

} // namespace qm::cli
