// The rip layer over the fake library: the output file's rules, the texts it
// builds, and every format's writer run by the window's own rip job.
#include "WindowRig.h"
#include "diag/ErrorReport.h"
#include "rip/EncoderWriter.h"
#include "rip/ErrorLog.h"
#include "rip/OutputFile.h"
#include "rip/WmaWriter.h"
#include "rip/frmRipp.h"
#include "settings/OptionsPanels.h"

#include <QCheckBox>
#include <QApplication>
#include <QRadioButton>
#include <QTimer>

using namespace qm;
using namespace qm::test;

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A main window over the fake library with one drive; its rip job writes each
// time into a new folder whose parent is missing too (as the default
// ~/Music/Ripped Audio on a new account).
struct Rip : ::testing::Test, WindowRig {
    QString folder;

    void SetUp() override { QFile::remove(ErrorLogPath()); }

    frmMain& start(int tracks = 5, std::int32_t bytesPerTrack = 600000)
    {
        audio.drives.clear();
        audio.failures.clear(); // nothing fails, encoders end well
        audio.encoderStatus = {true, true, 0, 0};
        audio.encoderWritesFile = true;
        addDrive(tracks, bytesPerTrack);
        WindowRig::start();
        folder = dir.path();
        dialogs.boxes.clear();
        return *window;
    }
    frmMain& startWith(int format, int tracks = 3, std::int32_t bytes = 100000)
    {
        frmMain& w = start(tracks, bytes);
        w.rip().ripStartDelayMs = 0;
        audio.blocks = 0;
        folder = QStringLiteral("%1/%2/Music/Ripped Audio").arg(dir.path()).arg(++m_runs);
        w.settings().options->txtExtractPath->setText(folder);
        w.settings().options->SelectFormat(format);
        // The fake encoder's files are no MP3 or OGG to tag; tags are the real encoders' test.
        w.settings().options->chkTagFiles->setChecked(false);
        return w;
    }
    QString lastBox() const { return dialogs.boxes.isEmpty() ? QString() : dialogs.boxes.last().text; }
    QStringList logLines() const
    {
        QStringList lines = QString::fromUtf8(ReadFile(ErrorLogPath())).split(QStringLiteral("\r\n"));
        EXPECT_EQ(lines.takeLast(), QString()) << "every line ends in CR LF";
        return lines;
    }
    // The tracks' files; the rip log beside them has tests of its own.
    QStringList files() const
    {
        QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.removeIf([](const QString& name) { return name.endsWith(QLatin1String(".log")); });
        return names;
    }
private:
    int m_runs = 0;
};

} // namespace

TEST(OutputFile, WhatStandsAtTheNamesIsNeverWrittenThrough)
{
    enum Planted { OlderFile, ReadOnlyFile, LinkAtFinal, LinkAtTemp, Folder };
    const struct { Planted planted; bool created; const char* error; } cases[] = {
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
        QFile v(victim), older(path);
        ASSERT_TRUE(v.open(QIODevice::WriteOnly));
        v.write("precious");
        v.close();
        if (c.planted == OlderFile || c.planted == ReadOnlyFile) {
            ASSERT_TRUE(older.open(QIODevice::WriteOnly));
            older.write("older");
            older.close();
            if (c.planted == ReadOnlyFile)
                older.setPermissions(QFile::ReadOwner | QFile::ReadGroup);
        }
        if (c.planted == LinkAtFinal || c.planted == LinkAtTemp) {
            ASSERT_TRUE(QFile::link(victim, c.planted == LinkAtFinal ? path : path + ".part"));
        }
        if (c.planted == Folder) {
            ASSERT_TRUE(QDir().mkdir(path));
        }
        const QByteArray before = ReadFile(path);
        {
            OutputFile file(path);
            ASSERT_EQ(file.create(), c.created) << file.errorString().toStdString();
            EXPECT_EQ(file.errorString(), *c.error ? path + c.error : QString());
            if (c.created) {
                ASSERT_TRUE(file.append("new", 3));
                ASSERT_TRUE(file.commit()) << file.errorString().toStdString();
            }
        }
        EXPECT_EQ(ReadFile(victim), "precious");
        EXPECT_EQ(ReadFile(path), c.created ? QByteArray("new") : before);
    }
}

TEST(RipTexts, NamesRatesAndLogLines)
{
    EXPECT_EQ(EncoderCommandLine("mp3c", "128", "/music/TRACK3.mp3"), "") << "format codes are exact";
    EXPECT_EQ(WmaRateText(2500, QLocale(QLocale::English)), "2 Kbps") << "halves to the even neighbour";
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
    const QString date = english.toString(when.date(), QLocale::ShortFormat);
    // A line break in a path cannot split the line.
    EXPECT_EQ(ErrorLogLine(when, english, AudioErrorText(8), 8, "a\nb.wav"),
              "14:07:09 " + date + " BASS_Init Has Not Been Successfully Called 8 occured when Morlo tried to "
                                   "play/convert: a b.wav\r\n");
}

TEST(ErrorLog, LivesInTheStateFolder)
{
    EXPECT_EQ(ErrorLogPath(), qEnvironmentVariable("XDG_STATE_HOME") + "/quillmere/Errors.log");
    QDir(qEnvironmentVariable("XDG_STATE_HOME") + "/quillmere").removeRecursively();
    ASSERT_TRUE(AppendErrorLog("one\r\n"));
    ASSERT_TRUE(AppendErrorLog("two\r\n"));
    EXPECT_EQ(ReadFile(ErrorLogPath()), "one\r\ntwo\r\n");
}

TEST_F(Rip, TheWmaRateListIsTheEncodersOrSaysThereIsNone)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    audio.wmaRates = {1411200, 32000, 0, 96000};
    frmMain& w = start();
    QLocale::setDefault(QLocale::system());
    QComboBox* list = w.settings().options->cmbWMAEncodingBitrate;
    ASSERT_EQ(list->count(), 2) << "the list ends at the first 0";
    EXPECT_EQ(list->itemText(0), "1,411 Kbps");
    EXPECT_EQ(list->itemData(1).toUInt(), 32000u);
    EXPECT_EQ(list->currentIndex(), 0);

    audio.failures["BASS_WMA_EncodeGetRates"] = BASS_ERROR_NOTAVAIL;
    list->clear();
    w.LoadWMAEncoderRates();
    EXPECT_EQ(list->count(), 0);
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Error: Can't find a codec\r\n\r\nError Code : 37");
}

// Rows 1 and 3 of three in each format: its block size, its encoder
// settings, the door locked for each track only, the window disabled while
// reading, and the files in place.
TEST_F(Rip, EachFormatReadsItsBlocksWithItsSettings)
{
    const struct {
        int format;
        bool constant;
        const char* rate;
        const char* writes; // the start of the call that opens the output
        DWORD block;
        const char* file;
    } cases[] = {
        {FormatWav, true, "", nullptr, 20000, "TRACK%1.WAV"},
        {FormatWma, true, "", "QM_WMA_EncodeOpenWriter(44100,65536,128000)", 20000, "TRACK%1.WMA"},
        {FormatMp3, false, "160 Kbps", "lame.exe --abr 160 - \"%2/TRACK%1.mp3.part\"", 262144, "TRACK%1.mp3"},
        {FormatOgg, true, "96 Kbps", "oggenc.exe --managed -b 96 -  -o \"%2/TRACK%1.ogg.part\"", 262144,
         "TRACK%1.ogg"},
        // The preset ignores the MP3 options.
        {FormatPortable, false, "160 Kbps", "lame.exe -b 128 - \"%2/TRACK%1.mp3.part\"", 262144, "TRACK%1.mp3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        frmMain& w = startWith(c.format);
        OptionsPanels& o = *w.settings().options;
        const bool ogg = c.format == FormatOgg;
        (ogg ? o.optOGGCBR : c.constant ? o.optMP3CBR : o.optMP3VBR)->setChecked(true);
        QComboBox* list = ogg ? o.cmbOGGCBitrate : c.constant ? o.cmbMP3CBitrate : o.cmbMP3VBitrate;
        list->setCurrentIndex(list->findText(c.rate));
        for (QLineEdit* box : o.txtWMATags)
            box->clear();
        o.txtWMATags[0]->setText("Süße Stille");
        o.txtWMATags[7]->setText("1999");
        check({1, 3});
        bool disabled = true;
        audio.onBlock = [&](int) { disabled &= !w.ContentEnabled(); };
        w.ShowRipWindow();

        EXPECT_EQ(lastBox(), "2 Tracks have been Ripped to " + folder);
        EXPECT_EQ(files(), QStringList({QString(c.file).arg(1), QString(c.file).arg(3)}));
        for (const std::string& read : audio.callsNamed("BASS_ChannelGetData"))
            EXPECT_NE(read.find("," + std::to_string(c.block) + ")"), std::string::npos) << read;
        EXPECT_EQ(audio.callsNamed("BASS_CD_Door("),
                  (std::vector<std::string>{"BASS_CD_Door(0,2)", "BASS_CD_Door(0,3)", "BASS_CD_Door(0,2)",
                                            "BASS_CD_Door(0,3)"}));
        EXPECT_TRUE(disabled);
        EXPECT_TRUE(w.ContentEnabled());
        const std::vector<std::string> calls = audio.calls();
        if (c.format == FormatWma) {
            // Tags in their order, the track number, then the one that ends them, right after the open.
            const auto open = std::find_if(calls.begin(), calls.end(), [&](auto& s) { return s.starts_with(c.writes); });
            ASSERT_LT(open + 4, calls.end());
            EXPECT_TRUE(open[1].ends_with(",Title,Süße Stille)") && open[2].ends_with(",WM/Year,1999)") &&
                        open[3].ends_with(",WM/TrackNumber,1)") && open[4].ends_with(",,)"))
                << open[1] << open[2] << open[3] << open[4];
            EXPECT_EQ(QFileInfo(folder + "/TRACK1.WMA").size(), 16 + 100000) << "what the encoder handed back";
        } else if (c.writes) {
            const auto starts = audio.callsNamed("BASS_Encode_Start");
            ASSERT_EQ(starts.size(), 2u);
            EXPECT_NE(starts[1].find(QString(c.writes).arg(3).arg(folder).toStdString()), std::string::npos)
                << starts[1];
            // A fresh library for every track, shut down again after it.
            const auto lock = std::find(calls.begin(), calls.end(), "BASS_CD_Door(0,2)");
            EXPECT_EQ(std::vector<std::string>(lock - 3, lock), (std::vector<std::string>{
                "BASS_Init(1,44100,0," + std::to_string(w.windowHandle()) + ",null)", "BASS_SetConfig(9,0)",
                "BASS_Encode_Stop(0)"}));
            EXPECT_FALSE(audio.initialised());
        } else {
            EXPECT_EQ(QFileInfo(folder + "/TRACK1.WAV").size(), 44 + 100000);
        }
    }
}

// Each failure: the box its writer shows (none for an encoder, whose line
// goes to the error log), the reason again in the closing box, the older
// file of the name as it was, nothing else left, the door unlocked. Full
// disks and read-only files are the command line's test.
TEST_F(Rip, EveryFailureIsToldAndLeavesTheOlderFile)
{
    const QString unread = QStringLiteral("The disc could not be read (%1, code 37)").arg(AudioErrorText(37));
    auto fail = [](const char* call, int code) { return [=](Rip& r) { r.audio.failures[call] = code; }; };
    auto ends = [](QM_ENCODE_STATUS s) { return [=](Rip& r) { r.audio.encoderStatus = s; }; };
    const struct {
        const char* name;
        int format;
        std::function<void(Rip&)> script;
        QString box;    // the start of the writer's box; "" for none
        QString reason; // the end of the closing box's line for the track
    } cases[] = {
        {"WAV stream", FormatWav, [](Rip& r) { r.audio.drives[0].doorOpen = true; }, "Unable to Create CD Stream!",
         "the track could not be opened (" + AudioErrorText(BASS_ERROR_NOCD) + ")"},
        {"WAV read", FormatWav, fail("BASS_ChannelGetData", 37),
         "Error in routine : ExtractAudioTrackin module : frmDemo\r\nError #57\r\n" + unread, unread},
        {"WMA open", FormatWma, fail("QM_WMA_EncodeOpenWriter", 33),
         "An error occured while opening output file.\r\n\r\nError Code : 33",
         "An error occured while opening output file (" + AudioErrorText(33) + ")"},
        {"WMA write", FormatWma, fail("BASS_WMA_EncodeWrite", 37),
         "An error occured while encoding WMA data.\r\n\r\nError Code : 37",
         "An error occured while encoding WMA data (" + AudioErrorText(37) + ")"},
        {"no WMA rate", FormatWma, [](Rip& r) { r.window->settings().options->cmbWMAEncodingBitrate->clear(); },
         "Track 1 was not ripped: no WMA bitrate is selected", "no WMA bitrate is selected (no WMA encoder offered one)"},
        {"lame missing", FormatMp3, fail("BASS_Encode_Start", BASS_ERROR_FILEOPEN), "",
         "lame was not found (install the lame package)"},
        {"exit 1", FormatMp3, ends({true, true, 1, 0}), "", "lame exited with status 1"},
        {"killed", FormatOgg, ends({true, true, -1, 9}), "", "oggenc was ended by signal 9"},
        {"no file", FormatMp3, [](Rip& r) { r.audio.encoderWritesFile = false; }, "",
         "lame reported success but wrote no file"},
        {"MP3 read", FormatMp3, fail("BASS_ChannelGetData", 37), "",
         "The source could not be read (" + AudioErrorText(37) + ")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        frmMain& w = startWith(c.format, 1, 600000);
        QFile::remove(ErrorLogPath());
        QDir().mkpath(folder);
        QFile old(folder + (c.format == FormatWav ? "/TRACK1.WAV" : c.format == FormatWma ? "/TRACK1.WMA" : "/TRACK1.mp3"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("an older rip") == 12);
        old.close();
        c.script(*this);
        const QStringList before = files();
        check({1});
        w.ShowRipWindow();

        ASSERT_EQ(dialogs.boxes.size(), c.box.isEmpty() ? 1 : 2);
        EXPECT_TRUE(dialogs.boxes[0].text.startsWith(c.box)) << dialogs.boxes[0].text.toStdString();
        EXPECT_TRUE(lastBox().startsWith("0 Tracks have been Ripped to " + folder + "\r\n1 Tracks could not be Ripped.\r\nTrack 01: "));
        EXPECT_TRUE(lastBox().endsWith(c.reason)) << lastBox().toStdString();
        EXPECT_EQ(files(), before) << "nothing new, and the older file as it was";
        EXPECT_EQ(ReadFile(folder + "/" + before.value(0)), "an older rip");
        EXPECT_EQ(QFile::exists(ErrorLogPath()), c.box.isEmpty()) << "encoders' failures are logged";
        EXPECT_FALSE(audio.drives[0].doorLocked);
        EXPECT_TRUE(w.ContentEnabled());
    }
}

// Stop confirmed at the second block: the track is kept shorter and valid and
// nothing else is ripped; the WAV and WMA writers clear the stop flag, the
// encoder's completes what it got. Answered No, the job goes on.
TEST_F(Rip, StopKeepsAShorterFileOnlyWhenConfirmed)
{
    // Blocks of 20000 bytes for WAV and WMA, 262144 for the encoders.
    const struct { int format; std::int32_t bytes; MsgAnswer answer; QStringList files; qint64 size; bool flagLeft; } cases[] = {
        {FormatWav, 100000, MsgAnswer::Yes, {"TRACK1.WAV"}, 44 + 40000, false},
        {FormatWma, 100000, MsgAnswer::Yes, {"TRACK1.WMA"}, 16 + 40000, false},
        {FormatMp3, 600000, MsgAnswer::Yes, {"TRACK1.mp3"}, 18, true},
        {FormatWav, 100000, MsgAnswer::No, {"TRACK1.WAV", "TRACK2.WAV"}, 44 + 100000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format * 10 + (c.answer == MsgAnswer::Yes));
        frmMain& w = startWith(c.format, 2, c.bytes);
        dialogs.answers = {c.answer};
        check({1, 2});
        audio.onBlock = [&](int block) {
            auto* job = qobject_cast<frmRipp*>(QApplication::activeModalWidget());
            if (job && block == 2)
                job->cmdStop->click();
        };
        w.ShowRipWindow();
        ASSERT_EQ(dialogs.boxes.size(), 2);
        EXPECT_EQ(dialogs.boxes[0].text, "Are you sure that you want to cancel the ripping process?");
        EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::YesNo);
        EXPECT_EQ(lastBox(), QStringLiteral("%1 Tracks have been Ripped to ").arg(c.files.size() - 1 + (c.answer == MsgAnswer::No)) + folder);
        EXPECT_EQ(files(), c.files);
        EXPECT_EQ(QFileInfo(folder + "/" + c.files[0]).size(), c.size);
        EXPECT_EQ(w.state().ripStop, c.flagLeft);
        EXPECT_FALSE(w.state().rippingActive);
        EXPECT_FALSE(audio.drives[0].doorLocked);
    }
}

// An encoder that reads nothing more is killed at the user's Stop and the
// track fails (its watchdog is the command line's test).
TEST_F(Rip, StalledEncoderIsKilledAtStop)
{
    frmMain& w = start(2, 2000000);
    w.state().ripStop = false;
    audio.encoderStalls = true;
    QTimer::singleShot(50, &w, [&w] { w.StopRipping(); });
    EncoderWriter writer(audio, 0, w.state().currentStream, w.state().ripStop,
                         {"MP3C", "128", folder + "/TRACK1.mp3", "0", 1000});
    EXPECT_EQ(RipOneTrack(w.ripContext(), 0, writer, {true, 0, {}}), RipResult::Failed);
    EXPECT_EQ(audio.blocks, 1) << "nothing more is read while it stalls";
    EXPECT_EQ(audio.callsNamed("QM_Encode_Kill").size(), 1u);
    EXPECT_EQ(writer.failure().reason, "lame did not finish within 1 s after the end of its input and was stopped");
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
}

// The conversion outside a job: a file source through its stream, what
// would misrun an encoder refused before anything starts, and a failed
// library restart logged while the file is still made.
TEST_F(Rip, ConvertingFilesRefusalsAndTheRestartsCode)
{
    frmMain& w = start();
    audio.files = {{"/in/SONG.WMA", 300000}};
    EXPECT_EQ(w.Converter("/in/SONG.WMA", "OGGC", "128", folder + "/out.ogg", false), RipResult::Ripped);
    EXPECT_EQ(audio.callsNamed("BASS_WMA_StreamCreateFile(0,/in/SONG.WMA,0,0,2359296)").size(), 1u);
    EXPECT_EQ(audio.callsNamed("BASS_CD_").size(), 0u) << "no drive, no door";
    EXPECT_TRUE(logLines().isEmpty());

    const struct { const char* format; const char* rate; const char* file; const char* logged; } refused[] = {
        {"MP3C", "128", "/tmp/a\"b/TRACK1.mp3", "holds a double quote"},
        {"OGGC", "128 -o /etc/x", "/tmp/TRACK1.ogg", "The bitrate \"128 -o /etc/x\" is not a number"},
    };
    for (const auto& c : refused) {
        QFile::remove(ErrorLogPath());
        audio.clearCalls();
        EXPECT_EQ(w.Converter("0", c.format, c.rate, c.file, true), RipResult::Failed) << c.file;
        EXPECT_TRUE(audio.calls().empty()) << "nothing starts";
        ASSERT_EQ(logLines().size(), 1);
        EXPECT_TRUE(logLines()[0].contains(c.logged)) << logLines()[0].toStdString();
        EXPECT_TRUE(logLines()[0].contains(" 20 occured when Morlo tried to play/convert: 0"));
    }

    QFile::remove(ErrorLogPath());
    audio.failures["BASS_Init"] = BASS_ERROR_DEVICE;
    EXPECT_EQ(w.Converter("4", "MP3C", "128", folder + "/TRACK5.mp3", true), RipResult::Ripped);
    ASSERT_EQ(logLines().size(), 1);
    EXPECT_TRUE(logLines()[0].endsWith(" BASS_Init Has Not Been Successfully Called 8 occured when Morlo tried to "
                                       "play/convert: 4"))
        << logLines()[0].toStdString();
}
