// The player on the real engine: a generated cue/bin image played through the
// fast silent output, each track's end arriving from the engine's own threads.
#include "DiscImageWriter.h"
#include "WindowRig.h"
#include "platform/audio/CdAudioEngine.h"


using namespace qm;
using namespace qm::test;

namespace {

struct PlayerOnEngine : ::testing::Test, WindowRig {
    std::unique_ptr<CdAudioEngine> engine;

    void SetUp() override
    {
        DiscLayout layout;
        for (double seconds : {8.0, 3.0, 3.0})
            layout.tracks.push_back(ImageTrack{TonePcm(seconds, 440, 660)});
        const WrittenImage image = WriteDiscImage(dir.path(), QStringLiteral("disc"), layout);
        engine = std::make_unique<CdAudioEngine>(QStringList{image.cue}, QString(),
                                                 CdAudioEngine::DriveScan::ImagesOnly,
                                                 EngineConfig{.output = {.kind = "null:fast"}});
        make(engine.get());
        ASSERT_EQ(window->Form_Load(), frmMain::LoadResult::Running);
        ASSERT_EQ(window->tracks().lsTracks->topLevelItemCount(), 3);
    }
    void TearDown() override
    {
        if (window)
            window->close();
        window.reset();
        engine.reset();
    }

    void doubleClick(int row)
    {
        select(row);
        window->tracks().lsTracks_DblClick();
    }
};

} // namespace

TEST_F(PlayerOnEngine, DoubleClickPlaysAndEachEndMovesOnAndWraps)
{
    doubleClick(1);
    ASSERT_NE(window->state().currentStream, 0u);
    QTRY_COMPARE_WITH_TIMEOUT(selectedRow(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(selectedRow(), 3, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(selectedRow(), 1, 10000);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}
