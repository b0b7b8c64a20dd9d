#pragma once
// The track list frame (frMain): the disc's tracks, its CD-Text artist and
// album, and the choice of the row to play. The player's controls sit in the
// frame's layout but belong to the player.

#include "meta/DiscIds.h"
#include "meta/LookupConfig.h"
#include "platform/audio/AudioLibrary.h"
#include "shared/WindowState.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

class QFrame;
class QLabel;
class QLayout;
class QLineEdit;
class QTreeWidget;
class QWidget;

namespace qm {

class Dialogs;
class DiscTitles;
namespace verify {
class AccurateRipLookup;
}
class FrontEnd;

class TrackList : public QObject {
    Q_OBJECT
public:
    TrackList(AudioLibrary& audio, Dialogs& dialogs, FrontEnd& frontEnd, WindowState& state,
              meta::LookupConfig lookup, QWidget* owner);
    // Lays the frame out, with the player's three groups in their places.
    void LayOut(QLayout* volume, QLayout* position, QLayout* controls);

    void LoadTrackList();
    // The playback timer's reload of an empty list while the door is shut.
    void ReloadIfEmpty();
    // The disc track (0-based) a row of the list (0-based) stands for.
    int TrackOfRow(int row) const;
    // A row's length in whole seconds, as its duration shows it.
    int SecondsOfRow(int row) const;
    // The disc tracks of the checked rows, in list order.
    std::vector<int> CheckedTracks() const;
    int RowCount() const;
    // The disc's titles, artist and album, looked up and edited.
    DiscTitles& titles() const { return *m_titles; }
    // The disc's table of contents; empty with no disc.
    const QM_CD_TOC& Toc() const { return m_toc; }
    // The disc's AccurateRip entries; null when the database is never asked.
    verify::AccurateRipLookup* accurateRip() const { return m_accurateRip; }
    // Asks the database about the disc unless it has been or is being asked.
    void AskAccurateRip();
    // Whether a loaded disc is looked up in AccurateRip at once (the user's option).
    std::function<bool()> verifiesRips;

    // The list's columns.
    enum Column { ColumnTrack, ColumnTitle, ColumnType, ColumnDuration };

    // Rows are 1-based here, as the scene's commands count them; 0 is none.
    int SelectedRow() const;
    // Plays the track a row (0-based) lists; the selection stays as it is.
    void PlayRow(int row);
    // Selects a row (1-based) and plays it.
    void PlayAndSelect(int row);
    // The row after the selected one, wrapping to the first. With none
    // selected: the first row when `fromNone`, else nothing.
    void PlayNext(bool fromNone);
    void PlayPrevious();
    // The selected row; with none, the first row (and it becomes selected).
    void PlaySelectedOrFirst();
    void lsTracks_DblClick();

    QFrame* frMain = nullptr;
    QTreeWidget* lsTracks = nullptr;
    QLineEdit* txtCDArtist = nullptr;
    QLineEdit* txtCDAlbum = nullptr;
    QLabel* lblHint = nullptr;
    QLabel* lblNoTracks = nullptr;

signals:
    // The player starts this disc track (0-based).
    void playRequested(int track);

private:
    void LoadTrackListFromCDText(const char* lngTagPtr, int lTrackCount);
    void AddTrackRow(int track, std::int32_t bytes);
    meta::DiscIds ReadDiscIds();
    // Shows the titles, artist and album DiscTitles resolves.
    void ShowTitles();
    // A disc whose load reported an error is remembered (drive and track
    // lengths) so that the timer's reloads of an empty list stay silent.
    void ReportLoadErrorsOnce(const QString& disc, const std::function<void()>& report);

    AudioLibrary& m_audio;
    Dialogs& m_dialogs;
    FrontEnd& m_frontEnd;
    WindowState& m_state;
    QWidget* m_owner;
    QString m_reportedDisc; // "" when no disc load error was reported
    DiscTitles* m_titles = nullptr;
    verify::AccurateRipLookup* m_accurateRip = nullptr;
    QM_CD_TOC m_toc;
    bool m_showingTitles = false; // the list's own changes are no user edits
};

} // namespace qm
