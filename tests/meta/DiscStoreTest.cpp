#include "meta/DiscStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qm::meta;

namespace {

const QString kId = QStringLiteral("nljDXdC8B_pDwbdY1vZJvdrAZI4-");

struct DiscStoreTest : ::testing::Test {
    QTemporaryDir dir;
    QString folder() const { return dir.path() + "/quillmere/discs"; }
    QString file() const { return folder() + '/' + kId + ".json"; }
    DiscStore store{folder()};

    static RememberedDisc Sample()
    {
        Release one;
        one.id = "f0000000-0000-4000-8000-000000000001";
        one.title = "Album";
        one.artist = "Artist";
        one.year = "1999";
        one.mediumPosition = 2;
        one.mediumCount = 3;
        one.tracks = {{"First", "", "r1"}, {"Second", "Guest", "r2"}};
        Release two = one;
        two.id = "f0000000-0000-4000-8000-000000000002";
        two.country = "GB";
        RememberedDisc disc{{one, two}, 1, {}};
        disc.edits.album = QString(); // edited to empty: still an edit
        disc.edits.titles[2] = "Mine";
        return disc;
    }
    QByteArray write(const QByteArray& bytes)
    {
        QDir().mkpath(folder());
        QFile f(file());
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return bytes;
    }
};

} // namespace

TEST_F(DiscStoreTest, WhatIsSavedLoadsAsItWas)
{
    QString why;
    ASSERT_TRUE(store.Save(kId, Sample(), &why)) << why.toStdString();
    const DiscStore::Loaded loaded = store.Load(kId);
    ASSERT_EQ(loaded.found, DiscStore::Found::Remembered);
    const RememberedDisc& d = loaded.disc;
    ASSERT_EQ(d.releases.size(), 2);
    EXPECT_EQ(d.chosen, 1);
    EXPECT_EQ(d.releases[1].country + QString::number(d.releases[0].mediumPosition * 10 + d.releases[0].mediumCount) +
                  d.releases[0].tracks[1].artist,
              "GB23Guest");
    EXPECT_FALSE(d.edits.artist.has_value());
    EXPECT_EQ(d.edits.album, QString()); // edited to empty, which is not "not edited"
    EXPECT_EQ(d.edits.titles, (std::map<int, QString>{{2, "Mine"}}));

    ASSERT_TRUE(store.SaveCover(kId, "jpeg bytes", &why));
    EXPECT_EQ(store.CoverPath(kId), folder() + '/' + kId + ".jpg");
    EXPECT_TRUE(store.Forget(kId));
    EXPECT_EQ(store.Load(kId).found, DiscStore::Found::Nothing);
    EXPECT_TRUE(store.CoverPath(kId).isEmpty());
}

// A lookup that matched very many long releases is kept as the one chosen:
// never saved larger than it may be loaded.
TEST_F(DiscStoreTest, WhatWouldBeTooLargeToLoadKeepsTheChosenReleaseOnly)
{
    RememberedDisc many = Sample();
    Release wide = many.releases[0];
    wide.title = QString(1024, 'a');
    wide.tracks = QList<TrackInfo>(20, {QString(1024, 'b'), "", "r"});
    many.releases = QList<Release>(300, wide);
    many.releases[7].title = "Chosen";
    many.chosen = 7;
    QString why;
    ASSERT_TRUE(store.Save(kId, many, &why)) << why.toStdString();
    const DiscStore::Loaded loaded = store.Load(kId);
    ASSERT_EQ(loaded.found, DiscStore::Found::Remembered) << loaded.why.toStdString();
    ASSERT_EQ(loaded.disc.releases.size(), 1);
    EXPECT_EQ(loaded.disc.releases[0].title, "Chosen");
    EXPECT_EQ(loaded.disc.chosen, 0);
    EXPECT_EQ(loaded.disc.edits.titles, (std::map<int, QString>{{2, "Mine"}}));
}

TEST_F(DiscStoreTest, ADamagedFileIsReportedAndLeftAsItIs)
{
    const QByteArray valid = QByteArray(R"({"format":1,"discId":")") + kId.toLatin1() + R"(","releases":[]})";
    struct Case { const char* name; QByteArray bytes; const char* why = ""; };
    const Case cases[] = {
        {"not JSON", "{\"format\":1,"},
        {"another disc's", QByteArray(valid).replace(kId.toLatin1(), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-")},
        {"a newer format", QByteArray(valid).replace("\"format\":1", "\"format\":2"),
         "it was written by a newer version of Quillmere"},
        {"an array", "[]"},
        {"too large", valid + QByteArray(5 * 1024 * 1024, ' ')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray before = write(c.bytes);
        const DiscStore::Loaded loaded = store.Load(kId);
        EXPECT_EQ(loaded.found, DiscStore::Found::Damaged);
        EXPECT_FALSE(loaded.why.isEmpty());
        if (*c.why) {
            EXPECT_EQ(loaded.why, c.why);
        }
        QFile f(file());
        f.open(QIODevice::ReadOnly);
        EXPECT_EQ(f.readAll(), before);
    }
    QFile::remove(file());
    QDir().mkpath(file()); // a folder in the file's place
    EXPECT_EQ(store.Load(kId).found, DiscStore::Found::Damaged);
    EXPECT_EQ(store.Load(kId).why, "it is not a file");
}

TEST_F(DiscStoreTest, HostileTextsAreCleanedAndBadIdsNameNoFile)
{
    write(QByteArray(R"({"format":1,"discId":")") + kId.toLatin1() +
          R"(","chosen":7,"releases":[{"title":"A\u0000b\u001b[31m\nc","tracks":[{"title":")" +
          QByteArray(10000, 'x') + R"("}]}],"edits":{"titles":{"0":"no","100":"no","3":"\u202eevil"}}})");
    const DiscStore::Loaded loaded = store.Load(kId);
    ASSERT_EQ(loaded.found, DiscStore::Found::Remembered);
    EXPECT_EQ(loaded.disc.releases[0].title, "A b [31m c");
    EXPECT_EQ(loaded.disc.releases[0].tracks[0].title.size(), kMaxTextLength);
    EXPECT_EQ(loaded.disc.chosen, 0); // out of range: the first
    EXPECT_EQ(loaded.disc.edits.titles, (std::map<int, QString>{{3, "evil"}}));

    for (const char* id : {"../../escape", "", "/tmp/x"}) {
        QString why;
        EXPECT_FALSE(store.Save(QString::fromUtf8(id), Sample(), &why)) << id;
        EXPECT_EQ(store.Load(QString::fromUtf8(id)).found, DiscStore::Found::Nothing);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"quillmere"});
}
