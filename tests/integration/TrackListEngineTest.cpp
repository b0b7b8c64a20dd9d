// The drive panel and the track list on the real engine, over a generated
// cue/bin image whose CD-Text the cue holds as Latin-1.

#include "EngineFixture.h"
#include "WindowRig.h"

#include <QCheckBox>

namespace qm::test {
namespace {

TEST_F(EngineTest, ImageShowsInTheDriveListTrackListAndArtistAlbum)
{
    const WrittenImage image = write({.title = "Chansons d'\xC3\xA9t\xC3\xA9",
                                      .performer = "Zo\xC3\xA9 Gar\xC3\xA7on",
                                      .tracks = {{.pcm = PatternPcm(kSecond * 10, 1), .title = "Premi\xC3\xA8re"},
                                                 {.pcm = PatternPcm(kSecond * 61, 2)}}},
                                     QStringLiteral("album"));
    CdAudioEngine& engine = openImage(image);
    WindowRig rig;
    frmMain& w = rig.make(&engine);

    w.EnumerateDrives();
    ASSERT_EQ(w.drives().cmbCDDrives->count(), 1);
    EXPECT_EQ(w.drives().cmbCDDrives->itemText(0), "album.cue: album.cue (disc image)");
    EXPECT_EQ(w.drives().highestDriveIndex(), 0);
    EXPECT_EQ(w.drives().chkRWFlags[9]->checkState(), Qt::Checked); // reads CD audio

    ASSERT_EQ(w.tracks().lsTracks->topLevelItemCount(), 2);
    EXPECT_EQ(w.tracks().lsTracks->topLevelItem(0)->text(0), "Track 01");
    EXPECT_EQ(w.tracks().lsTracks->topLevelItem(0)->text(2), "00:10");
    EXPECT_EQ(w.tracks().lsTracks->topLevelItem(1)->text(0), "Track 02");
    EXPECT_EQ(w.tracks().lsTracks->topLevelItem(1)->text(2), "01:01");
    EXPECT_EQ(w.tracks().txtCDArtist->text(), QString::fromUtf8("Zoé Garçon"));
    EXPECT_EQ(w.tracks().txtCDAlbum->text(), QString::fromUtf8("Chansons d'été"));
    EXPECT_TRUE(rig.dialogs.boxes.isEmpty());
    ASSERT_FALSE(rig.frontEnd->variables.isEmpty());
    EXPECT_EQ(rig.frontEnd->variables.first(), qMakePair(QStringLiteral("_root.PlayEnabled"), QStringLiteral("1")));
}

} // namespace
} // namespace qm::test
