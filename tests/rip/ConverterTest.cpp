#include "WriterRig.h"

#include "diag/ErrorReport.h"
#include "rip/EncoderWriter.h"
#include "rip/frmRipp.h"

#include <QComboBox>
#include <QDir>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTreeWidget>

using namespace qm;
using namespace qm::test;

namespace {
std::vector<std::string> withoutPolling(const BlockWatchingLibrary& audio)
{
    return audio.callsWithout({"BASS_ChannelIsActive", "BASS_ChannelGetData", "QM_Encode_GetStatus", "QM_Encode_Flush"});
}
} // namespace

TEST(EncoderCommandLine, FourFormatsCaseSensitive)
{
    const struct { const char* format; const char* rate; const char* expected; } cases[] = {
        {"MP3C", "128", R"(lame.exe -b 128 - "/music/Ripped Audio/TRACK3.mp3")"},
        {"MP3V", "160", R"(lame.exe --abr 160 - "/music/Ripped Audio/TRACK3.mp3")"},
        {"OGGC", "96", R"(oggenc.exe --managed -b 96 -  -o "/music/Ripped Audio/TRACK3.mp3")"},
        {"OGGV", "192", R"(oggenc.exe -b 192 -  -o "/music/Ripped Audio/TRACK3.mp3")"},
        {"mp3c", "128", ""},
        {"OGG", "128", ""},
        {"", "128", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncoderCommandLine(c.format, c.rate, "/music/Ripped Audio/TRACK3.mp3"), c.expected) << c.format;
}

TEST(ErrorLog, LineLayout)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
    const QString date = english.toString(when.date(), QLocale::ShortFormat);
    EXPECT_EQ(ErrorLogLine(when, english, AudioErrorText(8), 8, "4"),
              "14:07:09 " + date + " BASS_Init Has Not Been Successfully Called 8 occured when Morlo tried to "
                                   "play/convert: 4\r\n");
    // Codes without a text leave an empty piece; a line break in a path
    // cannot split the line.
    EXPECT_EQ(ErrorLogLine(when, english, "", 26, "a\nb.wav"),
              "14:07:09 " + date + "  26 occured when Morlo tried to play/convert: a b.wav\r\n");
}

TEST(ErrorLog, LivesInTheStateFolder)
{
    EXPECT_EQ(ErrorLogPath(), qEnvironmentVariable("XDG_STATE_HOME") + "/quillmere/Errors.log");
    QDir(qEnvironmentVariable("XDG_STATE_HOME") + "/quillmere").removeRecursively();
    ASSERT_TRUE(AppendErrorLog("one\r\n"));
    ASSERT_TRUE(AppendErrorLog("two\r\n"));
    QFile f(ErrorLogPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "one\r\ntwo\r\n");
}

using Converter = WriterRig;

TEST_F(Converter, CdTrackCallsInOrder)
{
    frmMain& w = start();
    const HSTREAM old = 77;
    w.currentStream = old;
    const QString out = folder + "/TRACK4.mp3";
    EXPECT_EQ(w.Converter("3", "MP3C", "128", out, true), RipResult::Ripped);

    const HSTREAM s = audio.lastStream();
    const std::string h = std::to_string(s), o = std::to_string(old);
    // The encoder writes beside the final name; the file takes it when done.
    EXPECT_EQ(withoutPolling(audio),
              (std::vector<std::string>{
                  "BASS_ChannelStop(" + o + ")", "BASS_StreamFree(" + o + ")", "BASS_Free()",
                  "BASS_Init(1,44100,0," + std::to_string(w.windowHandle()) + ",null)", "BASS_SetConfig(9,0)",
                  "BASS_Encode_Stop(" + o + ")", "BASS_CD_Door(0,2)", "BASS_CD_StreamCreate(0,3,2359296)",
                  "BASS_Encode_Start(" + h + ",lame.exe -b 128 - \"" + out.toStdString() + ".part\",0)",
                  "QM_Encode_EndInput(" + h + ")", "BASS_Encode_Stop(" + h + ")", "BASS_ChannelStop(" + h + ")",
                  "BASS_StreamFree(" + h + ")", "BASS_Free()", "BASS_CD_Door(0,3)"}));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"TRACK4.mp3"});
    EXPECT_EQ(w.currentStream, s);
    // 600000 bytes in 262144-byte blocks.
    EXPECT_EQ(audio.callsNamed("BASS_ChannelGetData"),
              std::vector<std::string>(3, "BASS_ChannelGetData(" + h + ",262144)"));
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_FALSE(doorLocked());
    EXPECT_TRUE(w.ContentEnabled());
    EXPECT_TRUE(dialogs.boxes.isEmpty()) << "the converter never shows a box";
}

TEST_F(Converter, FailedRestartLogsTheShutdownCode)
{
    frmMain& w = start();
    audio.failures["BASS_Init"] = BASS_ERROR_DEVICE;
    // The file is still made: decoding needs no output.
    EXPECT_EQ(w.Converter("4", "MP3C", "128", folder + "/TRACK5.mp3", true), RipResult::Ripped);
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1);
    const QString date = QRegularExpression::escape(QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d " + date +
                                   " BASS_Init Has Not Been Successfully Called 8 occured when Morlo tried "
                                   "to play/convert: 4$")
                    .match(lines[0])
                    .hasMatch())
        << lines[0].toStdString();
}

TEST_F(Converter, EachFailureLogsOneLineFailsAndLeavesNoFile)
{
    struct Case {
        const char* name;
        std::function<void(BlockWatchingLibrary&)> script;
        const char* source;
        const char* logged; // the line's text and code
        std::size_t stops;  // of an encoder: the old stream's, and the track's when one ran
        const char* format = "MP3C";
    };
    const Case cases[] = {
        {"no such track", [](auto&) {}, "9", " Can't Play the Selected CD Track 13 occured", 1},
        {"encoder not found", [](auto& a) { a.failures["BASS_Encode_Start"] = BASS_ERROR_FILEOPEN; }, "1",
         " lame was not found (install the lame package) 2 occured", 1},
        {"exit status 1", [](auto& a) { a.encoderStatus = {true, true, 1, 0}; }, "1",
         " lame exited with status 1 -1 occured", 2},
        {"killed", [](auto& a) { a.encoderStatus = {true, true, -1, 9}; }, "1", " lame was ended by signal 9 -1 occured",
         2},
        {"status unknown", [](auto& a) { a.failures["QM_Encode_GetStatus"] = BASS_ERROR_HANDLE; }, "1",
         " lame left no exit status -1 occured", 2},
        {"no file written", [](auto& a) { a.encoderWritesFile = false; }, "1",
         " lame reported success but wrote no file -1 occured", 2},
        {"read error", [](auto& a) { a.failures["BASS_ChannelGetData"] = BASS_ERROR_NOTAVAIL; }, "1",
         " The source could not be read (The requested data is not available) 37 occured", 2},
        {"unknown format", [](auto&) {}, "0", " Unknown format code \"mp3c\": no encoder was started 20 occured", 0,
         "mp3c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        audio.failures.clear();
        audio.encoderStatus = {true, true, 0, 0};
        audio.encoderWritesFile = true;
        frmMain& w = start();
        QFile::remove(ErrorLogPath());
        c.script(audio);
        EXPECT_EQ(w.Converter(c.source, c.format, "128", folder + "/TRACK2.mp3", true), RipResult::Failed);
        const QStringList lines = logLines();
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines[0].contains(c.logged)) << lines[0].toStdString();
        EXPECT_TRUE(lines[0].endsWith(QStringLiteral("play/convert: ") + c.source));
        EXPECT_EQ(audio.callsNamed("BASS_Encode_Stop").size(), c.stops);
        EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
        EXPECT_FALSE(doorLocked());
        EXPECT_TRUE(w.ContentEnabled());
        EXPECT_EQ(audio.initialised(), c.stops == 0) << "the library is left shut down once restarted";
        EXPECT_TRUE(dialogs.boxes.isEmpty());
    }
}

// An encoder that reads nothing more is stopped by the watchdog, or sooner by
// the user's Stop; either way it is killed and the track fails.
TEST_F(Converter, StalledEncoderIsStoppedByTheWatchdogOrByStop)
{
    for (bool userStops : {false, true}) {
        SCOPED_TRACE(userStops);
        frmMain& w = start(2, 2000000);
        w.ripStop = false;
        audio.encoderStalls = true;
        QFile::remove(ErrorLogPath());
        if (userStops)
            QTimer::singleShot(50, &w, [&w] { w.StopRipping(); });
        EncoderWriter writer(audio, 0, w.currentStream, w.ripStop,
                             {"MP3C", "128", folder + "/TRACK1.mp3", "0", userStops ? 1000 : 200});
        EXPECT_EQ(RipOneTrack(w.ripContext(), 0, writer, {true, 0, {}}), RipResult::Failed);
        EXPECT_EQ(audio.blocks, 1) << "nothing more is read while it stalls";
        EXPECT_EQ(audio.callsNamed("QM_Encode_Kill").size(), 1u);
        EXPECT_EQ(writer.failure().reason, userStops
                                               ? "lame did not finish within 1 s after the end of its input and was stopped"
                                               : "lame took no input for 0.2 s and was stopped");
        EXPECT_EQ(logLines().size(), 1);
        EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
        audio.blocks = 0;
    }
}

TEST_F(Converter, RefusesWhatWouldMisrunTheEncoder)
{
    frmMain& w = start();
    const struct { const char* format; const char* rate; const char* file; const char* logged; } cases[] = {
        {"MP3C", "128", "/tmp/a\"b/TRACK1.mp3", "holds a double quote"},
        {"MP3C", "", "/tmp/TRACK1.mp3", "The bitrate \"\" is not a number"},
        {"OGGC", "128 -o /etc/x", "/tmp/TRACK1.ogg", "is not a number"},
        {"OGGV", "abc", "/tmp/TRACK1.ogg", "is not a number"},
    };
    for (const auto& c : cases) {
        QFile::remove(ErrorLogPath());
        audio.clearCalls();
        EXPECT_EQ(w.Converter("0", c.format, c.rate, c.file, true), RipResult::Failed) << c.file;
        EXPECT_TRUE(audio.calls().empty()) << "nothing starts";
        ASSERT_EQ(logLines().size(), 1);
        EXPECT_TRUE(logLines()[0].contains(c.logged)) << logLines()[0].toStdString();
        EXPECT_TRUE(logLines()[0].contains(" 20 occured"));
    }
}

TEST_F(Converter, FileSourcesPickTheirStream)
{
    frmMain& w = start();
    audio.files = {{"/in/song.wma", 300000}, {"/in/SONG.WMA", 300000}, {"/in/song.mp3", 300000}};
    const struct { const char* file; const char* opener; } cases[] = {
        {"/in/song.wma", "BASS_WMA_StreamCreateFile(0,/in/song.wma,0,0,2359296)"},
        {"/in/SONG.WMA", "BASS_WMA_StreamCreateFile(0,/in/SONG.WMA,0,0,2359296)"},
        {"/in/song.mp3", "BASS_StreamCreateFile(0,/in/song.mp3,0,0,2359296)"},
    };
    for (const auto& c : cases) {
        audio.clearCalls();
        EXPECT_EQ(w.Converter(c.file, "OGGC", "128", folder + "/out.ogg", false), RipResult::Ripped);
        const auto opened = audio.callsWithout({"BASS_Channel", "BASS_Free", "BASS_Init", "BASS_SetConfig",
                                                "BASS_Encode", "BASS_StreamFree", "QM_"});
        EXPECT_EQ(opened, std::vector<std::string>{c.opener}) << "and no door call";
    }
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_EQ(w.Converter("/in/missing.mp3", "MP3C", "128", folder + "/x.mp3", false), RipResult::Failed);
    ASSERT_EQ(logLines().size(), 1);
    EXPECT_TRUE(logLines()[0].endsWith("Can't Open the File 2 occured when Morlo tried to play/convert: "
                                       "/in/missing.mp3"));
}

TEST_F(Converter, StopEndsTheTrackAndKeepsTheFlag)
{
    frmMain& w = start(2, 2000000);
    audio.onBlock = [&](int block) {
        if (block == 2)
            w.StopRipping();
    };
    EXPECT_EQ(w.Converter("1", "MP3V", "128", folder + "/TRACK2.mp3", true), RipResult::Cancelled);
    EXPECT_EQ(audio.blocks, 2);
    EXPECT_EQ(audio.callsNamed("BASS_Encode_Stop").size(), 2u) << "the encoder completes what it got";
    EXPECT_TRUE(w.ripStop) << "the job clears it";
    EXPECT_FALSE(doorLocked());
}

TEST_F(Converter, RipJobPassesFormatsAndCountsFailures)
{
    frmMain& w = start(3);
    OptionsPanels& o = *w.options;
    for (int row : {1, 3})
        w.lsTracks->topLevelItem(row - 1)->setCheckState(0, Qt::Checked);
    struct Case { int format; bool cbr; const char* combo; const char* expected; };
    const Case cases[] = {
        {FormatOgg, false, "192 Kbps", "oggenc.exe -b 192 -  -o \"%1/TRACK%2.ogg.part\""},
        {FormatOgg, true, "96 Kbps", "oggenc.exe --managed -b 96 -  -o \"%1/TRACK%2.ogg.part\""},
        {FormatMp3, false, "160 Kbps", "lame.exe --abr 160 - \"%1/TRACK%2.mp3.part\""},
        // The preset ignores the MP3 options.
        {FormatPortable, false, "160 Kbps", "lame.exe -b 128 - \"%1/TRACK%2.mp3.part\""},
    };
    for (const Case& c : cases) {
        o.SelectFormat(c.format);
        QRadioButton* cbr = c.format == FormatOgg ? o.optOGGCBR : o.optMP3CBR;
        QRadioButton* vbr = c.format == FormatOgg ? o.optOGGVBR : o.optMP3VBR;
        (c.cbr ? cbr : vbr)->setChecked(true);
        QComboBox* list = c.format == FormatOgg ? (c.cbr ? o.cmbOGGCBitrate : o.cmbOGGVBitrate)
                                                : (c.cbr ? o.cmbMP3CBitrate : o.cmbMP3VBitrate);
        list->setCurrentIndex(list->findText(c.combo));
        audio.clearCalls();
        dialogs.boxes.clear();
        w.ShowRipWindow();
        const auto starts = audio.callsNamed("BASS_Encode_Start");
        ASSERT_EQ(starts.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            const QString line = QString(c.expected).arg(folder).arg(i == 0 ? 1 : 3);
            EXPECT_NE(starts[static_cast<std::size_t>(i)].find(line.toStdString()), std::string::npos)
                << starts[static_cast<std::size_t>(i)];
        }
        ASSERT_FALSE(dialogs.boxes.isEmpty());
        EXPECT_TRUE(dialogs.boxes.last().text.startsWith("2 Tracks have been Ripped to "));
    }

    // An encoder that exits 1: both rows fail, and the summary says so.
    audio.encoderStatus = {true, true, 1, 0};
    QFile::remove(ErrorLogPath());
    dialogs.boxes.clear();
    w.ShowRipWindow();
    EXPECT_EQ(dialogs.boxes.last().text,
              "0 Tracks have been Ripped to " + folder +
                  "\r\n2 Tracks could not be Ripped.\r\nTrack 01: lame exited with status 1\r\nTrack 03: lame exited with "
                  "status 1");
    EXPECT_EQ(logLines().size(), 2);
}
