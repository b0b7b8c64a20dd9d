// The built program's terminal commands on generated disc images.
#include "DiscImageWriter.h"
#include "app/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace qm::test;

namespace {

const QString kProgram = QStringLiteral(QUILLMERE_BIN_DIR "/quillmere");

struct Outcome {
    int status = -1;
    QByteArray out, err;
};

bool HasControlCharacters(const QByteArray& bytes)
{
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\n') || u == 0x7f)
            return true;
    }
    return false;
}

std::uint32_t Le32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<std::uint32_t>(bytes.constData() + at);
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        runtime = home.filePath("runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_STATE_HOME", home.filePath("state"));
        env.insert("XDG_CACHE_HOME", home.filePath("cache"));
        env.insert("HOME", home.path());
        env.remove("QUILLMERE_IMAGES");
        env.remove("QUILLMERE_REGISTRY_DIR");
        env.remove("QT_QPA_PLATFORM"); // the terminal commands need no display of their own
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");

        DiscLayout layout;
        layout.title = "Quiet Hours";
        layout.performer = "Zoë Ensemble";
        layout.tracks.push_back({PatternPcm(176400 * 3 + 1000, 1)});
        layout.tracks.push_back({PatternPcm(176400 * 2, 2), 75});
        layout.tracks.push_back({PatternPcm(176400 * 4 + 588, 3)});
        QDir().mkpath(home.filePath("disc"));
        image = WriteDiscImage(home.filePath("disc"), "album", layout);
    }

    Outcome run(const QStringList& args, int timeoutMs = 60000)
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(kProgram, args);
        Outcome r;
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "timed out: " << args.join(' ').toStdString();
        }
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

    QStringList filesIn(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // A WAV file whose header agrees with its size and whose data is `pcm`.
    void expectWav(const QString& path, const Pcm& pcm) const
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray bytes = f.readAll();
        ASSERT_EQ(bytes.size(), 44 + static_cast<qsizetype>(pcm.size())) << path.toStdString();
        EXPECT_EQ(bytes.left(4), QByteArray("RIFF"));
        EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);
        EXPECT_EQ(std::memcmp(pcm.data(), bytes.constData() + 44, pcm.size()), 0) << path.toStdString();
    }

    QTemporaryDir home;
    QString runtime;
    QProcessEnvironment env;
    WrittenImage image;
};

} // namespace

TEST_F(CommandLine, RipsTheTracksAskedForByteForByteIntoANewFolder)
{
    const QString out = home.filePath("rips/new/album");
    const Outcome r = run({"rip", "--image", image.cue, "--tracks", "2,3", "--format", "wav", "--out", out});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesIn(out), QStringList({"TRACK2.WAV", "TRACK3.WAV"}));
    expectWav(out + "/TRACK2.WAV", image.track(1));
    expectWav(out + "/TRACK3.WAV", image.track(2));
    EXPECT_EQ(r.out, QByteArray("2 Tracks have been Ripped to ") + out.toUtf8() + "\n");
    // Captured, not a terminal: whole lines only, one finished line per track.
    EXPECT_FALSE(HasControlCharacters(r.out + r.err)) << r.err.toStdString();
    // Each finished as done, even one ripped before the progress first looked.
    for (const char* track : {"Track 02: 100%", "Track 03: 100%"}) {
        const qsizetype at = r.err.indexOf(track);
        ASSERT_GE(at, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.mid(at, r.err.indexOf('\n', at) - at).contains("done in")) << r.err.toStdString();
    }
    EXPECT_FALSE(r.err.contains("Track 01")) << r.err.toStdString();
}

TEST_F(CommandLine, RipsEveryTrackWithAllAndStoresOptionsOnlyWithSave)
{
    const QString out = home.filePath("all");
    Outcome r = run({"rip", "--image", image.cue, "--tracks", "all", "--format", "wav", "--out", out});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesIn(out), QStringList({"TRACK1.WAV", "TRACK2.WAV", "TRACK3.WAV"}));
    expectWav(out + "/TRACK1.WAV", image.track(0));
    EXPECT_TRUE(QDir(home.filePath("config/quillmere/registry")).isEmpty()) << "stored without --save";

    // Stored with --save: a later rip without options uses the same format
    // and folder.
    const QString saved = home.filePath("saved");
    r = run({"rip", "--image", image.cue, "--tracks", "1", "--format", "wav", "--out", saved, "--save"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    QDir(saved).removeRecursively();
    r = run({"rip", "--image", image.cue, "--tracks", "3"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesIn(saved), QStringList({"TRACK3.WAV"}));
}

TEST_F(CommandLine, ListsTracksAndDrivesAsTheWindowShowsThem)
{
    Outcome r = run({"tracks", "--image", image.cue});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    // Track 1 ends with track 2's one-second pregap.
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("Artist: Zoë Ensemble\nAlbum: Quiet Hours\n"
                                                       "Track 01  Audio  00:04\nTrack 02  Audio  00:02\n"
                                                       "Track 03  Audio  00:04\n"));
    r = run({"drives", "--image", image.cue});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("Drive 0: album.cue: ")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  Drive can read CD audio: yes\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  Drive can read DVD-ROM media: no\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  Drive is open: no\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  Maximum read speed: ")) << r.out.toStdString();
    EXPECT_FALSE(HasControlCharacters(r.out + r.err));
}

// Each: status 2, one line that says why, nothing on stdout, no folder made.
// How each option is parsed is the parser's own test.
TEST_F(CommandLine, UsageErrorsAreOneLineWithStatusTwoAndLeaveNothingBehind)
{
    QFile file(home.filePath("plain-file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QFile junk(home.filePath("disc/junk.cue"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is no cue sheet\n");
    junk.close();
    QFile::copy(image.bin, home.filePath("disc/junk.bin"));

    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{"rip", "--tracks", ""}, "no track given"},
        {{"rip", "--tracks", "3-1"}, "runs backwards"},
        {{"rip", "--format", "Wav"}, "formats are lower case"},
        {{"rip", "--tracks", "9"}, "track 9 is not on the disc: it has 3 tracks"},
        {{"rip", "--format", "wav", "--bitrate", "128"}, "--bitrate applies to wma, mp3 and ogg"},
        {{"rip", "--format", "mp3", "--bitrate", "129"}, "offers"},
        {{"rip", "--out", home.filePath("plain-file")}, "is a file"},
        {{"rip", "--out", home.filePath("plain-file/sub")}, "cannot be created"},
        {{"rip", "--image", home.filePath("missing.cue")}, "no such file"},
        {{"rip", "--image", home.filePath("plain-file")}, "not a cue file"},
        {{"tracks", "--image", home.filePath("disc/junk.cue")}, "could not be read as a cue/bin disc image"},
        {{"tracks", "--drive", "7"}, "--drive 7: no such drive"},
    };
    const QString out = home.filePath("never");
    for (const auto& c : cases) {
        QStringList args = c.args;
        if (!args.contains("--image") && !args.contains("--drive"))
            args << "--image" << image.cue;
        if (args.first() == "rip" && !args.contains("--out"))
            args << "--out" << out;
        const Outcome r = run(args);
        const std::string what = args.join(' ').toStdString();
        EXPECT_EQ(r.status, 2) << what << "\n" << r.err.toStdString();
        const QByteArray first = r.err.left(r.err.indexOf('\n'));
        EXPECT_TRUE(first.startsWith("quillmere: ") && first.contains(c.says)) << what << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << what;
        EXPECT_FALSE(QFileInfo::exists(out)) << what;
    }
}

TEST_F(CommandLine, AnotherInstanceRunningGivesStatusThree)
{
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit()); // the lock file the child looks for
    qm::SingleInstance first(QStringLiteral("BrellvoxAudioCDRipper"));
    ASSERT_FALSE(first.AnotherInstanceRunning());
    const Outcome r = run({"rip", "--image", image.cue, "--format", "wav", "--out", home.filePath("x")});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.contains("another Quillmere is running")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.filePath("x")));
}

TEST_F(CommandLine, HelpVersionAndUsage)
{
    Outcome r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("quillmere rip")) << r.out.toStdString();
    r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("quillmere ")) << r.out.toStdString();
    r = run({"--nope"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith("quillmere: unknown option \"--nope\"\nUsage:")) << r.err.toStdString();
}

// Ctrl-C mid-track: the child's stderr is a pipe the test has filled, so its
// first progress line (a quarter into track 1) blocks it mid-track; the
// interrupt is sent while it waits there.
TEST_F(CommandLine, InterruptMidTrackKeepsAValidShorterFileAndRipsNothingElse)
{
    DiscLayout layout;
    layout.tracks.push_back({PatternPcm(176400 * 30, 7)});
    layout.tracks.push_back({PatternPcm(176400 * 2, 8)});
    QDir().mkpath(home.filePath("long"));
    const WrittenImage longer = WriteDiscImage(home.filePath("long"), "long", layout);
    const QString out = home.filePath("cut");

    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    ::fcntl(err[1], F_SETPIPE_SZ, 4096);
    ::fcntl(err[1], F_SETFL, O_NONBLOCK);
    qsizetype filler = 0;
    while (::write(err[1], "F", 1) == 1)
        ++filler;
    ::fcntl(err[1], F_SETFL, 0);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    QList<QByteArray> argBytes = {kProgram.toLocal8Bit(), "rip", "--image", longer.cue.toLocal8Bit(), "--format",
                                  "wav", "--out", out.toLocal8Bit()};
    std::vector<char*> argv;
    for (QByteArray& a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QList<QByteArray> envBytes;
    for (const QString& e : env.toStringList())
        envBytes << e.toLocal8Bit();
    std::vector<char*> envp;
    for (QByteArray& e : envBytes)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);
    // A failed check must not leave the child blocked on its pipe.
    struct Reaper {
        pid_t& pid;
        ~Reaper()
        {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    } reaper{pid};

    // Blocked once the part file stops growing.
    const QString part = out + "/TRACK1.WAV.part";
    QElapsedTimer waited;
    waited.start();
    qint64 size = -1;
    int still = 0;
    while (waited.elapsed() < 60000 && still < 10) {
        QThread::msleep(50);
        const qint64 now = QFileInfo(part).size();
        still = (now > 44 && now == size) ? still + 1 : 0;
        size = now;
    }
    ASSERT_GE(still, 10) << "the rip never stopped at its first progress line";
    ::kill(pid, SIGINT);

    QByteArray written;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(err[0], buffer, sizeof buffer)) > 0)
        written.append(buffer, n);
    ::close(err[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    pid = 0;
    const QByteArray said = written.mid(filler);
    ASSERT_TRUE(WIFEXITED(status)) << said.toStdString();
    EXPECT_EQ(WEXITSTATUS(status), 1) << said.toStdString();
    EXPECT_TRUE(said.startsWith("Track 01:  25%")) << said.toStdString();
    EXPECT_TRUE(said.contains("quillmere: interrupted")) << said.toStdString();

    EXPECT_EQ(filesIn(out), QStringList({"TRACK1.WAV"}));
    QFile f(out + "/TRACK1.WAV");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const Pcm whole = longer.track(0);
    ASSERT_GT(bytes.size(), 44);
    EXPECT_LT(bytes.size() - 44, static_cast<qsizetype>(whole.size()) / 2);
    EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);
    EXPECT_EQ(std::memcmp(bytes.constData() + 44, whole.data(), static_cast<std::size_t>(bytes.size() - 44)), 0);
}

// Without a display the run script rips the demo disc with the stored
// settings (WAV stored here) into a temporary folder and lists the files.
TEST_F(CommandLine, RunScriptWithoutADisplayRipsTheDemoDisc)
{
    const QString demo = QStringLiteral(QUILLMERE_BIN_DIR "/demo/Demo.cue");
    Outcome r = run({"rip", "--image", demo, "--tracks", "1", "--format", "wav", "--out", home.filePath("first"), "--save"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const Outcome tracks = run({"tracks", "--image", demo});
    const int rows = static_cast<int>(tracks.out.count("  Audio  "));
    ASSERT_GT(rows, 0);

    env.insert("TMPDIR", home.path());
    QProcess script;
    script.setProcessEnvironment(env);
    script.start(QStringLiteral(QUILLMERE_SOURCE_DIR "/scripts/rip-demo.sh"), {QStringLiteral(QUILLMERE_BIN_DIR)});
    ASSERT_TRUE(script.waitForFinished(120000));
    const QByteArray said = script.readAllStandardOutput();
    EXPECT_EQ(script.exitCode(), 0) << said.toStdString() << script.readAllStandardError().toStdString();
    EXPECT_TRUE(said.startsWith("No display")) << said.toStdString();
    const QStringList made = QDir(home.path()).entryList({"quillmere-demo.*"}, QDir::Dirs);
    ASSERT_EQ(made.size(), 1);
    const QStringList files = filesIn(home.filePath(made.first()));
    EXPECT_EQ(files.size(), rows);
    for (const QString& f : files)
        EXPECT_TRUE(said.contains(f.toUtf8())) << f.toStdString();
}
