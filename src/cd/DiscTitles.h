#pragma once
// The disc's titles as the track list shows them: for each text the user's
// edit, else the chosen looked-up release's, else the CD-Text's. Looks the
// disc up online in the background, offers the choice when several releases
// match, remembers edits and choices per disc ID and shows the cover on the
// scene. Nothing here ever opens a box: problems go to the status line.

#include "cd/CdTextParser.h"
#include "meta/DiscIds.h"
#include "meta/DiscStore.h"
#include "meta/LookupConfig.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

namespace qm {

class FrontEnd;

namespace meta {
class MetadataClient;
}

class DiscTitles : public QObject {
    Q_OBJECT
public:
    DiscTitles(FrontEnd& frontEnd, meta::LookupConfig config, QWidget* owner);
    ~DiscTitles() override;

    // The user's choices: whether to look discs up, and the server's address.
    struct Choices {
        bool lookUp = true;
        QString server;
    };
    std::function<Choices()> choices;

    // A disc was read: its IDs and its CD-Text, if it has any. The same disc
    // again keeps what is known and looks nothing up.
    void DiscLoaded(const meta::DiscIds& ids, std::optional<CdTextTables> cdText);
    // No disc (or none that can be read).
    void DiscGone();

    QString Title(int track) const; // track numbers from 1
    QString Artist() const;
    QString Album() const;
    QString Year() const;
    QString Genre() const;
    const meta::DiscIds& Ids() const { return m_ids; }
    const QList<meta::Release>& Releases() const { return m_releases; }
    int Chosen() const { return m_chosen; }
    const meta::Release* ChosenRelease() const; // null when none is chosen
    // The chosen release's cover as it is kept, empty when there is none.
    QByteArray Cover() const;
    bool LookupPending() const { return m_pending; }
    bool CoverPending() const { return m_coverPending; }
    // What the status line says, whole.
    const QString& Status() const { return m_status; }

    void EditTitle(int track, const QString& title);
    void EditArtist(const QString& artist);
    void EditAlbum(const QString& album);
    void ChooseRelease(int index);
    // Forgets what is remembered of the disc, edits too, and asks again.
    void LookUpAgain();

    QComboBox* cmbRelease = nullptr;
    QLabel* lblLookupStatus = nullptr;
    QPushButton* cmdLookUpAgain = nullptr;

signals:
    // The titles, artist or album may read differently now.
    void titlesChanged();
    // A lookup ended, found or not.
    void lookupFinished();
    // The chosen release's cover came, or will not.
    void coverFinished();
    // Something went wrong that the user should hear of once (the window
    // shows it in the status line; the command line prints it).
    void problem(const QString& text);
    // The remembered file cannot be read: said once in a box, as the status
    // line goes on to the lookup that follows.
    void unreadable(const QString& text);

private:
    void Reset();
    // Keeps an edit that changes what is shown, and remembers it.
    void Edit(const QString& text, const QString& shown, const std::function<void(const QString&)>& store);
    meta::MetadataClient* Client(); // made on first use; null when lookups are off
    void StartLookup();
    void FetchCover();
    void ShowCover();
    void SetCover(const QString& url); // tells the scene when it changes
    void Remember();
    void SetStatus(const QString& text);
    void Problem(const QString& text);
    void FillChoice();
    // The disc's artist or album: the edit, else the chosen release's, else
    // the CD-Text's, else `unknown`.
    QString DiscText(const std::optional<QString>& edit, QString meta::Release::*field, QStringList CdTextTables::*cdText,
                     const QString& unknown) const;

    FrontEnd& m_frontEnd;
    meta::LookupConfig m_config;
    meta::DiscStore m_store;
    meta::MetadataClient* m_client = nullptr;
    meta::DiscIds m_ids;
    std::optional<CdTextTables> m_cdText;
    QList<meta::Release> m_releases;
    int m_chosen = -1;
    meta::DiscEdits m_edits;
    bool m_damaged = false; // the remembered file is kept as it is until the user edits
    bool m_pending = false;
    bool m_coverPending = false;
    int m_coverVersion = 0;
    QString m_coverShown;
    QString m_status;
    unsigned m_generation = 0; // a lookup begun for an earlier disc or before a reset is dropped
};

} // namespace qm
