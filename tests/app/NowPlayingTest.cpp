// What the scene is told of the playing track, and only when it changes.
#include "WindowRig.h"

using namespace qm;
using namespace qm::test;

namespace {

struct NowPlayingRig : ::testing::Test, WindowRig {
    // The variables sent since the last call, as "name=value".
    QStringList sent()
    {
        QStringList out;
        for (const auto& [name, value] : frontEnd->variables.mid(m_seen))
            if (name == "_root.PlayState" || name == "_root.NowPlaying" || name == "_root.Elapsed" ||
                name == "_root.Duration")
                out << name.mid(6) + "=" + value;
        m_seen = int(frontEnd->variables.size());
        return out;
    }
    void tick() { window->tmrPlaybackPosition_Timer(); }

private:
    int m_seen = 0;
};

} // namespace

TEST_F(NowPlayingRig, TheStatusCardFollowsThePlayingTrackAndHearsOnlyChanges)
{
    addDrive(3, 200 * kSecond);
    audio.drives[0].cdText = CdTextBlock({"TITLE0=Album", "TITLE2=Second Song"});
    start();
    tick();
    sent();
    window->PlayTrack(1);
    tick();
    EXPECT_EQ(sent(), (QStringList{"PlayState=playing", "NowPlaying=2. Second Song", "Elapsed=0:00", "Duration=3:20"}));
    tick();
    EXPECT_EQ(sent(), QStringList()) << "nothing changed, nothing sent";

    audio.stream(window->state().currentStream)->position = 65 * kSecond;
    frontEnd->send(QStringLiteral("IDC_FS_Pause"));
    tick();
    EXPECT_EQ(sent(), (QStringList{"PlayState=paused", "Elapsed=1:05"}));

    window->PlayTrack(0); // no title on the disc for it
    tick();
    EXPECT_EQ(sent(), (QStringList{"PlayState=playing", "NowPlaying=Track 1", "Elapsed=0:00"}));
    frontEnd->send(QStringLiteral("IDC_FS_Stop"));
    tick();
    EXPECT_EQ(sent(), (QStringList{"PlayState=stopped", "NowPlaying=", "Elapsed=", "Duration="}));
}
