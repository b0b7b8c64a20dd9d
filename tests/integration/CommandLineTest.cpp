// The built program's terminal commands on generated disc images.
#include "../platform/audio/AudioTestUtil.h"
#include "AccurateRipData.h"
#include "CommandLineRig.h"
#include "LocalHttpServer.h"
#include "app/SingleInstance.h"
#include "platform/audio/encode/EncoderProcess.h"

#include <QBuffer>
#include <QTest>
#include <QCryptographicHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <cstring>
#include <functional>

using namespace qm::test;

namespace {

bool HasControlCharacters(const QByteArray& bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return (uchar(c) < 0x20 && c != '\n') || c == 0x7f; });
}

// The header of CD audio with the file's data size, then exactly `pcm`.
void ExpectWav(const QString& path, const Pcm& pcm)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray bytes = f.readAll();
    const auto header = qm::audio::WavHeader(static_cast<std::uint32_t>(pcm.size()));
    EXPECT_EQ(bytes.left(44), QByteArray(reinterpret_cast<const char*>(header.data()), 44)) << path.toStdString();
    EXPECT_EQ(bytes.mid(44), QByteArray(reinterpret_cast<const char*>(pcm.data()), qsizetype(pcm.size())))
        << path.toStdString();
}

} // namespace

// The store's folder given relative to where the program starts.
TEST_F(CommandLine, RipsTheTracksAskedForByteForByteAndStoresOptionsOnlyWithSave)
{
    env.insert("QUILLMERE_REGISTRY_DIR", "settings");
    // The AccurateRip database knows the disc: track 2 as ripped, track 3 not.
    qm::QM_CD_TOC toc;
    for (std::size_t t = 0; t < image.starts.size(); ++t)
        toc.tracks.push_back({int(t) + 1, std::int32_t(image.starts[t] / 2352), true});
    toc.leadout = std::int32_t(image.binBytes.size() / 2352);
    const auto sums = [&](std::size_t t) {
        std::vector<std::uint32_t> samples(image.track(t).size() / 4);
        std::memcpy(samples.data(), image.track(t).data(), samples.size() * 4);
        return ReferenceChecksums(samples, t == 0, t == 2);
    };
    const qm::verify::AccurateRipIds ids = qm::verify::AccurateRipIdsOf(toc);
    LocalHttpServer database;
    database.Route("/" + qm::verify::DatabasePath(ids).toLatin1(),
                   {200, DatabaseChunk(ids, {{9, sums(0).v2}, {7, sums(1).v2}, {7, sums(2).v2 + 1}})});
    env.insert("QUILLMERE_ACCURATERIP_SERVER", database.url());

    const QString out = home.filePath("rips/new/album");
    Outcome r = run({"rip", "--image", image.cue, "--tracks", "2,3", "--format", "wav", "--out", out});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesIn(out), QStringList({"TRACK2.WAV", "TRACK3.WAV"}));
    ExpectWav(out + "/TRACK2.WAV", image.track(1));
    ExpectWav(out + "/TRACK3.WAV", image.track(2));
    EXPECT_EQ(r.out, "Track 02: Accurately ripped (confidence 7)\n"
                     "Track 03: Does not match the AccurateRip database (best confidence 7)\n"
                     "2 Tracks have been Ripped to " + out.toUtf8() + "\nNot accurately ripped: track 3\n");
    QFile log(out + "/Quiet Hours.log");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.contains("  File: " + out.toUtf8() + "/TRACK2.WAV\n  Copy CRC: " +
                              QByteArray::number(sums(1).crc, 16).rightJustified(8, '0').toUpper()))
        << text.toStdString();
    // Captured: whole lines only; each track finished as done, even one ripped before the progress looked.
    EXPECT_FALSE(HasControlCharacters(r.out + r.err)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Track 02: 100%") && r.err.contains("Track 03: 100%")) << r.err.toStdString();
    EXPECT_EQ(r.err.count("done in"), 2) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.filePath("settings/HKEY_LOCAL_MACHINE.reg"))) << "stored without --save";

    // Stored with --save: a later rip without options uses the same format and folder.
    const QString saved = home.filePath("saved");
    r = run({"rip", "--image", image.cue, "--tracks", "1", "--format", "wav", "--out", saved, "--save", "--no-verify"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    ExpectWav(saved + "/TRACK1.WAV", image.track(0));
    QDir(saved).removeRecursively();
    r = run({"rip", "--image", image.cue, "--tracks", "3"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesIn(saved), QStringList({"TRACK3.WAV"}));
    EXPECT_EQ(run({"tracks", "--image", image.cue, "--no-lookup"}).status, 0);
    EXPECT_EQ(database.requests().size(), 2) << "--no-verify and listing the tracks ask nothing";
}

TEST_F(CommandLine, ListsTracksAndDrivesAsTheWindowShowsThem)
{
    Outcome r = run({"tracks", "--image", image.cue, "--no-lookup"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    // Track 1 ends with track 2's one-second pregap. The IDs are worked out
    // here from the image's layout, as the published algorithms say.
    std::vector<int> offsets;
    for (const std::int64_t start : image.starts)
        offsets.push_back(int(start / 2352) + 150);
    const int leadout = int(image.binBytes.size() / 2352) + 150;
    QByteArray toc = "0103" + QByteArray::number(leadout, 16).rightJustified(8, '0');
    for (int i = 0; i < 99; ++i)
        toc += QByteArray::number(i < 3 ? offsets[std::size_t(i)] : 0, 16).rightJustified(8, '0');
    const QByteArray musicBrainz = QCryptographicHash::hash(toc.toUpper(), QCryptographicHash::Sha1)
                                       .toBase64().replace('+', '.').replace('/', '_').replace('=', '-');
    int digits = 0;
    for (const int offset : offsets)
        for (const QChar d : QString::number(offset / 75))
            digits += d.digitValue();
    const QString freedb = QString::number(quint32(digits % 255) << 24 | quint32(leadout / 75 - offsets[0] / 75) << 8 | 3u, 16)
                               .rightJustified(8, '0');
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("Artist: Zoë Ensemble\nAlbum: Quiet Hours\n"
                                                       "MusicBrainz disc ID: %1\nfreedb ID: %2\n"
                                                       "Track 01  Audio  00:04\nTrack 02  Audio  00:02\n"
                                                       "Track 03  Audio  00:04\n")
                                            .arg(QString::fromLatin1(musicBrainz), freedb));
    r = run({"drives", "--image", image.cue});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("Drive 0: album.cue: album.cue (disc image)\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  Drive can read CD audio: yes\n  ")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  Drive is open: no\n")) << r.out.toStdString();
}

// Each: status 2, one line why, nothing on stdout, no folder made (those that need the disc or files).
TEST_F(CommandLine, UsageErrorsAreOneLineWithStatusTwoAndLeaveNothingBehind)
{
    QFile(home.filePath("plain-file")).open(QIODevice::WriteOnly);
    const QString out = home.filePath("never");
    const std::pair<QStringList, const char*> cases[] = {
        {{"rip", "--tracks", "9", "--image", image.cue}, "track 9 is not on the disc: it has 3 tracks"},
        {{"rip", "--out", home.filePath("plain-file/sub"), "--image", image.cue}, "plain-file/sub: Not a directory)"},
        {{"rip", "--image", home.filePath("plain-file")}, "not a cue file"},
        {{"tracks", "--drive", "7"}, "--drive 7: no such drive"},
    };
    for (const auto& [args, says] : cases) {
        const Outcome r = run(args.first() == "rip" && !args.contains("--out") ? args + QStringList{"--out", out} : args);
        const std::string what = args.join(' ').toStdString() + "\n" + r.err.toStdString();
        EXPECT_EQ(r.status, 2) << what;
        EXPECT_TRUE(r.err.startsWith("quillmere: ") && r.err.count('\n') == 1 && r.err.contains(says)) << what;
        EXPECT_TRUE(r.out.isEmpty()) << what;
        EXPECT_FALSE(QFileInfo::exists(out)) << what;
    }
}

TEST_F(CommandLine, AnotherInstanceRunningGivesStatusThree)
{
    qm::SingleInstance first(QStringLiteral("BrellvoxAudioCDRipper"), runtime); // where the child looks
    ASSERT_FALSE(first.AnotherInstanceRunning());
    const Outcome r = run({"rip", "--image", image.cue, "--format", "wav", "--out", home.filePath("x")});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.contains("another Quillmere is running")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.filePath("x")));
    // The window's start leaves at once, silently, with status 0.
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const Outcome window = run({}, 30000);
    EXPECT_EQ(window.status, 0);
    EXPECT_EQ(window.out + window.err, QByteArray());
}

// Track numbers are the disc's: with a data track first, the audio is 2 and 3.
TEST_F(CommandLine, DataTracksAreLeftOutAndTrackNumbersStayTheDiscs)
{
    DiscLayout layout;
    layout.tracks = {{.pcm = PatternPcm(2352 * 75, 9), .data = true}, {.pcm = PatternPcm(176400, 1)}, {.pcm = PatternPcm(176400, 2)}};
    const WrittenImage mixed = WriteDiscImage(home.filePath("disc"), "mixed", layout);
    Outcome r = run({"tracks", "--image", mixed.cue});
    EXPECT_TRUE(r.out.endsWith("Track 02  Audio  00:01\nTrack 03  Audio  00:01\n") && !r.out.contains("Track 01"))
        << r.out.toStdString();
    r = run({"rip", "--image", mixed.cue, "--tracks", "3", "--format", "wav", "--out", home.filePath("mixed")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ExpectWav(home.filePath("mixed/TRACK3.WAV"), mixed.track(2));
    r = run({"rip", "--image", mixed.cue, "--tracks", "1", "--format", "wav", "--out", home.filePath("none")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("track 1 is not an audio track of the disc: its audio tracks are 2-3")) << r.err.toStdString();
}

// Each: the status it must end with and the line that says why; never a
// success that did not happen, never a file or folder under another name.
TEST_F(CommandLine, BadPathsImagesAndOutputsAreSaidWithAStatus)
{
    QDir().mkpath(home.filePath("start"));
    QDir().mkpath(home.filePath("config/quillmere/registry"));
    struct Case {
        const char* name;
        std::function<void()> setUp;
        QStringList args;
        int status;
        const char* says;
        const char* madeFile; // below home
    };
    const Case cases[] = {
        {"stdout is full", [this] { stdoutFile = "/dev/full"; }, {"tracks", "--image", image.cue}, 1,
         "the results could not be written", nullptr},
        {"relative Extract Path", [this] {
             QFile reg(home.filePath("config/quillmere/registry/HKEY_LOCAL_MACHINE.reg"));
             reg.open(QIODevice::WriteOnly);
             reg.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Brellvox Quillmere\\Settings]\n\"Extract Path\"=\"rel\"\n");
             workDir = home.filePath("start");
         }, {"rip", "--image", image.cue, "--tracks", "1", "--format", "wav"}, 0, "", "start/rel/TRACK1.WAV"},
        {"QUILLMERE_IMAGES with a passwd file", [this] { env.insert("QUILLMERE_IMAGES", "/etc/passwd:" + image.cue); },
         {"drives"}, 0, "/etc/passwd: not a cue file", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QProcessEnvironment kept = env;
        workDir.clear();
        stdoutFile.clear();
        if (c.setUp)
            c.setUp();
        const Outcome r = run(c.args, 30000);
        env = kept;
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_TRUE(!c.madeFile || QFileInfo::exists(home.filePath(c.madeFile))) << c.madeFile;
        EXPECT_EQ(QDir(home.path()).entryList({"bad*", "Music"}, QDir::AllEntries), QStringList());
    }
}

// The disc looked up on a local server: the first release's titles, the
// others named on stderr, and the same as JSON.
TEST_F(CommandLine, LooksTheDiscUpAndPrintsItsTitlesAndIds)
{
    const QByteArray listed = run({"tracks", "--image", image.cue, "--no-lookup"}).out;
    const qsizetype at = listed.indexOf("MusicBrainz disc ID: ") + 21;
    const QByteArray discId = listed.mid(at, 28);
    const QByteArray release = R"({"id":"f0000000-0000-4000-8000-00000000000N","title":"Album N","date":"2001",
        "artist-credit":[{"name":"Artist N","joinphrase":""}],
        "media":[{"position":1,"discs":[{"id":"ID"}],"tracks":[{"position":1,"title":"Title N\u0007"},{"position":3,"title":"Third N"}]}]})";
    LocalHttpServer server;
    server.Route("/ws/2/discid/" + discId, {200, "{\"releases\":[" + QByteArray(release).replace('N', '1').replace("ID", discId) +
                                                 "," + QByteArray(release).replace('N', '2').replace("ID", discId) + "]}"});
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    QImage(8, 8, QImage::Format_RGB32).save(&buffer, "JPG");
    server.Route("/release/f0000000-0000-4000-8000-000000000001/front-500", {200, jpeg});
    env.insert("QUILLMERE_MUSICBRAINZ_SERVER", server.url());
    env.insert("QUILLMERE_COVERART_SERVER", server.url());

    Outcome r = run({"tracks", "--image", image.cue});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("Artist: Artist 1\nAlbum: Album 1\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith("Track 01  Audio  00:04  Title 1\nTrack 02  Audio  00:02\nTrack 03  Audio  00:04  Third 1\n"))
        << r.out.toStdString();
    EXPECT_EQ(r.err, "quillmere: this disc also matches Album 2 - Artist 2 (2001) (MusicBrainz release "
                     "f0000000-0000-4000-8000-000000000002)\n");

    // Remembered: the JSON comes with no second lookup.
    r = run({"tracks", "--image", image.cue, "--json"});
    const QJsonObject disc = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(disc["album"].toString() + '|' + disc["year"].toString() + '|' + disc["musicBrainzDiscId"].toString(),
              "Album 1|2001|" + QString::fromLatin1(discId));
    const QJsonArray tracks = disc["tracks"].toArray();
    ASSERT_EQ(tracks.size(), 3);
    EXPECT_EQ(tracks[2].toObject(), (QJsonObject{{"number", 3}, {"type", "Audio"}, {"seconds", 4}, {"title", "Third 1"}}));
    EXPECT_EQ(server.requests().size(), 2); // the lookup and the cover, which is remembered too

    // Named from a template, with the cover beside the files and a playlist.
    const QString out = home.filePath("named");
    r = run({"rip", "--image", image.cue, "--format", "wav", "--out", out, "--playlist", "--name",
             "{artist}/{album}/{nn} - {title}"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString album = out + "/Artist 1/Album 1/";
    EXPECT_EQ(filesIn(album), QStringList({"01 - Title 1.WAV", "02 - Track 02.WAV", "03 - Third 1.WAV",
                                           "Album 1.m3u8", "cover.jpg"}));
    ExpectWav(album + "03 - Third 1.WAV", image.track(2));
    QFile playlist(album + "Album 1.m3u8");
    ASSERT_TRUE(playlist.open(QIODevice::ReadOnly));
    EXPECT_EQ(playlist.readAll(), "#EXTM3U\n#EXTINF:4,Artist 1 - Title 1\n01 - Title 1.WAV\n"
                                  "#EXTINF:2,Artist 1 - Track 02\n02 - Track 02.WAV\n"
                                  "#EXTINF:4,Artist 1 - Third 1\n03 - Third 1.WAV\n");
    QFile cover(album + "cover.jpg");
    ASSERT_TRUE(cover.open(QIODevice::ReadOnly));
    EXPECT_EQ(cover.readAll(), jpeg);

    // A template that would leave the folder, or names what is not there, is refused before anything.
    for (const char* bad : {"../{n}", "{nn} {tilte}"}) {
        r = run({"rip", "--image", image.cue, "--format", "wav", "--out", home.filePath("never"), "--name", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_TRUE(r.err.contains("--name") && r.err.count('\n') == 1) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(home.filePath("never")));
    }
}

// FLAC holds the disc's PCM exactly; Opus lasts as long as the track, within a frame.
TEST_F(CommandLine, RipsFlacExactlyAndOpusToLength)
{
    const QString out = home.filePath("lossless");
    Outcome r = run({"rip", "--image", image.cue, "--tracks", "1,3", "--format", "flac", "--level", "8", "--out", out});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesIn(out), QStringList({"TRACK1.flac", "TRACK3.flac"}));
    for (const std::size_t track : {0u, 2u}) {
        const QByteArray pcm = RunTool("ffmpeg", {"-v", "error", "-i", out + QStringLiteral("/TRACK%1.flac").arg(track + 1),
                                                  "-f", "s16le", "-"});
        EXPECT_TRUE(pcm == QByteArray(reinterpret_cast<const char*>(image.track(track).data()),
                                      qsizetype(image.track(track).size())))
            << "track " << track + 1;
    }
    r = run({"rip", "--image", image.cue, "--tracks", "1", "--format", "opus", "--bitrate", "96", "--out", out});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_NEAR(DecodedSeconds(out + "/TRACK1.opus"), double(image.track(0).size()) / 176400, 0.02);

    r = run({"rip", "--image", image.cue, "--format", "mp3", "--level", "5", "--out", out});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("--level applies to flac, not to mp3")) << r.err.toStdString();
}

// The window killed with SIGTERM (the session ending, `kill`) shuts down as
// its close button does, and ends with status 0 rather than by the signal.
TEST_F(CommandLine, TheWindowEndsWellOnSigterm)
{
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUILLMERE_AUDIO_OUTPUT", "null");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home.path());
    p.start(kProgram, {"--image", image.cue});
    ASSERT_TRUE(p.waitForStarted());
    // Ready once the process catches SIGTERM (bit 15 of SigCgt in its status).
    const auto catchesTerm = [&p] {
        QFile status(QStringLiteral("/proc/%1/status").arg(p.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("SigCgt:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1) & 1) != 0;
        return false;
    };
    ASSERT_TRUE(QTest::qWaitFor(catchesTerm, 30000)) << p.readAllStandardError().toStdString();
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}
