// The disc's titles in the window: looked up on a local server the test
// starts, chosen, edited, remembered, and the disc's own texts kept when the
// lookup fails.
#include "LocalHttpServer.h"
#include "WindowRig.h"
#include "cd/DiscTitles.h"
#include "meta/DiscIds.h"
#include "settings/CRegister.h"
#include "settings/modSettings.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>

using namespace qm;
using namespace qm::test;

namespace {

QByteArray PngBytes()
{
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

struct DiscTitlesTest : ::testing::Test, WindowRig {
    LocalHttpServer server;
    QString discId;

    DiscTitlesTest()
    {
        addDrive(3);
        drives()[0].cdText = CdTextBlock({"TITLE0=Disc Album", "PERFORMER0=Disc Artist", "TITLE1=Disc One",
                                          "TITLE2=Disc Two"});
        QM_CD_TOC toc;
        audio.QM_CD_GetTOC(0, &toc);
        discId = meta::ComputeDiscIds(toc).musicBrainz;
        lookup.network = true;
        lookup.musicBrainzServer = server.url();
        lookup.coverArtServer = server.url();
        lookup.discFolder = dir.path() + "/discs";
        lookup.timeoutMs = 2000;
        lookup.minIntervalMs = 0;
    }
    std::vector<FakeDrive>& drives() { return audio.drives; }

    static QString Mbid(int n) { return QStringLiteral("f0000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0')); }
    // A discid reply holding releases of this disc, each "Album|Artist|Title 1|Title 2...".
    QByteArray Reply(const QStringList& releases) const
    {
        QJsonArray list;
        int n = 0;
        for (const QString& r : releases) {
            const QStringList f = r.split('|');
            QJsonArray tracks;
            for (int t = 2; t < f.size(); ++t)
                tracks.append(QJsonObject{{"position", t - 1}, {"title", f[t]}, {"recording", QJsonObject{{"id", Mbid(90 + t)}}}});
            const QJsonObject medium{{"position", 1}, {"discs", QJsonArray{QJsonObject{{"id", discId}}}}, {"tracks", tracks}};
            list.append(QJsonObject{{"id", Mbid(++n)}, {"title", f[0]}, {"date", "1999-05-01"},
                                    {"artist-credit", QJsonArray{QJsonObject{{"name", f[1]}, {"joinphrase", ""}}}},
                                    {"media", QJsonArray{medium}}});
        }
        return QJsonDocument(QJsonObject{{"releases", list}}).toJson();
    }
    void serve(LocalHttpServer::Response response) { server.Route(("/ws/2/discid/" + discId).toLatin1(), response); }
    int lookups() const
    {
        int count = 0;
        for (const auto& r : server.requests())
            count += r.target.startsWith("/ws/2/discid/");
        return count;
    }

    DiscTitles& titles() { return window->tracks().titles(); }
    // Loads the disc and waits for its lookup, if one starts.
    void load()
    {
        if (!window)
            make();
        window->LoadTrackList();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !titles().LookupPending(); }, 10000));
    }
    QStringList shown()
    {
        QStringList out{window->tracks().txtCDArtist->text(), window->tracks().txtCDAlbum->text()};
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            out << list()->topLevelItem(i)->text(TrackList::ColumnTitle);
        return out;
    }
    QString coverVariable() const
    {
        QString value;
        for (const auto& [name, v] : frontEnd->variables)
            if (name == "_root.CoverArt")
                value = v;
        return value;
    }
    void restart()
    {
        window->close();
        window.reset();
        make();
    }
};

} // namespace

TEST_F(DiscTitlesTest, LookedUpReleasesFillTheListOfferTheChoiceAndShowTheCover)
{
    serve({200, Reply({"Album A|Artist A|One A|Two A|Three A", "Album B|Artist B|One B|Two B"})});
    server.Route(("/release/" + Mbid(1) + "/front-500").toLatin1(), {200, PngBytes()});
    server.Route(("/release/" + Mbid(2) + "/front-500").toLatin1(), {404});
    load();
    EXPECT_EQ(shown(), (QStringList{"Artist A", "Album A", "One A", "Two A", "Three A"}));
    EXPECT_EQ(titles().Year(), "1999");
    EXPECT_FALSE(titles().cmbRelease->isHidden());
    EXPECT_EQ(titles().cmbRelease->count(), 2);
    EXPECT_EQ(titles().cmbRelease->itemText(1), "Album B - Artist B (1999)");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !coverVariable().isEmpty(); }, 5000));
    EXPECT_TRUE(coverVariable().startsWith(QUrl::fromLocalFile(lookup.discFolder).toString()));

    // The second release has two titles: the third row falls back to the CD-Text's, which has none.
    titles().ChooseRelease(1);
    EXPECT_EQ(shown(), (QStringList{"Artist B", "Album B", "One B", "Two B", ""}));
    EXPECT_TRUE(coverVariable().isEmpty()); // the first release's cover is not this one's
    EXPECT_TRUE(dialogs.boxes.isEmpty());

    // Remembered: a restart shows the choice at once and asks nothing.
    const int asked = lookups();
    restart();
    window->LoadTrackList();
    EXPECT_FALSE(titles().LookupPending());
    EXPECT_EQ(shown(), (QStringList{"Artist B", "Album B", "One B", "Two B", ""}));
    EXPECT_EQ(titles().cmbRelease->currentIndex(), 1);
    EXPECT_EQ(lookups(), asked);
}

TEST_F(DiscTitlesTest, EditsWinOverEverySourceAndSurviveARestart)
{
    serve({200, Reply({"Album A|Artist A|One A|Two A|Three A"})});
    load();
    list()->topLevelItem(1)->setText(TrackList::ColumnTitle, "My\ttwo\x01");
    window->tracks().txtCDAlbum->setText("");
    emit window->tracks().txtCDAlbum->editingFinished();
    EXPECT_EQ(shown(), (QStringList{"Artist A", "", "One A", "My two", "Three A"}));

    restart();
    load();
    EXPECT_EQ(shown(), (QStringList{"Artist A", "", "One A", "My two", "Three A"}));
    EXPECT_EQ(lookups(), 1);

    // Look up again forgets the edits and asks once more.
    titles().cmdLookUpAgain->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !titles().LookupPending(); }, 10000));
    EXPECT_EQ(shown(), (QStringList{"Artist A", "Album A", "One A", "Two A", "Three A"}));
    EXPECT_EQ(lookups(), 2);
}

// Which failure says what is the client's test; here each kind keeps the disc's own texts, quietly.
TEST_F(DiscTitlesTest, AFailedLookupIsQuietAndKeepsTheDiscsOwnTexts)
{
    struct Case { const char* name; bool network; LocalHttpServer::Response response; const char* status; };
    const Case cases[] = {
        {"not found", true, {404, R"({"error":"Not Found"})"}, "not in MusicBrainz"},
        {"busy", true, {503}, "MusicBrainz is busy (503)"},
        {"lookups off", false, {200, Reply({"Album A|Artist A|One A"})}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        lookup.network = c.network;
        serve(c.response);
        load();
        EXPECT_EQ(shown(), (QStringList{"Disc Artist", "Disc Album", "Disc One", "Disc Two", ""}));
        EXPECT_TRUE(titles().Status().contains(c.status, Qt::CaseInsensitive)) << titles().Status().toStdString();
        EXPECT_TRUE(titles().cmbRelease->isHidden());
        EXPECT_TRUE(dialogs.boxes.isEmpty());
    }
}

TEST_F(DiscTitlesTest, ADamagedRememberedFileIsReportedAndKeptUntilTheUserEdits)
{
    serve({200, Reply({"Album A|Artist A|One A|Two A|Three A"})});
    QDir().mkpath(lookup.discFolder);
    const QString path = lookup.discFolder + '/' + discId + ".json";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{ damaged");
    file.close();
    QFile cover(lookup.discFolder + '/' + discId + ".jpg");
    ASSERT_TRUE(cover.open(QIODevice::WriteOnly) && cover.write("\xFF\xD8\xFF") == 3);
    cover.close();

    make();
    load();
    // Said once, in a box: the status line goes on to the lookup.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.boxes.isEmpty(); }, 5000));
    EXPECT_EQ(dialogs.boxes.size(), 1);
    EXPECT_TRUE(dialogs.boxes[0].text.startsWith("The remembered titles of this disc could not be read ("))
        << dialogs.boxes[0].text.toStdString();
    EXPECT_EQ(shown(), (QStringList{"Artist A", "Album A", "One A", "Two A", "Three A"})); // looked up all the same
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "{ damaged");
    file.close();
    EXPECT_EQ(cover.size(), 3) << "the cover beside it is kept too";

    list()->topLevelItem(0)->setText(TrackList::ColumnTitle, "Mine");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Mine"));
}

// The first disc is read at start-up before the settings are: a stored "off"
// must still hold for it.
TEST_F(DiscTitlesTest, StoredLookupsOffHoldFromTheStart)
{
    serve({200, Reply({"Album A|Artist A|One A"})});
    CRegister reg;
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, modSettings::kSection, "Look Up Discs", "False"));
    start();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !titles().LookupPending(); }, 10000));
    EXPECT_EQ(lookups(), 0);
    EXPECT_EQ(shown(), (QStringList{"Disc Artist", "Disc Album", "Disc One", "Disc Two", ""}));
    reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, modSettings::kSection, "Look Up Discs");
}
