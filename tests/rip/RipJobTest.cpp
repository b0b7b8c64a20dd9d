#include "WriterRig.h"
#include "diag/ErrorReport.h"
#include "rip/RipNames.h"
#include "rip/OutputFile.h"
#include "rip/WavFile.h"
#include "rip/frmRipp.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTreeWidget>
#include <QtEndian>
#include <csignal>
#include <sys/resource.h>

using namespace qm;
using namespace qm::test;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The rip window's job writing WAV files into a folder it makes itself. Its
// byte-exact output is checked on the real engine; these cover the paths the
// fake drive can force.
struct RipWindow : WriterRig {
    frmMain& startWav(int tracks, std::int32_t bytesPerTrack = 100000)
    {
        frmMain& w = start(tracks, bytesPerTrack);
        // Like the default ~/Music/Ripped Audio on a new account: the parent is missing too.
        folder = dir.path() + "/Music/Ripped Audio";
        w.options->txtExtractPath->setText(folder);
        w.options->SelectFormat(FormatWav);
        return w;
    }
    void check(std::initializer_list<int> rows)
    {
        for (int row : rows)
            window->lsTracks->topLevelItem(row - 1)->setCheckState(0, Qt::Checked);
    }
    QString lastBox() const { return dialogs.boxes.isEmpty() ? QString() : dialogs.boxes.last().text; }
    QString notRipped(int failed) const
    {
        return "0 Tracks have been Ripped to " + folder + QStringLiteral("\r\n%1 Tracks could not be Ripped.").arg(failed);
    }
    void writeOld(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(folder);
        QFile old(folder + "/" + name);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(bytes);
    }
};

} // namespace

TEST(OutputFile, LongFileInBlocksArrivesWholeUnderItsName)
{
    // Long enough for the file to be handed to the disk several times while
    // it is written; the header is patched last, as the WAV writer does.
    QTemporaryDir dir;
    const QString path = dir.path() + "/TRACK1.WAV";
    QByteArray data(17 * 1024 * 1024 + 1234, '\0');
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 131 + (i >> 12)) & 0xFF);
    OutputFile file(path);
    ASSERT_TRUE(file.create());
    ASSERT_TRUE(file.append(WavHeader(2, 44100, 16, 0).constData(), 44));
    for (qsizetype at = 0; at < data.size(); at += 20000)
        ASSERT_TRUE(file.append(data.constData() + at, std::size_t(std::min<qsizetype>(20000, data.size() - at))));
    const auto size = static_cast<std::uint32_t>(data.size());
    ASSERT_TRUE(file.writeAt(kWavDataSizeOffset, WavHeader(2, 44100, 16, size).mid(40, 4).constData(), 4));
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(file.commit()) << file.errorString().toStdString();

    const QByteArray written = readFile(path);
    ASSERT_EQ(written.size(), 44 + data.size());
    EXPECT_EQ(qFromLittleEndian<std::uint32_t>(written.constData() + 40), size);
    EXPECT_TRUE(written.mid(44) == data);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"TRACK1.WAV"});
}

// What stands at the final name or the temporary name decides: only a file
// we may write is replaced, and only by the rename; a link is never followed.
TEST(OutputFile, WhatStandsAtTheNamesIsNeverWrittenThrough)
{
    enum Planted { Nothing, OlderFile, ReadOnlyFile, LinkAtFinal, LinkAtTemp, Folder };
    const struct { Planted planted; bool created; const char* error; } cases[] = {
        {Nothing, true, ""},
        {OlderFile, true, ""},
        {ReadOnlyFile, false, " is read-only; it was not replaced"},
        {LinkAtFinal, false, " is a symbolic link; it was not replaced"},
        {LinkAtTemp, true, ""},
        {Folder, false, " is not a file; it was not replaced"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.planted);
        QTemporaryDir dir;
        const QString path = dir.filePath("TRACK1.mp3"), victim = dir.filePath("victim");
        QFile v(victim);
        ASSERT_TRUE(v.open(QIODevice::WriteOnly));
        v.write("precious");
        v.close();
        QFile older(path);
        switch (c.planted) {
        case Nothing: break;
        case OlderFile:
        case ReadOnlyFile:
            ASSERT_TRUE(older.open(QIODevice::WriteOnly));
            older.write("older");
            older.close();
            if (c.planted == ReadOnlyFile)
                older.setPermissions(QFile::ReadOwner | QFile::ReadGroup);
            break;
        case LinkAtFinal: ASSERT_TRUE(QFile::link(victim, path)); break;
        case LinkAtTemp: ASSERT_TRUE(QFile::link(victim, path + ".part")); break;
        case Folder: ASSERT_TRUE(QDir().mkdir(path)); break;
        }
        const QByteArray before = readFile(path);
        {
            OutputFile file(path);
            ASSERT_EQ(file.create(), c.created) << file.errorString().toStdString();
            EXPECT_EQ(file.errorString(), *c.error ? path + c.error : QString());
            if (c.planted == LinkAtTemp) {
                EXPECT_NE(file.tempPath(), path + ".part") << "a taken name is never opened";
            }
            if (c.created) {
                ASSERT_TRUE(file.append("new", 3));
                ASSERT_TRUE(file.commit()) << file.errorString().toStdString();
            }
        }
        EXPECT_EQ(readFile(victim), "precious");
        EXPECT_EQ(readFile(path), c.created ? QByteArray("new") : before);
    }
}

TEST(RipNames, FileNamesAndBitrates)
{
    EXPECT_EQ(TrackFileName("/music", 12, ".WAV"), "/music/TRACK12.WAV");
    EXPECT_EQ(TrackFileName("/music/", 1, ".mp3"), "/music/TRACK1.mp3");
    EXPECT_EQ(TrackFileName("rel dir", 3, ".ogg"), "rel dir/TRACK3.ogg");
    const std::pair<const char*, const char*> rates[] = {
        {"128 Kbps", "128"}, {"", "0"}, {"Kbps", "0"}, {"032 Kbps", "32"}, {" 96 Kbps", "96"}};
    for (const auto& [entry, expected] : rates)
        EXPECT_EQ(LeadingBitrate(entry), expected) << entry;
}

// Stop answered No mid-way: the job goes on, the window stays disabled while
// reading, and each track locks the door and unlocks it after.
TEST_F(RipWindow, BoxesTitlesAndTheWindowWhileReading)
{
    frmMain& w = startWav(3);
    check({1, 3});
    bool windowDisabledWhileReading = true, stopUsable = true;
    audio.onBlock = [&](int block) {
        windowDisabledWhileReading &= !w.ContentEnabled();
        auto* rip = qobject_cast<frmRipp*>(QApplication::activeModalWidget());
        stopUsable &= rip && rip->cmdStop->isEnabled();
        if (rip && block == 2)
            rip->cmdStop->click();
    };
    w.ShowRipWindow();

    ASSERT_EQ(dialogs.boxes.size(), 2);
    EXPECT_EQ(dialogs.boxes[0].title, "Are you sure?");
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Question);
    EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(lastBox(), "2 Tracks have been Ripped to " + folder);
    EXPECT_EQ(dialogs.boxes[1].title, "Ripping Completed");
    EXPECT_EQ(dialogs.boxes[1].icon, MsgIcon::Information);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"TRACK1.WAV", "TRACK3.WAV"}));
    EXPECT_EQ(audio.callsNamed("BASS_CD_Door("),
              (std::vector<std::string>{"BASS_CD_Door(0,2)", "BASS_CD_Door(0,3)", "BASS_CD_Door(0,2)",
                                        "BASS_CD_Door(0,3)"}));
    EXPECT_TRUE(windowDisabledWhileReading);
    EXPECT_TRUE(stopUsable);
    EXPECT_TRUE(w.ContentEnabled());
    EXPECT_FALSE(w.rippingActive);
}

TEST_F(RipWindow, FailuresAreReportedOnceAndCountedAsNotRipped)
{
    frmMain& w = startWav(3);
    check({1, 2, 3});
    // An older file of the same name survives a failed rip untouched.
    writeOld("TRACK2.WAV", "an older rip");
    // Reads fail from track 1's second block on: the drive delivers nothing.
    audio.onBlock = [&](int block) {
        if (block == 2)
            audio.failures["BASS_ChannelGetData"] = BASS_ERROR_NOCD;
    };
    w.ShowRipWindow();
    ASSERT_GE(dialogs.boxes.size(), 3);
    // Track 1 failed mid-way, tracks 2 and 3 as well: one report each.
    int reports = 0;
    for (const ShownBox& box : dialogs.boxes)
        reports += box.text.startsWith("Error in routine : ExtractAudioTrackin module : frmDemo") ? 1 : 0;
    EXPECT_EQ(reports, 3);
    // The closing box says again why each track failed.
    EXPECT_EQ(lastBox(), notRipped(3) + "\r\nTrack 01: The disc could not be read (" + AudioErrorText(BASS_ERROR_NOCD) +
                             ", code 12)\r\nTrack 02: The disc could not be read (" + AudioErrorText(BASS_ERROR_NOCD) +
                             ", code 12)\r\nTrack 03: The disc could not be read (" + AudioErrorText(BASS_ERROR_NOCD) +
                             ", code 12)");
    EXPECT_EQ(readFile(folder + "/TRACK2.WAV"), "an older rip");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"TRACK2.WAV"}));
    EXPECT_TRUE(w.ContentEnabled());
    EXPECT_FALSE(doorLocked());
}

TEST_F(RipWindow, StreamThatCannotBeCreatedShowsItsBox)
{
    frmMain& w = startWav(2);
    check({1});
    audio.drives[0].doorOpen = true;
    w.ShowRipWindow();
    ASSERT_EQ(dialogs.boxes.size(), 2);
    EXPECT_EQ(dialogs.boxes[0].text, "Unable to Create CD Stream!");
    EXPECT_EQ(dialogs.boxes[0].title, "Quillmere");
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::None);
    EXPECT_TRUE(lastBox().startsWith(notRipped(1) + "\r\nTrack 01: the track could not be opened (")) << lastBox().toStdString();
    EXPECT_FALSE(doorLocked());
}

TEST_F(RipWindow, UnwritableFolderAndFullDiskFailTheTrack)
{
    frmMain& w = startWav(2, 400000);
    check({1});
    // The folder text names a file: nothing can be created in it.
    QFile blocker(dir.path() + "/afile");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    w.options->txtExtractPath->setText(dir.path() + "/afile");
    w.ShowRipWindow();
    ASSERT_EQ(dialogs.boxes.size(), 2);
    EXPECT_TRUE(dialogs.boxes[0].text.startsWith("Error in routine : ExtractAudioTrackin module : frmDemo\r\nError #"));
    EXPECT_TRUE(lastBox().contains("1 Tracks could not be Ripped.\r\nTrack 01: " + dir.path() + "/afile/TRACK1.WAV: Not a directory"))
        << lastBox().toStdString();

    // A disk that fills mid-track: files may not grow past 100 kB.
    dialogs.boxes.clear();
    w.options->txtExtractPath->setText(folder);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100000;
    setrlimit(RLIMIT_FSIZE, &small);
    w.ShowRipWindow();
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_EQ(dialogs.boxes.size(), 2);
    EXPECT_TRUE(dialogs.boxes[0].text.contains("Error #75")) << dialogs.boxes[0].text.toStdString();
    EXPECT_TRUE(dialogs.boxes[0].text.endsWith("TRACK1.WAV: File too large")) << "the system's own words";
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(w.ContentEnabled());
    EXPECT_FALSE(doorLocked());
}
