// The track list frame (frMain): the disc's tracks, its CD-Text artist and
// album, and the player's controls around them.
#include "TrackList.h"

#include "verify/AccurateRipLookup.h"

#include "cd/CdTextParser.h"
#include "cd/DiscText.h"
#include "cd/DiscTitles.h"
#include "cd/TrackRows.h"
#include "diag/ErrorReport.h"
#include "platform/frontend/FrontEnd.h"
#include "shared/NamedLabel.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <vector>

namespace qm {

namespace {

const char* const kEnableVariables[] = {
    "_root.PlayEnabled", "_root.PreviousEnabled", "_root.NextEnabled", "_root.BeginEnabled",
    "_root.EndEnabled",  "_root.StopEnabled",     "_root.PauseEnabled",
};

const QString kModule = QStringLiteral("frmDemo");

// What identifies a disc for the once-only error report: its drive and its
// table of contents as read.
QString DiscIdentity(int drive, const std::vector<std::int32_t>& lengths)
{
    QString id = QString::number(drive) + QLatin1Char(':') + QString::number(lengths.size());
    for (std::int32_t length : lengths)
        id += QLatin1Char(',') + QString::number(length);
    return id;
}

// Only the title can be edited in place; the other columns are the disc's.
class TitleOnlyDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.column() != TrackList::ColumnTitle)
            return nullptr;
        auto* editor = static_cast<QLineEdit*>(QStyledItemDelegate::createEditor(parent, option, index));
        if (editor)
            editor->setMaxLength(meta::kMaxTextLength);
        return editor;
    }
    // Space checks the row whichever of its cells has the focus: Qt toggles
    // only the box's own cell, and a click on a title moves the focus there.
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override
    {
        if (index.column() != TrackList::ColumnTrack && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Space || key == Qt::Key_Select) {
                const QModelIndex box = index.siblingAtColumn(TrackList::ColumnTrack);
                const bool checked = box.data(Qt::CheckStateRole).toInt() == Qt::Checked;
                return model->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
            }
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }
};

} // namespace

TrackList::TrackList(AudioLibrary& audio, Dialogs& dialogs, FrontEnd& frontEnd, WindowState& state,
                     meta::LookupConfig lookup, QWidget* owner)
    : QObject(owner), m_audio(audio), m_dialogs(dialogs), m_frontEnd(frontEnd), m_state(state), m_owner(owner)
{
    frMain = new QFrame(owner);
    frMain->setObjectName(QStringLiteral("frMain"));
    frMain->resize(507, 300);
    QFrame* frame = frMain;

    lsTracks = new QTreeWidget(frame);
    lsTracks->setObjectName(QStringLiteral("lsTracks"));
    lblHint = NamedLabel(QStringLiteral("Check the tracks that you want to extract, Double click to play"), frame,
                    "lblHint");

    txtCDArtist = new QLineEdit(frame);
    txtCDArtist->setObjectName(QStringLiteral("txtCDArtist"));
    txtCDAlbum = new QLineEdit(frame);
    txtCDAlbum->setObjectName(QStringLiteral("txtCDAlbum"));

    lsTracks->setColumnCount(4);
    lsTracks->setHeaderLabels({QStringLiteral("Track#"), QStringLiteral("Title"), QStringLiteral("Type"),
                               QStringLiteral("Duration")});
    lsTracks->setRootIsDecorated(false);
    lsTracks->setUniformRowHeights(true);
    lsTracks->setAllColumnsShowFocus(true);
    lsTracks->setSelectionMode(QAbstractItemView::SingleSelection);
    lsTracks->setTextElideMode(Qt::ElideRight);
    lsTracks->header()->setStretchLastSection(false);
    // Sized with each row: fitted to its contents alone, the selected row's
    // number is cut short.
    lsTracks->header()->setSectionResizeMode(ColumnTrack, QHeaderView::Interactive);
    lsTracks->header()->setSectionResizeMode(ColumnTitle, QHeaderView::Stretch);
    lsTracks->header()->setSectionResizeMode(ColumnType, QHeaderView::ResizeToContents);
    lsTracks->header()->setSectionResizeMode(ColumnDuration, QHeaderView::ResizeToContents);
    // A title is edited with F2 or a click on the selected row; a double click still plays.
    lsTracks->setItemDelegate(new TitleOnlyDelegate(lsTracks));
    lsTracks->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);

    // Shown in the list's place while it is empty.
    lblNoTracks = NamedLabel(QStringLiteral("If no tracks listed, You can change the CD drive from the settings tab."),
                        frame, "lblNoTracks");
    lblNoTracks->setWordWrap(true);
    lblNoTracks->setAlignment(Qt::AlignCenter);
    lblNoTracks->setAttribute(Qt::WA_TransparentForMouseEvents);

    connect(lsTracks, &QTreeWidget::itemDoubleClicked, this, [this] { lsTracks_DblClick(); });

    if (lookup.accurateRip)
        m_accurateRip = new verify::AccurateRipLookup(lookup.accurateRipServer, lookup.timeoutMs, this);
    m_titles = new DiscTitles(frontEnd, std::move(lookup), frame);
    connect(m_titles, &DiscTitles::titlesChanged, this, &TrackList::ShowTitles);
    connect(lsTracks, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (!m_showingTitles && column == ColumnTitle)
            m_titles->EditTitle(item->data(0, Qt::UserRole).toInt() + 1, item->text(ColumnTitle));
    });
    connect(txtCDArtist, &QLineEdit::editingFinished, this, [this] { m_titles->EditArtist(txtCDArtist->text()); });
    connect(txtCDAlbum, &QLineEdit::editingFinished, this, [this] { m_titles->EditAlbum(txtCDAlbum->text()); });
}

void TrackList::ShowTitles()
{
    m_showingTitles = true;
    // Shown from their start: a long name is read from the left.
    txtCDArtist->setText(m_titles->Artist());
    txtCDArtist->setCursorPosition(0);
    txtCDAlbum->setText(m_titles->Album());
    txtCDAlbum->setCursorPosition(0);
    for (int row = 0; row < lsTracks->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = lsTracks->topLevelItem(row);
        const QString title = m_titles->Title(item->data(0, Qt::UserRole).toInt() + 1);
        item->setText(ColumnTitle, title);
        item->setToolTip(ColumnTitle, title);
    }
    m_showingTitles = false;
}

void TrackList::LayOut(QLayout* volume, QLayout* position, QLayout* controls)
{
    QFrame* frame = frMain;
    QLabel* artist = NamedLabel(QStringLiteral("Artist :"), frame, "lblCDArtist");
    artist->setBuddy(txtCDArtist);
    QLabel* album = NamedLabel(QStringLiteral("Album :"), frame, "lblCDAlbum");
    album->setBuddy(txtCDAlbum);

    auto* top = new QVBoxLayout(frame);
    top->setContentsMargins(10, 8, 10, 8);
    top->setSpacing(5);
    top->addWidget(lblHint);

    auto* disc = new QHBoxLayout;
    disc->addWidget(artist);
    disc->addWidget(txtCDArtist, 1);
    disc->addSpacing(8);
    disc->addWidget(album);
    disc->addWidget(txtCDAlbum, 1);
    top->addLayout(disc);

    auto* lookup = new QHBoxLayout;
    lookup->addWidget(m_titles->lblLookupStatus);
    lookup->addWidget(m_titles->cmbRelease, 1);
    lookup->addWidget(m_titles->cmdLookUpAgain);
    top->addLayout(lookup);

    auto* middle = new QHBoxLayout;
    auto* listArea = new QGridLayout;
    listArea->addWidget(lsTracks, 0, 0);
    listArea->addWidget(lblNoTracks, 0, 0, Qt::AlignCenter);
    middle->addLayout(listArea, 1);
    middle->addLayout(volume);
    top->addLayout(middle, 1);
    top->addLayout(position);
    top->addLayout(controls);
}

void TrackList::AddTrackRow(int track, std::int32_t bytes)
{
    auto* row = new QTreeWidgetItem(lsTracks);
    row->setText(ColumnTrack, QStringLiteral("Track %1").arg(track + 1, 2, 10, QLatin1Char('0')));
    // Rows are only the disc's audio tracks, so row and track numbers can differ.
    row->setData(0, Qt::UserRole, track);
    row->setText(ColumnType, QStringLiteral("Audio"));
    row->setText(ColumnDuration, Seconds2HMS(TrackSeconds(bytes)));
    row->setData(ColumnDuration, Qt::UserRole, TrackSeconds(bytes));
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    row->setCheckState(0, Qt::Unchecked);
    lsTracks->resizeColumnToContents(ColumnTrack);
    lsTracks->setColumnWidth(ColumnTrack, lsTracks->columnWidth(ColumnTrack) + 12);
}

int TrackList::SecondsOfRow(int row) const
{
    const QTreeWidgetItem* item = lsTracks->topLevelItem(row);
    return item ? item->data(ColumnDuration, Qt::UserRole).toInt() : 0;
}

int TrackList::TrackOfRow(int row) const
{
    const QTreeWidgetItem* item = lsTracks->topLevelItem(row);
    return item ? item->data(0, Qt::UserRole).toInt() : row;
}

void TrackList::ReportLoadErrorsOnce(const QString& disc, const std::function<void()>& report)
{
    if (disc == m_reportedDisc)
        return;
    m_reportedDisc = disc;
    report();
}

void TrackList::LoadTrackList()
{
    const DWORD drive = static_cast<DWORD>(m_state.currentDrive);
    lsTracks->clear();

    const int tracks = m_audio.BASS_CD_IsReady(drive) ? m_audio.BASS_CD_GetTracks(drive) : -1;
    if (tracks < 0) {
        m_reportedDisc.clear(); // the next disc in this drive may be reported again
        m_titles->DiscGone();
    } else if (const char* cdText = m_audio.BASS_CD_GetID(drive, BASS_CDID_TEXT)) {
        LoadTrackListFromCDText(cdText, tracks);
    } else {
        std::vector<std::int32_t> lengths;
        std::vector<int> failures; // error codes of unreadable tracks
        for (int t = 0; t < tracks; ++t) {
            const std::int32_t length = m_audio.BASS_CD_GetTrackLength(drive, static_cast<DWORD>(t));
            lengths.push_back(length);
            if (length > 0)
                AddTrackRow(t, length);
            else if (const int code = m_audio.BASS_ErrorGetCode(); code != BASS_ERROR_NOTAUDIO)
                failures.push_back(code); // a data track is simply not listed
        }
        m_titles->DiscLoaded(ReadDiscIds(), std::nullopt);
        if (failures.empty()) {
            m_reportedDisc.clear();
        } else {
            ReportLoadErrorsOnce(DiscIdentity(m_state.currentDrive, lengths), [&] {
                for (int code : failures)
                    ShowAudioError(m_dialogs, m_owner, QStringLiteral("There was an error."), code);
            });
        }
    }

    const bool any = lsTracks->topLevelItemCount() > 0;
    const QString flag = any ? QStringLiteral("1") : QStringLiteral("0");
    for (const char* name : kEnableVariables)
        m_frontEnd.SetVariable(QLatin1String(name), flag);
    m_frontEnd.SetVariable(QStringLiteral("_root.ChangeStatus"), QStringLiteral("1"));
    lblNoTracks->setVisible(!any);
}

void TrackList::LoadTrackListFromCDText(const char* lngTagPtr, int lTrackCount)
{
    const DWORD drive = static_cast<DWORD>(m_state.currentDrive);
    const CdTextTables tables = ParseCdText(lngTagPtr, lTrackCount);

    // A bad entry is dropped; the disc's audio stays listed so it can still be
    // played and ripped.
    std::vector<std::int32_t> lengths;
    for (int t = 0; t < lTrackCount; ++t) {
        const std::int32_t length = m_audio.BASS_CD_GetTrackLength(drive, static_cast<DWORD>(t));
        lengths.push_back(length);
        if (length > 0)
            AddTrackRow(t, length);
    }
    m_titles->DiscLoaded(ReadDiscIds(), tables);

    if (!tables.error) {
        m_reportedDisc.clear();
        return;
    }
    ReportLoadErrorsOnce(DiscIdentity(m_state.currentDrive, lengths), [&] {
        ReportError(m_dialogs, m_owner, kModule, QStringLiteral("LoadTrackListFromCDText"), tables.error->number,
                    tables.error->description);
    });
}

meta::DiscIds TrackList::ReadDiscIds()
{
    QM_CD_TOC toc;
    m_toc = m_audio.QM_CD_GetTOC(static_cast<DWORD>(m_state.currentDrive), &toc) ? toc : QM_CD_TOC{};
    if (m_toc.tracks.empty())
        return {};
    if (!verifiesRips || verifiesRips())
        AskAccurateRip();
    return meta::ComputeDiscIds(m_toc);
}

void TrackList::AskAccurateRip()
{
    using State = verify::AccurateRipLookup::State;
    if (!m_accurateRip || m_toc.tracks.empty())
        return;
    // The list is loaded again for the same disc (a drive chosen again, the
    // door shut): the database is asked once per disc, and again after a failure.
    const bool asked = verify::AccurateRipIdsOf(m_toc) == m_accurateRip->ids();
    if (!asked || m_accurateRip->state() == State::Idle || m_accurateRip->state() == State::Failed)
        m_accurateRip->Start(m_toc);
}

void TrackList::ReloadIfEmpty()
{
    if (lsTracks->topLevelItemCount() == 0 && !m_state.doorOpen)
        LoadTrackList();
}

std::vector<int> TrackList::CheckedTracks() const
{
    std::vector<int> tracks;
    for (int row = 0; row < lsTracks->topLevelItemCount(); ++row) {
        if (lsTracks->topLevelItem(row)->checkState(0) == Qt::Checked)
            tracks.push_back(TrackOfRow(row));
    }
    return tracks;
}

int TrackList::RowCount() const
{
    return lsTracks->topLevelItemCount();
}

int TrackList::SelectedRow() const
{
    return qm::SelectedRow(lsTracks);
}

void TrackList::PlayRow(int row)
{
    emit playRequested(TrackOfRow(row));
}

void TrackList::PlayAndSelect(int row)
{
    PlayRow(row - 1);
    SelectRow(lsTracks, row);
}

void TrackList::PlayNext(bool fromNone)
{
    const int count = RowCount();
    const int selected = SelectedRow();
    if (count == 0 || (selected == 0 && !fromNone))
        return;
    // After the last row comes the first.
    PlayAndSelect(selected == count || selected == 0 ? 1 : selected + 1);
}

void TrackList::PlayPrevious()
{
    const int count = RowCount();
    const int selected = SelectedRow();
    if (count == 0 || selected == 0)
        return;
    PlayAndSelect(selected == 1 ? count : selected - 1);
}

void TrackList::PlaySelectedOrFirst()
{
    if (const int row = SelectedRow())
        PlayRow(row - 1);
    else
        PlayNext(true);
}

void TrackList::lsTracks_DblClick()
{
    if (const int row = SelectedRow())
        PlayRow(row - 1);
}

} // namespace qm
