#include "WriterRig.h"

#include "rip/WmaWriter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>

using namespace qm;
using namespace qm::test;

TEST(WmaRateText, KilobitsGroupedByTheLocale)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const struct { DWORD bps; const QLocale& locale; const char* text; } cases[] = {
        {32000, english, "32 Kbps"},     {128000, english, "128 Kbps"},  {1411200, english, "1,411 Kbps"},
        {1411200, german, "1.411 Kbps"}, {2500, english, "2 Kbps"},      {3500, english, "4 Kbps"},
        {999, english, "1 Kbps"},        {400, english, "0 Kbps"},       {1000000000, english, "1,000,000 Kbps"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WmaRateText(c.bps, c.locale), c.text) << c.bps;
}

struct WmaFiles : WriterRig {
    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    std::vector<std::string> tagCalls() const { return audio.callsNamed("BASS_WMA_EncodeSetTag"); }
    void expectCleanedUp(frmMain& w)
    {
        EXPECT_FALSE(doorLocked());
        EXPECT_TRUE(w.ContentEnabled());
        EXPECT_EQ(audio.callsNamed("BASS_CD_Door").back(), "BASS_CD_Door(0,3)");
        if (FakeAudioLibrary::Stream* s = audio.stream(audio.lastStream())) {
            EXPECT_TRUE(s->freed);
        }
    }
};

TEST_F(WmaFiles, RateListAtStartUp)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    audio.wmaRates = {1411200, 32000, 64000, 128000, 0, 96000};
    frmMain& w = start();
    QComboBox* list = w.options->cmbWMAEncodingBitrate;
    ASSERT_EQ(list->count(), 4) << "the list ends at the first 0";
    const char* texts[] = {"1,411 Kbps", "32 Kbps", "64 Kbps", "128 Kbps"};
    const uint data[] = {1411200, 32000, 64000, 128000};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(list->itemText(i), texts[i]);
        EXPECT_EQ(list->itemData(i).toUInt(), data[i]);
    }
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(WmaFiles, NoCodecSaysSoAndLeavesTheListEmpty)
{
    audio.wmaAvailable = false;
    frmMain& w = start();
    EXPECT_EQ(w.options->cmbWMAEncodingBitrate->count(), 0);
    EXPECT_EQ(w.options->cmbWMAEncodingBitrate->currentIndex(), -1);
    // start() clears the boxes after loading; ask again to see the message.
    w.LoadWMAEncoderRates();
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Error: Can't find a codec\r\n\r\nError Code : 37");
    EXPECT_EQ(dialogs.boxes[0].title, "Error");
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Critical);
}

TEST_F(WmaFiles, WritesTheTrackWithTagsInOrder)
{
    frmMain& w = start(3, 50000);
    OptionsPanels& o = *w.options;
    for (QLineEdit* box : o.txtWMATags)
        box->clear();
    o.txtWMATags[0]->setText("Süße Stille");
    o.txtWMATags[7]->setText("1999");
    bool disabledWhileReading = true;
    audio.onBlock = [&](int) { disabledWhileReading &= !w.ContentEnabled(); };

    for (bool tags : {true, false}) {
        SCOPED_TRACE(tags);
        o.chkWMAFileTags->setChecked(tags);
        audio.clearCalls();
        EXPECT_EQ(w.ExtractAudioTrackToWMA(2, 128000), RipResult::Ripped);
        const std::string h = std::to_string(audio.lastStream());
        const std::vector<std::string> calls =
            audio.callsWithout({"BASS_ChannelIsActive", "BASS_ChannelGetData", "BASS_WMA_EncodeWrite"});
        std::vector<std::string> expected = {
            "BASS_CD_Door(0,2)", "BASS_CD_StreamCreate(0,2,2359296)",
            "QM_WMA_EncodeOpenWriter(44100,65536,128000)"};
        const std::string enc = calls.size() > 3 ? calls[3].substr(22, calls[3].find(',') - 22) : "";
        if (tags) {
            expected.push_back("BASS_WMA_EncodeSetTag(" + enc + ",Title,Süße Stille)");
            expected.push_back("BASS_WMA_EncodeSetTag(" + enc + ",WM/Year,1999)");
        }
        expected.push_back("BASS_WMA_EncodeSetTag(" + enc + ",,)");
        for (const char* tail : {"BASS_WMA_EncodeClose(", "BASS_ChannelStop(", "BASS_StreamFree(", "BASS_CD_Door(0,3)"})
            expected.push_back(tail);
        ASSERT_EQ(calls.size(), expected.size()) << ::testing::PrintToString(calls);
        for (std::size_t i = 0; i < calls.size(); ++i)
            EXPECT_EQ(calls[i].rfind(expected[i], 0), 0u) << calls[i] << " vs " << expected[i];
        // Exactly the bytes delivered, in 20000-byte blocks.
        EXPECT_EQ(audio.callsNamed("BASS_WMA_EncodeWrite"),
                  (std::vector<std::string>{"BASS_WMA_EncodeWrite(" + enc + ",20000)",
                                            "BASS_WMA_EncodeWrite(" + enc + ",20000)",
                                            "BASS_WMA_EncodeWrite(" + enc + ",10000)"}));
        EXPECT_EQ(QFileInfo(folder + "/TRACK3.WMA").size(), 16 + 50000) << "the file holds what the encoder handed back";
        expectCleanedUp(w);
    }
    EXPECT_TRUE(disabledWhileReading);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(WmaFiles, FailuresShowTheirMessageAndCleanUp)
{
    // A failed read must not pass its -1 byte count to the encoder. It is an
    // unexpected error: its box goes on with the details, so only its start
    // is fixed here.
    const struct { const char* failing; int code; const char* message; int writes, closes; } cases[] = {
        {"BASS_CD_StreamCreate", BASS_ERROR_NOCD, "Unable to Create CD Stream!\r\n\r\nError Code : 12", 0, 0},
        {"QM_WMA_EncodeOpenWriter", BASS_ERROR_CREATE,
         "An error occured while opening output file.\r\n\r\nError Code : 33", 0, 0},
        {"BASS_WMA_EncodeClose", BASS_ERROR_CREATE, "An error occured while encoding WMA data.\r\n\r\nError Code : 33",
         5, 1},
        {"BASS_WMA_EncodeWrite", BASS_ERROR_NOTAVAIL,
         "An error occured while encoding WMA data.\r\n\r\nError Code : 37", 1, 1},
        {"BASS_ChannelGetData", BASS_ERROR_NOTAVAIL, "Error in routine : ExtractAudioTrackToWMAin module : frmDemo", 0,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        audio.failures.clear();
        frmMain& w = start(2, 100000);
        audio.failures[c.failing] = c.code;
        EXPECT_EQ(w.ExtractAudioTrackToWMA(0, 64000), RipResult::Failed);
        ASSERT_EQ(dialogs.boxes.size(), 1);
        const QString shown = dialogs.boxes[0].text;
        const bool unexpected = c.closes > c.writes;
        EXPECT_EQ(unexpected ? shown.left(QString(c.message).size()) : shown, c.message);
        if (!unexpected) {
            EXPECT_EQ(dialogs.boxes[0].title, "Error");
            EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Critical);
        }
        EXPECT_EQ(audio.callsNamed("BASS_WMA_EncodeWrite").size(), static_cast<std::size_t>(c.writes));
        // A file that was opened is closed with what it holds.
        EXPECT_EQ(audio.callsNamed("BASS_WMA_EncodeClose").size(), static_cast<std::size_t>(c.closes));
        expectCleanedUp(w);
    }
}

TEST_F(WmaFiles, StopClosesAShorterFileAndClearsTheFlag)
{
    frmMain& w = start(2, 200000);
    audio.onBlock = [&](int block) {
        if (block == 3)
            w.StopRipping();
    };
    EXPECT_EQ(w.ExtractAudioTrackToWMA(0, 64000), RipResult::Cancelled);
    EXPECT_EQ(audio.callsNamed("BASS_WMA_EncodeWrite").size(), 3u);
    EXPECT_EQ(audio.callsNamed("BASS_WMA_EncodeClose").size(), 1u);
    EXPECT_FALSE(w.ripStop);
    expectCleanedUp(w);
}
