#include "DiscTitles.h"

#include "meta/MetadataClient.h"
#include "platform/frontend/FrontEnd.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>

namespace qm {

namespace {
const QString kCoverVariable = QStringLiteral("_root.CoverArt");
const QString kPublicServer = QStringLiteral("https://musicbrainz.org");

// A one-line status that gives way to the choice beside it: cut with "..."
// where it does not fit, the whole text in its tooltip.
class StatusLabel : public QLabel {
public:
    using QLabel::QLabel;
    void setStatus(const QString& text)
    {
        m_text = text;
        setToolTip(text);
        updateGeometry();
        Elide();
    }
    QSize minimumSizeHint() const override { return {fontMetrics().horizontalAdvance(QStringLiteral("Wait...")), QLabel::minimumSizeHint().height()}; }
    QSize sizeHint() const override { return {fontMetrics().horizontalAdvance(m_text) + 4, QLabel::sizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        Elide();
    }

private:
    void Elide() { setText(fontMetrics().elidedText(m_text, Qt::ElideRight, width())); }
    QString m_text;
};

} // namespace

DiscTitles::DiscTitles(FrontEnd& frontEnd, meta::LookupConfig config, QWidget* owner)
    : QObject(owner), m_frontEnd(frontEnd), m_config(std::move(config)), m_store(m_config.discFolder)
{
    cmbRelease = new QComboBox(owner);
    cmbRelease->setObjectName(QStringLiteral("cmbRelease"));
    cmbRelease->setToolTip(QStringLiteral("Several releases match this disc; choose yours"));
    cmbRelease->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbRelease->setMinimumContentsLength(20);
    cmbRelease->hide();
    lblLookupStatus = new StatusLabel(owner);
    lblLookupStatus->setObjectName(QStringLiteral("lblLookupStatus"));
    lblLookupStatus->setTextFormat(Qt::PlainText);
    cmdLookUpAgain = new QPushButton(QStringLiteral("Look up again"), owner);
    cmdLookUpAgain->setObjectName(QStringLiteral("cmdLookUpAgain"));
    cmdLookUpAgain->setToolTip(QStringLiteral("Forget what is remembered of this disc, your edits too, and look it up again"));
    cmdLookUpAgain->setEnabled(false);

    connect(cmbRelease, &QComboBox::activated, this, [this](int index) { ChooseRelease(index); });
    connect(cmdLookUpAgain, &QPushButton::clicked, this, [this] { LookUpAgain(); });
}

DiscTitles::~DiscTitles() = default;

void DiscTitles::Reset()
{
    delete m_client; // a lookup for the disc before reports nothing more
    m_client = nullptr;
    ++m_generation;
    m_releases.clear();
    m_chosen = -1;
    m_edits = {};
    m_damaged = false;
    m_pending = false;
    m_coverPending = false;
    SetCover(QString());
    SetStatus(QString());
}

void DiscTitles::DiscLoaded(const meta::DiscIds& ids, std::optional<CdTextTables> cdText)
{
    m_cdText = std::move(cdText);
    if (!ids.musicBrainz.isEmpty() && ids.musicBrainz == m_ids.musicBrainz) {
        emit titlesChanged();
        return;
    }
    Reset();
    m_ids = ids;
    const bool known = meta::IsDiscId(m_ids.musicBrainz);
    cmdLookUpAgain->setEnabled(known);

    const meta::DiscStore::Loaded loaded = known ? m_store.Load(m_ids.musicBrainz) : meta::DiscStore::Loaded{};
    switch (loaded.found) {
    case meta::DiscStore::Found::Remembered:
        m_releases = loaded.disc.releases;
        m_chosen = loaded.disc.chosen;
        m_edits = loaded.disc.edits;
        SetStatus(m_releases.isEmpty() ? QStringLiteral("Your titles for this disc")
                                       : QStringLiteral("Titles from MusicBrainz, remembered"));
        ShowCover();
        if (m_store.CoverPath(m_ids.musicBrainz).isEmpty())
            FetchCover(); // not there yet when the disc was last seen
        break;
    case meta::DiscStore::Found::Damaged:
        m_damaged = true;
        SetStatus(QStringLiteral("The remembered titles of this disc could not be read"));
        emit unreadable(QStringLiteral("The remembered titles of this disc could not be read (%1); the file is left "
                                       "as it is.")
                            .arg(loaded.why));
        StartLookup();
        break;
    case meta::DiscStore::Found::Nothing:
        if (known)
            StartLookup();
        break;
    }
    FillChoice();
    emit titlesChanged();
}

void DiscTitles::DiscGone()
{
    Reset();
    m_ids = {};
    m_cdText.reset();
    cmdLookUpAgain->setEnabled(false);
    FillChoice();
    // The artist and album boxes keep what they showed, as they always have.
}

meta::MetadataClient* DiscTitles::Client()
{
    if (m_client)
        return m_client;
    const Choices wanted = choices ? choices() : Choices{};
    if (!m_config.network || !wanted.lookUp)
        return nullptr;
    meta::ServiceConfig service;
    service.musicBrainzServer = !m_config.musicBrainzServer.isEmpty() ? m_config.musicBrainzServer
                                : !wanted.server.trimmed().isEmpty() ? wanted.server.trimmed()
                                                                       : kPublicServer;
    if (!m_config.coverArtServer.isEmpty())
        service.coverArtServer = m_config.coverArtServer;
    service.timeoutMs = m_config.timeoutMs;
    service.minIntervalMs = m_config.minIntervalMs;
    m_client = new meta::MetadataClient(service, this);
    connect(m_client, &meta::MetadataClient::lookedUp, this, [this](const QString& id, const QList<meta::Release>& found) {
        if (id != m_ids.musicBrainz)
            return;
        m_pending = false;
        if (found.isEmpty()) {
            SetStatus(QStringLiteral("This disc is not in MusicBrainz"));
        } else {
            m_releases = found;
            m_chosen = 0;
            SetStatus(found.size() == 1 ? QStringLiteral("Titles from MusicBrainz")
                                        : QStringLiteral("%1 releases match:").arg(found.size()));
            Remember();
            FetchCover();
        }
        FillChoice();
        emit titlesChanged();
        emit lookupFinished();
    });
    connect(m_client, &meta::MetadataClient::lookupFailed, this, [this](const QString& id, const QString& why) {
        if (id != m_ids.musicBrainz)
            return;
        m_pending = false;
        Problem(why);
        emit lookupFinished();
    });
    connect(m_client, &meta::MetadataClient::coverFetched, this, [this](const QString& release, const QByteArray& image) {
        const meta::Release* chosen = ChosenRelease();
        if (!chosen || chosen->id != release)
            return;
        if (m_store.SaveCover(m_ids.musicBrainz, image, nullptr))
            ShowCover();
        m_coverPending = false;
        emit coverFinished();
    });
    connect(m_client, &meta::MetadataClient::coverMissing, this, [this](const QString& release) {
        const meta::Release* chosen = ChosenRelease();
        if (!chosen || chosen->id != release)
            return;
        m_coverPending = false;
        emit coverFinished();
    });
    return m_client;
}

void DiscTitles::StartLookup()
{
    // Begun from the event loop: at start-up the settings that allow it are
    // loaded after the first disc is read, and that disc may not stay.
    m_pending = true;
    QTimer::singleShot(0, this, [this, id = m_ids.musicBrainz, generation = ++m_generation] {
        if (generation != m_generation || id != m_ids.musicBrainz)
            return;
        if (meta::MetadataClient* client = Client()) {
            SetStatus(QStringLiteral("Looking the disc up on MusicBrainz..."));
            client->LookUp(id);
        } else {
            m_pending = false;
            emit lookupFinished();
        }
    });
}

void DiscTitles::FetchCover()
{
    const meta::Release* chosen = ChosenRelease();
    // Beside a remembered file that cannot be read, its cover is left as it is too.
    if (!chosen || chosen->id.isEmpty() || m_damaged)
        return;
    // The cover of the release chosen before goes; no cover is better than a wrong one.
    m_store.ForgetCover(m_ids.musicBrainz);
    ShowCover();
    if (meta::MetadataClient* client = Client()) {
        m_coverPending = true;
        client->FetchCover(chosen->id);
    }
}

void DiscTitles::ShowCover()
{
    const QString path = m_store.CoverPath(m_ids.musicBrainz);
    // A new address each time, so the scene shows a replaced cover, not its cached one.
    SetCover(path.isEmpty() ? QString()
                            : QUrl::fromLocalFile(path).toString() + QStringLiteral("#%1").arg(++m_coverVersion));
}

void DiscTitles::SetCover(const QString& url)
{
    if (url == m_coverShown)
        return;
    m_coverShown = url;
    m_frontEnd.SetVariable(kCoverVariable, url);
}

void DiscTitles::Remember()
{
    if (m_damaged || !meta::IsDiscId(m_ids.musicBrainz))
        return;
    QString why;
    if (!m_store.Save(m_ids.musicBrainz, {m_releases, m_chosen, m_edits}, &why))
        Problem(QStringLiteral("the titles of this disc could not be remembered: %1").arg(why));
}

void DiscTitles::SetStatus(const QString& text)
{
    m_status = text;
    static_cast<StatusLabel*>(lblLookupStatus)->setStatus(text);
}

void DiscTitles::Problem(const QString& text)
{
    SetStatus(text.left(1).toUpper() + text.mid(1));
    emit problem(text);
}

void DiscTitles::FillChoice()
{
    const QSignalBlocker quiet(cmbRelease);
    cmbRelease->clear();
    for (const meta::Release& r : m_releases)
        cmbRelease->addItem(meta::ChoiceText(r));
    cmbRelease->setCurrentIndex(m_chosen);
    cmbRelease->setVisible(m_releases.size() > 1);
}

const meta::Release* DiscTitles::ChosenRelease() const
{
    return m_chosen >= 0 && m_chosen < m_releases.size() ? &m_releases[m_chosen] : nullptr;
}

QByteArray DiscTitles::Cover() const
{
    QFile file(m_store.CoverPath(m_ids.musicBrainz));
    return !file.fileName().isEmpty() && file.open(QIODevice::ReadOnly) ? file.read(16 << 20) : QByteArray();
}

QString DiscTitles::Title(int track) const
{
    if (const auto edit = m_edits.titles.find(track); edit != m_edits.titles.end())
        return edit->second;
    if (const meta::Release* r = ChosenRelease(); r && track >= 1 && track <= r->tracks.size() &&
                                                   !r->tracks[track - 1].title.isEmpty())
        return r->tracks[track - 1].title;
    return m_cdText ? meta::CleanText(m_cdText->title.value(track)) : QString();
}

QString DiscTitles::DiscText(const std::optional<QString>& edit, QString meta::Release::*field,
                             QStringList CdTextTables::*cdText, const QString& unknown) const
{
    if (edit)
        return *edit;
    if (const meta::Release* r = ChosenRelease(); r && !(r->*field).isEmpty())
        return r->*field;
    // A disc with CD-Text shows what it says, even nothing.
    return m_cdText ? meta::CleanText(((*m_cdText).*cdText).value(0)) : unknown;
}

QString DiscTitles::Artist() const
{
    return DiscText(m_edits.artist, &meta::Release::artist, &CdTextTables::performer, QStringLiteral("Unknown Artist"));
}

QString DiscTitles::Album() const
{
    return DiscText(m_edits.album, &meta::Release::title, &CdTextTables::title, QStringLiteral("Unknown Album"));
}

QString DiscTitles::Year() const
{
    const meta::Release* r = ChosenRelease();
    return r ? r->year : QString();
}

QString DiscTitles::Genre() const
{
    const meta::Release* r = ChosenRelease();
    return r ? r->genre : QString();
}

void DiscTitles::Edit(const QString& text, const QString& shown, const std::function<void(const QString&)>& store)
{
    const QString clean = meta::CleanText(text);
    if (clean == shown)
        return;
    store(clean);
    m_damaged = false; // the user's own edit replaces an unreadable file
    Remember();
    emit titlesChanged();
}

void DiscTitles::EditTitle(int track, const QString& title)
{
    if (track >= 1 && track <= 99)
        Edit(title, Title(track), [&](const QString& clean) { m_edits.titles[track] = clean; });
}

void DiscTitles::EditArtist(const QString& artist)
{
    Edit(artist, Artist(), [this](const QString& clean) { m_edits.artist = clean; });
}

void DiscTitles::EditAlbum(const QString& album)
{
    Edit(album, Album(), [this](const QString& clean) { m_edits.album = clean; });
}

void DiscTitles::ChooseRelease(int index)
{
    if (index < 0 || index >= m_releases.size() || index == m_chosen)
        return;
    m_chosen = index;
    Remember();
    FetchCover();
    FillChoice();
    emit titlesChanged();
}

void DiscTitles::LookUpAgain()
{
    if (!meta::IsDiscId(m_ids.musicBrainz))
        return;
    if (!m_store.Forget(m_ids.musicBrainz)) {
        Problem(QStringLiteral("the remembered titles of this disc could not be removed"));
        return;
    }
    Reset();
    StartLookup();
    FillChoice();
    emit titlesChanged();
}

} // namespace qm
