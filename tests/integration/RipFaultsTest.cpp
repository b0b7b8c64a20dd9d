// The command-line rip when things go wrong: encoders that misbehave, the
// user's Ctrl-C, links and read-only files in the output folder, a full disk.
// Stand-in encoders are short scripts put first on PATH.
#include "../platform/audio/AudioTestUtil.h"
#include "CommandLineRig.h"

#include <QFileInfo>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qm::test;

namespace {

constexpr int kWatchdogSeconds = 2;

// The processes of a session; those of a process that has ended are orphans.
QStringList ProcessesInSession(pid_t session)
{
    QStringList found;
    for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // pid (name) state ppid pgrp session ...
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 3 && fields[3].toInt() == session)
            found << pid + " " + line.left(line.lastIndexOf(')') + 1);
    }
    return found;
}

// Whether a process runs whose command line is `cmdline` (arguments
// separated by NUL).
bool Running(const QByteArray& cmdline)
{
    for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs)) {
        QFile f("/proc/" + pid + "/cmdline");
        if (f.open(QIODevice::ReadOnly) && f.readAll().startsWith(cmdline))
            return true;
    }
    return false;
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Whether a thread of the process is inside write() on its standard error:
// blocked there when that pipe is full.
bool BlockedWritingStderr(pid_t pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList({"[0-9]*"}, QDir::Dirs)) {
        if (ReadFile(tasks + "/" + tid + "/syscall").startsWith(QByteArray::number(SYS_write) + " 0x2 "))
            return true;
    }
    return false;
}

class RipFaults : public CommandLine {
protected:
    // Tones, or a pattern no encoder can make smaller than its bitrate.
    WrittenImage disc(const QString& name, int tracks, double seconds, bool pattern = false)
    {
        DiscLayout layout;
        for (int i = 0; i < tracks; ++i) {
            layout.tracks.push_back({pattern ? PatternPcm(static_cast<std::size_t>(seconds * 44100) * 4, i + 1)
                                             : TonePcm(seconds, 330 + 110 * i, 440)});
        }
        QDir().mkpath(home.filePath(name));
        return WriteDiscImage(home.filePath(name), name, layout);
    }
    // A stand-in `lame` first on PATH.
    void standInLame(const QByteArray& body)
    {
        const QString bin = home.filePath("bin");
        QDir().mkpath(bin);
        QFile f(bin + "/lame");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body + "\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("PATH", bin + ":" + QProcessEnvironment::systemEnvironment().value("PATH"));
    }
    void plant(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

} // namespace

// Each misbehaving encoder process fails its track with its reason on
// stderr within the watchdog's time and a little more, leaves the older file
// as it was and no part file behind, and leaves nothing of its own running.
// (How each failure is told is the rip layer's test, on the fake engine.)
TEST_F(RipFaults, MisbehavingEncodersFailTheTrackInTimeAndKeepTheOlderFile)
{
    // Longer than the encoder's pipe holds, so one that reads nothing stalls.
    const WrittenImage ten = disc("ten", 1, 10.0);
    env.insert("QUILLMERE_ENCODER_WATCHDOG", QString::number(kWatchdogSeconds));
    const struct { const char* name; const char* script; const char* reason; } cases[] = {
        {"stalls without reading", "exec sleep 6061", "lame took no input for 2 s and was stopped"},
        {"leaves a child holding stderr", "sleep 6061 & cat >/dev/null; exit 2", "lame exited with status 2"},
        {"hangs after reading everything", "cat >/dev/null; exec sleep 6061",
         "lame did not finish within 2 s after the end of its input and was stopped"},
        // The control: a real lame, which fails if it was handed the image.
        {"inherits nothing of ours", "for f in /proc/$$/fd/*; do case \"$(readlink \"$f\")\" in *.bin) exit 3;; esac; "
                                     "done; exec /usr/bin/lame \"$@\"",
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = home.filePath(QStringLiteral("out-%1").arg(&c - cases));
        plant(out + "/TRACK1.mp3", "an older rip");
        standInLame(c.script);
        QElapsedTimer took;
        took.start();
        const Outcome r = run({"rip", "--image", ten.cue, "--format", "mp3", "--bitrate", "128", "--out", out},
                              (kWatchdogSeconds + 25) * 1000);
        if (c.reason) {
            EXPECT_EQ(r.status, 1) << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(QByteArray("Track 01: failed: ") + c.reason + "\n")) << r.err.toStdString();
            EXPECT_EQ(ReadFile(out + "/TRACK1.mp3"), "an older rip");
        } else {
            EXPECT_EQ(r.status, 0) << r.err.toStdString();
            EXPECT_NEAR(DecodedSeconds(out + "/TRACK1.mp3"), 10.0, 0.2);
        }
        EXPECT_EQ(filesIn(out), QStringList{"TRACK1.mp3"});
        EXPECT_FALSE(Running(QByteArray("sleep\0006061", 10))) << "an encoder's child outlived the rip";
    }
}

// Ctrl-C in a terminal reaches the whole foreground process group. The
// child's stderr is a pipe the test has filled, so its first progress line
// (a quarter into track 1) blocks it mid-track; the interrupt is sent to its
// group while it waits there. The track in progress is kept (that it is
// whole and shorter is the rip layer's and the window's test); nothing else
// is ripped, and no encoder is left behind.
TEST_F(RipFaults, CtrlCThroughTheProcessGroupKeepsTheTrackInProgress)
{
    const WrittenImage longer = disc("long", 2, 30.0);
    {
        const QString format = "mp3", out = home.filePath("cut"), name = "TRACK1.mp3";

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
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID); // as a terminal's job: its own group
        QList<QByteArray> argBytes = {kProgram.toLocal8Bit(), "rip",   "--image", longer.cue.toLocal8Bit(),
                                      "--format",             format.toLocal8Bit(), "--out", out.toLocal8Bit()};
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
        ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(err[1]);
        // A failed check must not leave the child blocked on its pipe.
        struct Reaper {
            pid_t& pid;
            ~Reaper()
            {
                if (pid > 0) {
                    ::kill(-pid, SIGKILL);
                    ::waitpid(pid, nullptr, 0);
                }
            }
        } reaper{pid};

        const QString part = out + "/" + name + ".part";
        ASSERT_TRUE(WaitUntil([&] { return QFileInfo(part).size() > 44 && BlockedWritingStderr(pid); }, 60000))
            << "the rip never stopped at its first progress line";
        ASSERT_EQ(::kill(-pid, SIGINT), 0);

        QByteArray written;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(err[0], buffer, sizeof buffer)) > 0)
            written.append(buffer, n);
        ::close(err[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        const pid_t session = pid;
        pid = 0;
        const QByteArray said = written.mid(filler);
        ASSERT_TRUE(WIFEXITED(status)) << said.toStdString();
        EXPECT_EQ(WEXITSTATUS(status), 1) << said.toStdString();
        EXPECT_TRUE(said.startsWith("Track 01:  2")) << said.toStdString(); // a quarter in, a block or so more
        EXPECT_TRUE(said.contains("quillmere: interrupted")) << said.toStdString();
        EXPECT_TRUE(said.contains("Track 01:") && said.contains("cancelled")) << said.toStdString();
        EXPECT_FALSE(said.contains("failed")) << said.toStdString();
        EXPECT_EQ(ProcessesInSession(session), QStringList()) << "nothing of the rip outlives it";

        EXPECT_EQ(filesIn(out), QStringList{name});
        EXPECT_GT(DecodedSeconds(out + "/" + name), 1.0);
        EXPECT_LT(DecodedSeconds(out + "/" + name), 20.0);
    }
}

// What another user may plant in a shared folder is never written through:
// a link at a final name or at a part file's name, a file the user may not
// write. The track whose name is taken fails and says why; the others rip.
TEST_F(RipFaults, PlantedLinksAndReadOnlyFilesAreNeverWrittenThrough)
{
    const QString out = home.filePath("shared");
    plant(home.filePath("victim1"), "precious 1");
    plant(home.filePath("victim2"), "precious 2");
    plant(out + "/TRACK3.mp3", "read-only");
    QFile::setPermissions(out + "/TRACK3.mp3", QFile::ReadOwner);
    ASSERT_TRUE(QFile::link(home.filePath("victim1"), out + "/TRACK1.mp3"));
    ASSERT_TRUE(QFile::link(home.filePath("victim2"), out + "/TRACK2.mp3.part"));

    const Outcome r = run({"rip", "--image", image.cue, "--format", "mp3", "--out", out});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Track 01: failed: " + out.toUtf8() + "/TRACK1.mp3 is a symbolic link")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Track 03: failed: " + out.toUtf8() + "/TRACK3.mp3 is read-only")) << r.err.toStdString();
    EXPECT_EQ(r.out, "1 Tracks have been Ripped to " + out.toUtf8() + "\n2 Tracks could not be Ripped.\n");
    EXPECT_EQ(ReadFile(home.filePath("victim1")), "precious 1");
    EXPECT_EQ(ReadFile(home.filePath("victim2")), "precious 2");
    EXPECT_EQ(ReadFile(out + "/TRACK3.mp3"), "read-only");
    EXPECT_GT(DecodedSeconds(out + "/TRACK2.mp3"), 1.5);
    EXPECT_EQ(QFileInfo(out + "/TRACK2.mp3.part").symLinkTarget(), home.filePath("victim2"));
}

// A disk with room for one track and a half, in every format: the first
// track is ripped, the others fail with the system's words where we write
// the file ourselves, and no part of them is left under any name. The disk
// is a small tmpfs in a mount namespace of the run's own.
TEST_F(RipFaults, AFullDiskFailsWhatDoesNotFitInEveryFormat)
{
    const QStringList unshare = ::geteuid() == 0 ? QStringList{"-m"} : QStringList{"-r", "-m"};
    QDir().mkpath(home.filePath("probe"));
    if (QProcess::execute("unshare", unshare + QStringList{"mount", "-t", "tmpfs", "-o", "size=4k", "tmpfs",
                                                          home.filePath("probe")}) != 0)
        GTEST_SKIP() << "no tmpfs can be mounted in a namespace of our own here";
    const WrittenImage three = disc("three", 3, 10.0, true);
    const struct { const char* format; const char* file; qint64 trackBytes; bool ownWords; } cases[] = {
        {"wav", "TRACK1.WAV", 44 + 1764000, true},
        {"wma", "TRACK1.WMA", 160000, true},
        {"mp3", "TRACK1.mp3", 160000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const QString disk = home.filePath(QStringLiteral("disk-%1").arg(c.format));
        QDir().mkpath(disk);
        const qint64 room = (c.trackBytes * 3 / 2 / 4096 + 1) * 4;
        // The files are seen from inside: the tmpfs goes with the namespace.
        QProcess p;
        p.setProcessEnvironment(env);
        QStringList args = unshare;
        args << "sh" << "-c"
             << "mount -t tmpfs -o size=\"$2\"k tmpfs \"$1\" || exit 9; d=$1; shift 2; \"$@\"; s=$?; "
                "echo; ls -A \"$d/rips\"; exit $s"
             << "sh" << disk << QString::number(room) << kProgram << "rip" << "--image" << three.cue << "--format"
             << c.format << "--out" << disk + "/rips";
        if (QString(c.format) != "wav")
            args << "--bitrate" << "128";
        p.start("unshare", args);
        ASSERT_TRUE(p.waitForFinished(120000));
        const QByteArray said = p.readAllStandardOutput(), err = p.readAllStandardError();
        EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
        EXPECT_EQ(said, "1 Tracks have been Ripped to " + disk.toUtf8() + "/rips\n2 Tracks could not be Ripped.\n\n" +
                            c.file + "\n")
            << err.toStdString();
        EXPECT_TRUE(err.contains("Track 02: failed: ")) << err.toStdString();
        if (c.ownWords) {
            EXPECT_TRUE(err.contains("/rips/TRACK2." + QByteArray(c.file).mid(7) + ": No space left on device"))
                << err.toStdString();
        }
    }
}
