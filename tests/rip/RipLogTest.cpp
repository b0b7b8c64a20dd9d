// What a rip proves: each track's checksums as read through the drive's
// offset, the read errors, test and copy, the AccurateRip database's word,
// and the log that keeps it all beside the files.
#include "AccurateRipData.h"
#include "LocalHttpServer.h"
#include "WindowRig.h"
#include "rip/RipJob.h"
#include "verify/AccurateRipLookup.h"

#include <QTimer>

#include <QRegularExpression>

using namespace qm;
using namespace qm::test;

namespace {

constexpr int kSectorSamples = 588;

struct RipProof : ::testing::Test, WindowRig {
    QString folder;

    // A CD drive (not an image) holding tracks of these many sectors.
    void disc(std::initializer_list<int> sectors, bool image = false)
    {
        FakeDrive& d = addDrive(0);
        d.image = image;
        for (int s : sectors)
            d.trackLengths.push_back(s * 2352);
        start();
        folder = dir.path() + QStringLiteral("/out");
        QDir().mkpath(folder);
    }
    RipPlan plan(std::vector<int> tracks)
    {
        RipPlan p;
        p.tracks = std::move(tracks);
        p.format = FormatWav;
        p.folder = folder;
        p.disc.album = QStringLiteral("Album");
        audio.QM_CD_GetTOC(0, &p.disc.toc);
        p.disc.total = int(p.disc.toc.tracks.size());
        p.imageDrive = audio.drives[0].image;
        return p;
    }
    // Runs the job; returns it for its summary and record.
    std::unique_ptr<RipJob> rip(const RipPlan& p, verify::AccurateRipLookup* lookup = nullptr)
    {
        RipContext context = window->ripContext(false);
        context.accurateRip = lookup;
        auto job = std::make_unique<RipJob>(context, p);
        job->Run();
        return job;
    }
    QString log(const QString& name = QStringLiteral("Album.log")) const
    {
        QFile f(folder + QLatin1Char('/') + name);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // One track's section of the log.
    static QString section(const QString& log, int track)
    {
        const qsizetype at = log.indexOf(QStringLiteral("\nTrack %1\n").arg(track, 2, 10, QLatin1Char('0')));
        return at < 0 ? QString() : log.mid(at + 1, log.indexOf(QStringLiteral("\n\n"), at + 1) - at - 1);
    }
    static QString field(const QString& section, const char* name)
    {
        const auto m = QRegularExpression(QStringLiteral("  %1: (\\S+)").arg(QLatin1String(name))).match(section);
        return m.captured(1);
    }
    // The samples of `track` as a drive with this offset reads them,
    // computed from the disc's PCM: zeros past its edges.
    std::vector<std::uint32_t> expectedSamples(int track, int offset)
    {
        const std::vector<std::uint8_t> pcm = FakeDiscPcm(audio.drives[0]);
        QM_CD_TOC toc;
        audio.QM_CD_GetTOC(0, &toc);
        const auto t = std::size_t(track);
        const std::int64_t first = std::int64_t(toc.tracks[t].start) * kSectorSamples + offset;
        const std::int64_t end =
            std::int64_t(t + 1 < toc.tracks.size() ? toc.tracks[t + 1].start : toc.leadout) * kSectorSamples + offset;
        std::vector<std::uint32_t> out;
        for (std::int64_t s = first; s < end; ++s) {
            std::uint32_t v = 0;
            if (s >= 0 && std::size_t(s) * 4 + 4 <= pcm.size())
                std::memcpy(&v, pcm.data() + s * 4, 4);
            out.push_back(v);
        }
        return out;
    }
    static QString hex(std::uint32_t v) { return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper(); }
};

TEST_F(RipProof, ChecksumsAreThoseOfTheDiscReadAtTheDrivesOffset)
{
    // A first track, a middle one shorter than five sectors, and a last one.
    disc({12, 3, 9});
    for (const int offset : {0, 667, -1200, 3000, -3000}) {
        SCOPED_TRACE(offset);
        RipPlan p = plan({0, 1, 2});
        p.readOffset = offset;
        rip(p);
        const QString text = log();
        EXPECT_TRUE(text.contains(QStringLiteral("Read offset:     %1%2 samples").arg(offset > 0 ? "+" : "").arg(offset)))
            << text.toStdString();
        for (int t = 0; t < 3; ++t) {
            const ReferenceSums sums = ReferenceChecksums(expectedSamples(t, offset), t == 0, t == 2);
            const QString s = section(text, t + 1);
            EXPECT_EQ(field(s, "Copy CRC"), hex(sums.crc)) << t;
            EXPECT_EQ(field(s, "AccurateRip v1"), hex(sums.v1)) << t;
            EXPECT_EQ(field(s, "AccurateRip v2"), hex(sums.v2)) << t;
            // The log says where zeros stood in for samples off the disc.
            const bool zeros = (t == 0 && offset < 0) || (t == 2 && offset > 0);
            EXPECT_EQ(s.contains(QStringLiteral("%1 samples lie").arg(std::abs(offset))), zeros) << s.toStdString();
        }
    }
    EXPECT_EQ(audio.callsNamed("QM_CD_SetReadOffset").back(), "QM_CD_SetReadOffset(0,-3000)");
}

TEST_F(RipProof, ImagesAreReadWithoutOffsetAndReportNoReadErrors)
{
    disc({20}, /*image=*/true);
    audio.drives[0].readErrors[0] = {1, 1, 1, 1, 1};
    RipPlan p = plan({0});
    p.readOffset = 30; // a stale setting: images have no offset
    p.testAndCopy = true;
    rip(p);
    const QString text = log();
    EXPECT_TRUE(text.contains(QStringLiteral("Read offset:     0 (disc image)")));
    EXPECT_TRUE(text.contains(QStringLiteral("Test and copy:   no")));
    EXPECT_FALSE(text.contains(QStringLiteral("Read errors")));
    EXPECT_EQ(field(section(text, 1), "Copy CRC"), hex(ReferenceChecksums(expectedSamples(0, 0), true, true).crc));
    EXPECT_EQ(audio.callsNamed("BASS_CD_StreamCreate").size(), 1u); // read once
}

TEST_F(RipProof, ReadErrorsTestAndCopyAndStoppedTracksReachTheLog)
{
    disc({10, 10, 10});
    audio.drives[0].readErrors[0] = {2, 1, 3, 4, 5};
    audio.drives[0].unstableTracks = {1};
    RipPlan p = plan({0, 1, 2});
    p.testAndCopy = true;
    // The user stops the rip during the last track's copy.
    int streams = 0;
    audio.onBlock = [&](int) {
        streams = int(audio.callsNamed("BASS_CD_StreamCreate").size());
        if (streams == 6)
            window->state().ripStop = true;
    };
    const auto job = rip(p);
    const QString text = log();
    const QString one = section(text, 1), two = section(text, 2), three = section(text, 3);
    EXPECT_TRUE(one.contains(QStringLiteral("Read errors: 2, skips: 1, repairs: 3, fixups: 4, drift: 5"))) << one.toStdString();
    EXPECT_TRUE(one.contains(QStringLiteral("(the same)")));
    EXPECT_TRUE(two.contains(QStringLiteral("(differs: suspicious)"))) << two.toStdString();
    EXPECT_TRUE(three.contains(QStringLiteral("Stopped by the user; not read whole")));
    EXPECT_FALSE(three.contains(QStringLiteral("CRC"))) << "a track not read whole has no checksums";
    EXPECT_EQ(RipTrackResults(job->record()),
              (QStringList{"Track 01: Not checked with AccurateRip",
                           "Track 02: Suspicious: the test and copy reads differ; Not checked with AccurateRip",
                           "Track 03: Stopped by the user; not read whole"}));
    EXPECT_TRUE(job->Summary().endsWith(QStringLiteral("\r\nNot verified with AccurateRip; suspicious: track 2")))
        << job->Summary().toStdString();

    // A test read that fails says so; the copy is never begun.
    audio.onBlock = nullptr;
    window->state().ripStop = false;
    audio.failures["BASS_CD_StreamCreate"] = BASS_ERROR_NOTAVAIL;
    const auto failed = rip(p);
    EXPECT_EQ(RipTrackResults(failed->record()).value(0),
              QStringLiteral("Track 01: Failed: the test read failed (error %1)").arg(BASS_ERROR_NOTAVAIL));
    EXPECT_EQ(failed->failed(), 3);
}

TEST_F(RipProof, TheDatabasesWordReachesTheLogAndTheSummary)
{
    disc({10, 10, 10});
    QM_CD_TOC toc;
    audio.QM_CD_GetTOC(0, &toc);
    const verify::AccurateRipIds ids = verify::AccurateRipIdsOf(toc);
    std::vector<ReferenceSums> sums;
    for (int t = 0; t < 3; ++t)
        sums.push_back(ReferenceChecksums(expectedSamples(t, 0), t == 0, t == 2));
    const QByteArray path = "/" + verify::DatabasePath(ids).toLatin1();
    LocalHttpServer server;
    struct Case {
        const char* name;
        QByteArray answer;
        QString summary;
        QString track2;
    };
    const Case cases[] = {
        {"all match", DatabaseChunk(ids, {{5, sums[0].v2}, {4, sums[1].v1}, {3, sums[2].v2}}),
         "All tracks accurately ripped", "Accurately ripped (confidence 4)"},
        {"one does not", DatabaseChunk(ids, {{5, sums[0].v2}, {4, 7}, {3, sums[2].v2}}),
         "Not accurately ripped: track 2", "Does not match the AccurateRip database (best confidence 4)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Route(path, {200, c.answer});
        verify::AccurateRipLookup lookup(server.url(), 5000);
        lookup.Start(toc);
        RipPlan p = plan({0, 1, 2});
        p.verify = true;
        const auto job = rip(p, &lookup);
        EXPECT_TRUE(job->Summary().endsWith(QStringLiteral("\r\n") + c.summary)) << job->Summary().toStdString();
        const QString text = log();
        EXPECT_TRUE(section(text, 2).contains(c.track2)) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("AccurateRip ID:  003-"))) << text.toStdString();
    }

    // Offline: the summary says so; nothing else stops the user.
    verify::AccurateRipLookup offline(QStringLiteral("http://127.0.0.1:9"), 5000);
    offline.Start(toc);
    RipPlan p = plan({0});
    p.verify = true;
    const auto job = rip(p, &offline);
    EXPECT_TRUE(job->Summary().contains(QStringLiteral("\r\nNot verified: could not reach the AccurateRip database")))
        << job->Summary().toStdString();
    EXPECT_TRUE(dialogs.boxes.isEmpty());

    // Stopped by the user while the database keeps it waiting: it waits no
    // more, and says so rather than that the database is out of reach.
    server.Route(path, {200, {}, {}, false});
    verify::AccurateRipLookup waiting(server.url(), 60000);
    waiting.Start(toc);
    RipContext context = window->ripContext(false);
    context.accurateRip = &waiting;
    RipJob stopped(context, p);
    QObject::connect(&stopped, &RipJob::trackFinished, &stopped, [&stopped] {
        QTimer::singleShot(0, &stopped, [&stopped] { stopped.Stop(); });
    });
    stopped.Run();
    EXPECT_TRUE(stopped.Summary().endsWith("\r\nNot verified: stopped before the AccurateRip database answered"))
        << stopped.Summary().toStdString();
    EXPECT_TRUE(section(log(), 1).contains("Not checked with AccurateRip")) << log().toStdString();
}

TEST_F(RipProof, NoAlbumTitleNamesALogOutsideTheFolder)
{
    disc({4});
    const struct {
        const char* album;
        const char* log;
    } cases[] = {
        {"../../escape", "_.._escape.log"},
        {"/", "_.log"},
        {"..", "Quillmere.log"},
        {"a/../../b", "a_.._.._b.log"},
        {"x\x01\ny", "x__y.log"},
        {"", "Quillmere.log"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.album);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        RipPlan p = plan({0});
        p.disc.album = QString::fromUtf8(c.album);
        rip(p);
        const QStringList files = QDir(folder).entryList(QDir::Files);
        EXPECT_EQ(files.size(), 2);
        EXPECT_TRUE(files.contains(QString::fromLatin1(c.log))) << files.join(' ').toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"out"});
    }
}

} // namespace

// The window asks the database as the disc loads, and its completion box
// says what the database found; with the option off it asks nothing.
TEST(RipProofInTheWindow, TheCompletionBoxSaysWhatTheDatabaseFound)
{
    LocalHttpServer server;
    WindowRig rig;
    rig.addDrive(2, 4 * 2352);
    QM_CD_TOC toc;
    rig.audio.QM_CD_GetTOC(0, &toc);
    const verify::AccurateRipIds ids = verify::AccurateRipIdsOf(toc);
    std::vector<std::uint32_t> v2;
    const std::vector<std::uint8_t> pcm = FakeDiscPcm(rig.audio.drives[0]);
    for (int t = 0; t < 2; ++t) {
        std::vector<std::uint32_t> samples(4 * kSectorSamples);
        std::memcpy(samples.data(), pcm.data() + t * 4 * 2352, 4 * 2352);
        v2.push_back(ReferenceChecksums(samples, t == 0, t == 1).v2);
    }
    server.Route("/" + verify::DatabasePath(ids).toLatin1(), {200, DatabaseChunk(ids, {{2, v2[0]}, {2, v2[1]}})});
    rig.lookup.accurateRip = true;
    rig.lookup.accurateRipServer = server.url();
    frmMain& w = rig.make();
    // A store from before the option: it is on.
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Running);
    w.player().tmrPlaybackPosition->stop();
    ASSERT_EQ(w.tracks().accurateRip()->state(), verify::AccurateRipLookup::State::Pending);
    w.settings().options->txtExtractPath->setText(rig.dir.path());
    w.settings().options->SelectFormat(FormatWav);
    w.rip().ripStartDelayMs = 0;
    rig.check({1, 2});
    w.ShowRipWindow();
    ASSERT_EQ(rig.dialogs.boxes.size(), 1);
    EXPECT_EQ(rig.dialogs.boxes[0].text,
              "2 Tracks have been Ripped to " + rig.dir.path() + "\r\nAll tracks accurately ripped");
    EXPECT_EQ(server.requests().size(), 1);

    // Off: another disc is not asked about, and the box says nothing of it.
    w.settings().options->chkVerifyRips->setChecked(false);
    rig.audio.drives[0].trackLengths.push_back(4 * 2352);
    w.tracks().LoadTrackList();
    rig.check({1, 2});
    w.ShowRipWindow();
    EXPECT_EQ(rig.dialogs.boxes.last().text, "2 Tracks have been Ripped to " + rig.dir.path());
    EXPECT_EQ(server.requests().size(), 1);
}
