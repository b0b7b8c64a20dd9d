// The built program's terminal commands on generated disc images.
#include "CommandLineRig.h"
#include "app/SingleInstance.h"

#include <functional>
#include <sys/stat.h>

using namespace qm::test;

// The store's folder given relative to where the program starts.
TEST_F(CommandLine, RipsTheTracksAskedForByteForByteAndStoresOptionsOnlyWithSave)
{
    env.insert("QUILLMERE_REGISTRY_DIR", "settings");
    const QString store = home.filePath("settings/HKEY_LOCAL_MACHINE.reg");
    const QString out = home.filePath("rips/new/album");
    Outcome r = run({"rip", "--image", image.cue, "--tracks", "2,3", "--format", "wav", "--out", out});
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
    EXPECT_FALSE(QFileInfo::exists(store)) << "stored without --save";

    // Stored with --save: a later rip without options uses the same format and folder.
    const QString saved = home.filePath("saved");
    r = run({"rip", "--image", image.cue, "--tracks", "1", "--format", "wav", "--out", saved, "--save"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    expectWav(saved + "/TRACK1.WAV", image.track(0));
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
    EXPECT_TRUE(r.out.contains("  Drive is open: no\n")) << r.out.toStdString();
    EXPECT_FALSE(HasControlCharacters(r.out + r.err));
}

// Each: status 2, one line that says why, nothing on stdout, no folder made.
// How each option is parsed is the parser's own test; these are spot checks
// of what only the running program knows (the disc, the file system).
TEST_F(CommandLine, UsageErrorsAreOneLineWithStatusTwoAndLeaveNothingBehind)
{
    QFile file(home.filePath("plain-file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{"--nope"}, "unknown option \"--nope\""},
        {{"rip", "--tracks", "9"}, "track 9 is not on the disc: it has 3 tracks"},
        {{"rip", "--format", "mp3", "--bitrate", "129"}, "offers"},
        {{"rip", "--out", home.filePath("plain-file/sub")}, "cannot be created"},
        {{"rip", "--image", home.filePath("plain-file")}, "not a cue file"},
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

// A damaged store: a start says once that it uses the defaults; --save
// says why it failed, gives status 1 and rips nothing; the store stays as it
// was. (Which stores cannot be read is the settings tests' concern.)
TEST_F(CommandLine, AStoreThatCannotBeReadIsToldAndNeverWritten)
{
    const QString file = home.filePath("config/quillmere/registry/HKEY_LOCAL_MACHINE.reg");
    QDir().mkpath(QFileInfo(file).path());
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("REGEDIT4\n\"a\"=\"b\"\n");
    f.close();
    const QDateTime modified = QFileInfo(file).lastModified();
    Outcome r = run({"tracks", "--image", image.cue});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("cannot be read (line 2: a value outside any key")) << r.err.toStdString();
    r = run({"rip", "--image", image.cue, "--tracks", "1", "--format", "wav", "--out", home.filePath("never"), "--save"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("\nquillmere: settings could not be saved: ")) << r.err.toStdString();
    EXPECT_TRUE(r.err.endsWith("; nothing was ripped\n")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.filePath("never")));
    EXPECT_EQ(QFileInfo(file).lastModified(), modified);
}

TEST_F(CommandLine, AnotherInstanceRunningGivesStatusThree)
{
    qm::SingleInstance first(QStringLiteral("BrellvoxAudioCDRipper"), runtime); // where the child looks
    ASSERT_FALSE(first.AnotherInstanceRunning());
    const Outcome r = run({"rip", "--image", image.cue, "--format", "wav", "--out", home.filePath("x")});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.contains("another Quillmere is running")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.filePath("x")));
}

// Track numbers are the disc's: with a data track first, the audio is 2 and 3.
TEST_F(CommandLine, DataTracksAreLeftOutAndTrackNumbersStayTheDiscs)
{
    DiscLayout layout;
    layout.tracks = {{.pcm = PatternPcm(2352 * 75, 9), .data = true}, {.pcm = PatternPcm(176400, 1)}, {.pcm = PatternPcm(176400, 2)}};
    const WrittenImage mixed = WriteDiscImage(home.filePath("disc"), "mixed", layout);
    Outcome r = run({"tracks", "--image", mixed.cue});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Track 02  Audio") && r.out.contains("Track 03  Audio") && !r.out.contains("Track 01"))
        << r.out.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    r = run({"rip", "--image", mixed.cue, "--tracks", "3", "--format", "wav", "--out", home.filePath("mixed")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    expectWav(home.filePath("mixed/TRACK3.WAV"), mixed.track(2));
    r = run({"rip", "--image", mixed.cue, "--tracks", "1", "--format", "wav", "--out", home.filePath("none")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("track 1 is not an audio track of the disc: its audio tracks are 2-3")) << r.err.toStdString();
}

// Each: the status it must end with, and the line that says why; never a
// success that did not happen, never a file or folder under another name.
TEST_F(CommandLine, BadPathsImagesAndOutputsAreSaidWithAStatus)
{
    QDir().mkpath(home.filePath("start"));
    QDir().mkpath(home.filePath("config/quillmere/registry"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(home.filePath("disc/fifo.bin")).constData(), 0600), 0);
    QFile::copy(image.cue, home.filePath("disc/fifo.cue"));
    const QString sh = QStringLiteral("/bin/sh");
    const QString bad = home.filePath("bad");
    struct Case {
        const char* name;
        std::function<void()> setUp;
        QStringList args;
        QString program;
        int status;
        const char* says;
        const char* madeFile; // below home, empty when nothing may be made
    };
    const Case cases[] = {
        {"stdout is full", [this] { stdoutFile = "/dev/full"; }, {"tracks", "--image", image.cue}, kProgram, 1,
         "the results could not be written", ""},
        {"no HOME and no folder", [this] { env.remove("HOME"); },
         {"rip", "--image", image.cue, "--format", "wav"}, kProgram, 1, "HOME is not set", ""},
        {"relative Extract Path", [this] {
             QFile reg(home.filePath("config/quillmere/registry/HKEY_LOCAL_MACHINE.reg"));
             reg.open(QIODevice::WriteOnly);
             reg.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Brellvox Quillmere\\Settings]\n\"Extract Path\"=\"rel\"\n");
             workDir = home.filePath("start");
         }, {"rip", "--image", image.cue, "--tracks", "1", "--format", "wav"}, kProgram, 0, "", "start/rel/TRACK1.WAV"},
        {"--out not UTF-8", {}, {"-c", "exec \"$0\" rip --image \"$1\" --format wav --out \"$2$(printf '\\377')\"", kProgram, image.cue, bad},
         sh, 2, "not valid UTF-8", ""},
        {"QUILLMERE_IMAGES with a FIFO bin and a passwd file",
         [this] { env.insert("QUILLMERE_IMAGES", home.filePath("disc/fifo.cue") + ":/etc/passwd:" + image.cue); },
         {"drives"}, kProgram, 0, "/etc/passwd: not a cue file", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QProcessEnvironment kept = env;
        workDir.clear();
        stdoutFile.clear();
        if (c.setUp)
            c.setUp();
        const Outcome r = run(c.args, 30000, c.program);
        env = kept;
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_TRUE(!*c.madeFile || QFileInfo::exists(home.filePath(c.madeFile))) << c.madeFile;
        const QStringList left = QDir(home.path()).entryList({"bad*", "Music"}, QDir::AllEntries);
        EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
    }
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
