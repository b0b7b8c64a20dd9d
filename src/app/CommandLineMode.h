#pragma once
// The terminal commands (drives, tracks, rip) on the window's own start-up,
// settings and rip job, with no window shown: a rip is planned from the
// stored settings and the options given, and boxes become console lines.

#include "CommandLineArgs.h"
#include "platform/audio/CdAudioEngine.h"

#include <QString>
#include <QStringList>
#include <memory>

class QEventLoop;

namespace qm {

class ConsoleDialogs;
class ConsoleLines;
class RipJob;
struct RipPlan;
class frmMain;

namespace cli {

// Disc images for the engine: those given (made absolute, before start-up
// changes the current folder), then QUILLMERE_IMAGES (colon-separated).
QStringList DiscImages(const QStringList& given);

// Prints help, version or a usage error; for a terminal command sets up the
// application offscreen and runs it on an engine set up as `config` says
// (its encoder folder is filled in here). Answers the exit status.
int RunTerminal(int& argc, char** argv, const ParseResult& parsed, EngineConfig config);

class CommandLineMode {
public:
    CommandLineMode(Arguments args, ConsoleLines& lines, EngineConfig config);
    ~CommandLineMode();
    int Run();

private:
    int ChooseDrive();
    int ListDrives();
    // Waits for the disc's lookup, if one runs, and names the releases not
    // chosen. Called once the arguments are known to be good, so a usage
    // error is said alone.
    void AwaitLookup();
    int ListTracks();
    int Rip();
    int PlanRip(int rows, RipPlan& plan);
    int PrepareFolder(const QString& folder, bool fromArguments);
    void RemoveCreatedFolders();
    void Interrupted();

    Arguments m_args;
    ConsoleLines& m_lines;
    EngineConfig m_config;
    std::unique_ptr<CdAudioEngine> m_engine;
    std::unique_ptr<ConsoleDialogs> m_dialogs;
    std::unique_ptr<frmMain> m_window;
    QStringList m_createdFolders; // made by this run, deepest last
    RipJob* m_job = nullptr;       // while the rip runs
    bool m_interrupted = false;
    int m_lookupTimeoutMs = 0;
    QEventLoop* m_lookupWait = nullptr; // while AwaitLookup waits; Ctrl-C ends it
    bool m_stopWaiting = false;
};

} // namespace cli
} // namespace qm
