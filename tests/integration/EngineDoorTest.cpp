// The emulated door of an image drive: open takes the disc out, close puts it
// back (read afresh), a locked door stays shut.

#include "EngineFixture.h"

#include <QFile>

namespace qm::test {
namespace {

constexpr std::size_t kSecond = 176400;

TEST_F(EngineTest, OpenDoorMeansNoDiscAndClosingReadsTheImageAgain)
{
    auto& lib = openImage(write({.tracks = {{.pcm = PatternPcm(2 * kSecond, 1)}, {.pcm = PatternPcm(kSecond, 2)}}}));
    const HSTREAM s = lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS);
    std::uint8_t buf[100];
    ASSERT_EQ(lib.BASS_ChannelGetData(s, buf, sizeof buf), sizeof buf);
    EXPECT_FALSE(lib.BASS_CD_DoorIsOpen(0));

    ASSERT_TRUE(lib.BASS_CD_Door(0, BASS_CD_DOOR_OPEN));
    EXPECT_TRUE(lib.BASS_CD_DoorIsOpen(0));
    EXPECT_FALSE(lib.BASS_CD_IsReady(0));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOCD);
    EXPECT_EQ(lib.BASS_CD_GetTracks(0), -1);
    EXPECT_EQ(lib.BASS_CD_GetTrackLength(0, 0), -1);
    EXPECT_EQ(lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS), 0u);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOCD);

    // The stream made before fails its next read, even from sectors it holds.
    EXPECT_EQ(lib.BASS_ChannelGetData(s, buf, sizeof buf), BASS_DATA_ERROR);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOCD);
    EXPECT_EQ(lib.BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
    EXPECT_TRUE(lib.BASS_StreamFree(s));

    // Another disc goes in while the door is open.
    write({.title = "Second Disc", .tracks = {{.pcm = PatternPcm(kSecond, 3)}, {.pcm = PatternPcm(kSecond, 4)}}});
    ASSERT_TRUE(lib.BASS_CD_Door(0, BASS_CD_DOOR_CLOSE));
    EXPECT_FALSE(lib.BASS_CD_DoorIsOpen(0));
    EXPECT_TRUE(lib.BASS_CD_IsReady(0));
    EXPECT_EQ(lib.BASS_CD_GetTracks(0), 2);
    EXPECT_STREQ(lib.BASS_CD_GetID(0, BASS_CDID_TEXT), "TITLE0=Second Disc");
    const HSTREAM again = lib.BASS_CD_StreamCreate(0, 1, BASS_CD_DECODE_FLAGS);
    EXPECT_EQ(drain(lib, again, 20000), PatternPcm(kSecond, 4));

    // A disc that cannot be read leaves the drive closed but empty.
    ASSERT_TRUE(lib.BASS_CD_Door(0, BASS_CD_DOOR_OPEN));
    ASSERT_TRUE(QFile::remove(path("disc.bin")));
    ASSERT_TRUE(lib.BASS_CD_Door(0, BASS_CD_DOOR_CLOSE));
    EXPECT_FALSE(lib.BASS_CD_DoorIsOpen(0));
    EXPECT_FALSE(lib.BASS_CD_IsReady(0));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOCD);
}

TEST_F(EngineTest, LockedDoorRefusesToOpen)
{
    auto& lib = openImage(write({.tracks = {{.pcm = PatternPcm(kSecond, 1)}}}));
    struct Step { DWORD action; bool ok; bool open, locked; };
    const Step steps[] = {
        {BASS_CD_DOOR_LOCK, true, false, true},    {BASS_CD_DOOR_OPEN, false, false, true},
        {BASS_CD_DOOR_LOCK, true, false, true},    {BASS_CD_DOOR_UNLOCK, true, false, false},
        {BASS_CD_DOOR_OPEN, true, true, false},    {BASS_CD_DOOR_OPEN, true, true, false},
        {BASS_CD_DOOR_LOCK, true, true, true},     {BASS_CD_DOOR_CLOSE, true, false, true},
        {BASS_CD_DOOR_UNLOCK, true, false, false}, {BASS_CD_DOOR_CLOSE, true, false, false},
        {7, false, false, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "action " << s.action);
        EXPECT_EQ(lib.BASS_CD_Door(0, s.action), s.ok);
        if (!s.ok) {
            EXPECT_NE(lib.BASS_ErrorGetCode(), BASS_OK);
        }
        EXPECT_EQ(lib.BASS_CD_DoorIsOpen(0), s.open);
        EXPECT_EQ(lib.BASS_CD_DoorIsLocked(0), s.locked);
        EXPECT_EQ(lib.BASS_CD_IsReady(0), !s.open);
    }
}

} // namespace
} // namespace qm::test
