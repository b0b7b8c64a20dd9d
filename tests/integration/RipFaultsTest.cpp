// The command-line rip when things go wrong: encoders that misbehave, the
// user's Ctrl-C, a full disk. Stand-in encoders are short scripts first on PATH.
#include "../platform/audio/AudioTestUtil.h"
#include "CommandLineRig.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <fcntl.h>
#include <sys/syscall.h>

using namespace qm::test;

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The /proc entries of the processes whose `file` matches.
QStringList Processes(const char* file, const std::function<bool(const QByteArray&)>& matches)
{
    QStringList found;
    for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs))
        if (matches(ReadFile("/proc/" + pid + "/" + file)))
            found << pid;
    return found;
}

class RipFaults : public CommandLine {
protected:
    // Tones, or a pattern no encoder can make smaller than its bitrate.
    WrittenImage disc(const QString& name, int tracks, double seconds, bool pattern = false)
    {
        DiscLayout layout;
        for (int i = 0; i < tracks; ++i)
            layout.tracks.push_back({pattern ? PatternPcm(std::size_t(seconds * 44100) * 4, i + 1) : TonePcm(seconds, 330 + 110 * i, 440)});
        QDir().mkpath(home.filePath(name));
        return WriteDiscImage(home.filePath(name), name, layout);
    }
    void standInLame(const QByteArray& body)
    {
        const QString bin = home.filePath("bin");
        QDir().mkpath(bin);
        QFile f(bin + "/lame");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body + "\n");
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("PATH", bin + ":" + QProcessEnvironment::systemEnvironment().value("PATH"));
    }
};

} // namespace

// Each misbehaving encoder fails its track with its reason within the
// watchdog's time, leaves the older file as it was and no part file, and
// nothing of its own running. (How each failure is told is the rip layer's test.)
TEST_F(RipFaults, MisbehavingEncodersFailTheTrackInTimeAndKeepTheOlderFile)
{
    // Longer than the encoder's pipe holds, so one that reads nothing stalls.
    const WrittenImage ten = disc("ten", 1, 10.0);
    env.insert("QUILLMERE_ENCODER_WATCHDOG", "2");
    const struct { const char* name; const char* script; const char* reason; } cases[] = {
        {"stalls without reading", "exec sleep 6061", "lame took no input for 2 s and was stopped"},
        {"leaves a child holding stderr", "sleep 6061 & cat >/dev/null; exit 2", "lame exited with status 2"},
        // The control: a real lame, which fails if it was handed the image.
        {"inherits nothing of ours", "for f in /proc/$$/fd/*; do case \"$(readlink \"$f\")\" in *.bin) exit 3;; esac; "
                                     "done; exec /usr/bin/lame \"$@\"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = home.filePath(QStringLiteral("out-%1").arg(&c - cases));
        QDir().mkpath(out);
        QFile older(out + "/TRACK1.mp3");
        ASSERT_TRUE(older.open(QIODevice::WriteOnly) && older.write("an older rip") == 12);
        older.close();
        standInLame(c.script);
        const Outcome r = run({"rip", "--image", ten.cue, "--format", "mp3", "--bitrate", "128", "--out", out}, 27000);
        EXPECT_EQ(r.status, c.reason ? 1 : 0) << r.err.toStdString();
        if (c.reason) {
            EXPECT_TRUE(r.err.contains(QByteArray("Track 01: failed: ") + c.reason + "\n")) << r.err.toStdString();
            EXPECT_EQ(ReadFile(out + "/TRACK1.mp3"), "an older rip");
        } else {
            EXPECT_NEAR(DecodedSeconds(out + "/TRACK1.mp3"), 10.0, 0.2);
            // Tagged from the disc, which has no titles, before the rename.
            const QByteArray tags = RunTool("ffprobe", {"-v", "error", "-show_entries", "format_tags=title,artist,track",
                                                        "-of", "default=nw=1", out + "/TRACK1.mp3"});
            for (const char* tag : {"TAG:title=Track 01\n", "TAG:artist=Unknown Artist\n", "TAG:track=1/1\n"})
                EXPECT_TRUE(tags.contains(tag)) << tags.toStdString();
        }
        EXPECT_EQ(filesIn(out), QStringList{"TRACK1.mp3"});
        EXPECT_EQ(Processes("cmdline", [](const QByteArray& l) { return l.startsWith(QByteArray("sleep\0006061", 10)); }),
                  QStringList()) << "an encoder's child outlived the rip";
    }
}

// Ctrl-C reaches the terminal's whole foreground group. The rip's stderr is
// a small pipe filled before it starts, so its first progress line (a quarter
// into track 1) blocks it mid-track, where the interrupt comes. The track in
// progress is kept; nothing else is ripped, no encoder is left behind.
TEST_F(RipFaults, CtrlCThroughTheProcessGroupKeepsTheTrackInProgress)
{
    const WrittenImage longer = disc("long", 2, 30.0);
    const QString out = home.filePath("cut"), name = "TRACK1.mp3";
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setChildProcessModifier([] {
        ::setsid(); // as a terminal's job: a group of its own
        ::fcntl(2, F_SETPIPE_SZ, 4096);
        ::fcntl(2, F_SETFL, O_NONBLOCK);
        while (::write(2, "\1", 1) == 1) { // a byte the rip's own lines never hold
        }
        ::fcntl(2, F_SETFL, 0);
    });
    // No lookup: its line on the full stderr would block the rip before it starts.
    p.start(kProgram, {"rip", "--image", longer.cue, "--format", "mp3", "--out", out, "--no-lookup"});
    ASSERT_TRUE(p.waitForStarted());
    const pid_t pid = pid_t(p.processId());
    auto reap = qScopeGuard([&] { ::kill(-pid, SIGKILL); });
    // Whether a thread of the rip is inside write() on its standard error.
    auto inWrite = [&] {
        const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
        for (const QString& tid : QDir(tasks).entryList({"[0-9]*"}, QDir::Dirs))
            if (ReadFile(tasks + tid + "/syscall").startsWith(QByteArray::number(SYS_write) + " 0x2 "))
                return true;
        return false;
    };
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(out + "/" + name + ".part").size() > 44 && inWrite(); }, 60000))
        << "the rip never stopped at its first progress line";
    ASSERT_EQ(::kill(-pid, SIGINT), 0);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QByteArray all = p.readAllStandardError();
    const QByteArray said = all.mid(all.lastIndexOf('\1') + 1);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << said.toStdString();
    EXPECT_EQ(p.exitCode(), 1) << said.toStdString();
    EXPECT_TRUE(said.startsWith("Track 01:  2")) << said.toStdString(); // a quarter in, a block or so more
    EXPECT_TRUE(said.contains("quillmere: interrupted") && said.contains("cancelled")) << said.toStdString();
    EXPECT_FALSE(said.contains("failed")) << said.toStdString();
    const QByteArray session = QByteArray::number(pid);
    EXPECT_EQ(Processes("stat", [&](const QByteArray& line) {
                  const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
                  return fields.size() > 3 && fields[3] == session; // pid (name) state ppid pgrp session
              }), QStringList()) << "nothing of the rip outlives it";
    EXPECT_EQ(filesIn(out), QStringList{name});
    const double kept = DecodedSeconds(out + "/" + name);
    EXPECT_TRUE(kept > 1.0 && kept < 20.0) << kept;
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
        // The files are seen from inside: the tmpfs goes with the namespace.
        QStringList args = unshare + QStringList{"sh", "-c",
            "mount -t tmpfs -o size=\"$2\"k tmpfs \"$1\" || exit 9; d=$1; shift 2; \"$@\"; s=$?; echo; ls -A \"$d/rips\"; exit $s",
            "sh", disk, QString::number((c.trackBytes * 3 / 2 / 4096 + 1) * 4), kProgram, "rip", "--image", three.cue,
            "--format", c.format, "--out", disk + "/rips", "--no-verify"};
        if (QString(c.format) != "wav")
            args << "--bitrate" << "128";
        const Outcome r = run(args, 120000, "unshare");
        EXPECT_EQ(r.status, 1) << r.err.toStdString();
        // The log, small, fits where the second track did not.
        EXPECT_EQ(r.out.toStdString(), ("1 Tracks have been Ripped to " + disk.toUtf8() + "/rips\n2 Tracks could not be Ripped.\n\n" +
                             c.file + "\nUnknown Album.log\n").toStdString()) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("Track 02: failed: ")) << r.err.toStdString();
        if (c.ownWords) {
            EXPECT_TRUE(r.err.contains("/rips/TRACK2." + QByteArray(c.file).mid(7) + ": No space left on device"))
                << r.err.toStdString();
        }
    }
}
