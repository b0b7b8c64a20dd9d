// The rip window on the real engine: checked rows of a generated cue/bin image
// ripped to WAV through the scene's extract command, the progress window's own
// timer, and the image drive's door.
#include "DiscImageWriter.h"
#include "WindowRig.h"
#include "platform/audio/CdAudioEngine.h"
#include "rip/frmRipp.h"

#include <QApplication>
#include <QProgressBar>
#include <QtEndian>

using namespace qm;
using namespace qm::test;

namespace {

constexpr qsizetype kHeader = 44;

// Every header field of a CD-audio WAV file holding `data` PCM bytes.
void expectCdWavHeader(const QByteArray& file, std::uint32_t data)
{
    ASSERT_GE(file.size(), kHeader);
    const char* h = file.constData();
    auto u16 = [h](int at) { return std::uint32_t{qFromLittleEndian<std::uint16_t>(h + at)}; };
    auto u32 = [h](int at) { return qFromLittleEndian<std::uint32_t>(h + at); };
    EXPECT_EQ(file.left(4), "RIFF");
    EXPECT_EQ(file.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(file.mid(36, 4), "data");
    const std::pair<std::uint32_t, std::uint32_t> fields[] = {
        {u32(4), data + 36}, {u32(16), 16}, {u16(20), 1},  {u16(22), 2},   {u32(24), 44100},
        {u32(28), 176400},   {u16(32), 4},  {u16(34), 16}, {u32(40), data},
    };
    for (std::size_t i = 0; i < std::size(fields); ++i)
        EXPECT_EQ(fields[i].first, fields[i].second) << "field " << i;
}

struct RipWindowOnEngine : ::testing::Test, WindowRig {
    WrittenImage image;
    std::unique_ptr<CdAudioEngine> engine;
    QString folder;
    // The writers yield to the event loop after every block; a 0 ms timer
    // therefore looks at the window between any two blocks.
    QTimer betweenBlocks;

    void start(const DiscLayout& layout)
    {
        image = WriteDiscImage(dir.path(), QStringLiteral("disc"), layout);
        engine = std::make_unique<CdAudioEngine>(QStringList{image.cue}, QString(),
                                                 CdAudioEngine::DriveScan::ImagesOnly,
                                                 EngineConfig{.output = {.kind = "null:fast"}});
        make(engine.get());
        ASSERT_EQ(window->Form_Load(), frmMain::LoadResult::Running);
        ASSERT_EQ(window->tracks().lsTracks->topLevelItemCount(), static_cast<int>(layout.tracks.size()));
        folder = dir.path() + "/out";
        window->settings().options->txtExtractPath->setText(folder);
        ASSERT_TRUE(window->settings().options->SelectFormat(FormatWav));
        betweenBlocks.setInterval(0);
    }
    void TearDown() override
    {
        betweenBlocks.stop();
        if (window)
            window->close();
        window.reset();
        engine.reset();
    }

    // The scene's Extract button; returns when the job has ended.
    void extract() { frontEnd->send(QStringLiteral("IDC_FS_ExtractBtn")); }
    static frmRipp* ripWindow() { return qobject_cast<frmRipp*>(QApplication::activeModalWidget()); }
    DWORD drive() const { return static_cast<DWORD>(window->state().currentDrive); }
    // The writer's stream has delivered at least one block and not yet ended.
    bool midTrack() const
    {
        const QWORD position = engine->BASS_ChannelGetPosition(window->state().currentStream);
        return engine->BASS_ChannelIsActive(window->state().currentStream) != BASS_ACTIVE_STOPPED &&
               position != BASS_POSITION_ERROR && position > 0;
    }
    // The row's file holds exactly the image's track under a CD WAV header.
    void expectWholeTrack(int row) const
    {
        const Pcm track = image.track(static_cast<std::size_t>(row - 1));
        QFile f(QStringLiteral("%1/TRACK%2.WAV").arg(folder).arg(row));
        const QByteArray file = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        expectCdWavHeader(file, static_cast<std::uint32_t>(track.size()));
        EXPECT_TRUE(file.mid(kHeader) == QByteArray(reinterpret_cast<const char*>(track.data()), qsizetype(track.size())));
    }
};

DiscLayout Tones(int tracks, double seconds)
{
    DiscLayout layout;
    for (int i = 0; i < tracks; ++i)
        layout.tracks.push_back({.pcm = TonePcm(seconds + 0.013 * i, 330 + 55 * i, 495 + 40 * i),
                                 .pregapSectors = i % 3 == 2 ? 30 : 0});
    return layout;
}

} // namespace

TEST_F(RipWindowOnEngine, RipsRowsTwoAndFiveExactlyWithTheDoorLockedPerTrack)
{
    // Rows 3 and 6 have pregaps: rows 2 and 5 end with them, as on a drive.
    ASSERT_NO_FATAL_FAILURE(start(Tones(7, 1.3)));
    check({2, 5});

    QStringList labels;       // the label, once per track seen in progress
    int looks = 0, unlockedLooks = 0;
    QObject::connect(&betweenBlocks, &QTimer::timeout, [&] {
        frmRipp* rip = ripWindow();
        if (!rip || !midTrack())
            return;
        ++looks;
        unlockedLooks += engine->BASS_CD_DoorIsLocked(drive()) ? 0 : 1;
        if (labels.isEmpty() || labels.last() != rip->lblRip->text())
            labels << rip->lblRip->text();
    });
    QList<bool> lockedAtBox;
    int barAtBox = -1;
    dialogs.duringBox = [&](const QString&) {
        lockedAtBox << engine->BASS_CD_DoorIsLocked(drive());
        barAtBox = ripWindow() ? ripWindow()->prgRipper->value() : -1;
    };
    betweenBlocks.start();
    extract();
    betweenBlocks.stop();

    EXPECT_EQ(labels, QStringList({"Ripping Track Number:2", "Ripping Track Number:5"}));
    EXPECT_GT(looks, 4);
    EXPECT_EQ(unlockedLooks, 0) << "the door is locked while a track is read";
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "2 Tracks have been Ripped to " + folder);
    EXPECT_EQ(lockedAtBox, QList<bool>({false})) << "and unlocked once it is done";
    EXPECT_EQ(barAtBox, 100) << "a finished track shows a full bar";

    EXPECT_EQ(QDir(folder).entryList({"*.WAV"}, QDir::Files), QStringList({"TRACK2.WAV", "TRACK5.WAV"}));
    for (int row : {2, 5}) {
        SCOPED_TRACE(row);
        expectWholeTrack(row);
    }
    EXPECT_FALSE(engine->BASS_CD_DoorIsLocked(drive()));
    EXPECT_TRUE(window->ContentEnabled());
    EXPECT_FALSE(window->state().rippingActive);
}

TEST_F(RipWindowOnEngine, OpenImageDoorFailsTheTrackWithOneBoxAndUnlocksAgain)
{
    ASSERT_NO_FATAL_FAILURE(start(Tones(2, 1.0)));
    check({1});
    ASSERT_TRUE(engine->BASS_CD_Door(drive(), BASS_CD_DOOR_OPEN));
    QList<bool> lockedAtBox;
    dialogs.duringBox = [&](const QString&) { lockedAtBox << engine->BASS_CD_DoorIsLocked(drive()); };
    extract();

    ASSERT_EQ(dialogs.boxes.size(), 2);
    EXPECT_EQ(dialogs.boxes[0].text, "Unable to Create CD Stream!");
    EXPECT_TRUE(dialogs.boxes[1].text.startsWith("0 Tracks have been Ripped to " + folder +
                                                 "\r\n1 Tracks could not be Ripped.\r\nTrack 01: the track could not be opened ("))
        << dialogs.boxes[1].text.toStdString();
    EXPECT_EQ(lockedAtBox, QList<bool>({true, false})) << "locked for the track, unlocked after";
    EXPECT_TRUE(QDir(folder).entryList({"*.WAV"}, QDir::Files).isEmpty());
    EXPECT_TRUE(window->ContentEnabled());
    EXPECT_TRUE(engine->BASS_CD_DoorIsOpen(drive()));
    EXPECT_EQ(window->tracks().lsTracks->topLevelItemCount(), 2);
}
