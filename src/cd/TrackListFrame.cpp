// The track list frame (frMain): the disc's tracks, its CD-Text artist and
// album, and the player's sliders around them.
#include "app/frmMain.h"
#include "cd/CdTextParser.h"
#include "cd/DiscText.h"
#include "diag/ErrorReport.h"
#include "platform/frontend/FrontEnd.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSizePolicy>
#include <QSlider>
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

QLabel* Label(const QString& text, QWidget* parent, const char* name)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

void frmMain::BuildTrackListFrame()
{
    QFrame* frame = frMain;

    lblHint = Label(QStringLiteral("Check the tracks that you want to extract, Double click to play"), frame,
                    "lblHint");

    txtCDArtist = new QLineEdit(frame);
    txtCDArtist->setObjectName(QStringLiteral("txtCDArtist"));
    txtCDAlbum = new QLineEdit(frame);
    txtCDAlbum->setObjectName(QStringLiteral("txtCDAlbum"));
    QLabel* artist = Label(QStringLiteral("Artist :"), frame, "lblCDArtist");
    artist->setBuddy(txtCDArtist);
    QLabel* album = Label(QStringLiteral("Album :"), frame, "lblCDAlbum");
    album->setBuddy(txtCDAlbum);

    lsTracks->setColumnCount(3);
    lsTracks->setHeaderLabels({QStringLiteral("Track#"), QStringLiteral("Type"), QStringLiteral("Duration")});
    lsTracks->setRootIsDecorated(false);
    lsTracks->setUniformRowHeights(true);
    lsTracks->setAllColumnsShowFocus(true);
    lsTracks->setSelectionMode(QAbstractItemView::SingleSelection);
    lsTracks->header()->setStretchLastSection(false);
    lsTracks->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lsTracks->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    lsTracks->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);

    // Shown in the list's place while it is empty.
    lblNoTracks = Label(QStringLiteral("If no tracks listed, You can change the CD drive from the settings tab."),
                        frame, "lblNoTracks");
    lblNoTracks->setWordWrap(true);
    lblNoTracks->setAlignment(Qt::AlignCenter);
    lblNoTracks->setAttribute(Qt::WA_TransparentForMouseEvents);

    lblVolume = Label(QString(), frame, "lblVolume");
    lblVolume->setAlignment(Qt::AlignCenter);
    lblVolume->setMinimumWidth(lblVolume->fontMetrics().horizontalAdvance(QStringLiteral("Volume : 10")) + 4);
    lblBalance = Label(QString(), frame, "lblBalance");
    lblBalance->setMinimumWidth(lblBalance->fontMetrics().horizontalAdvance(QStringLiteral("-100")) + 4);
    lblTrackPosition = Label(QString(), frame, "lblTrackPosition");
    lblTrackPosition->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblTrackPosition->setMinimumWidth(
        lblTrackPosition->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00 / 00:00:00")) + 4);

    for (int i : {0, 1, 2, 8}) {
        static const char* const captions[9] = {"&Play", "P&ause/Resume", "&Stop", nullptr, nullptr,
                                                nullptr, nullptr, nullptr, "&Fade Out"};
        auto* button = new QPushButton(QString::fromLatin1(captions[i]), frame);
        // As narrow as the caption allows, so the balance slider keeps its room.
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text().remove(QLatin1Char('&'))) + 20);
        button->setObjectName(QStringLiteral("cmdButton[%1]").arg(i));
        cmdButton[static_cast<std::size_t>(i)] = button;
    }

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

    auto* middle = new QHBoxLayout;
    auto* listArea = new QGridLayout;
    listArea->addWidget(lsTracks, 0, 0);
    listArea->addWidget(lblNoTracks, 0, 0, Qt::AlignCenter);
    middle->addLayout(listArea, 1);
    auto* volume = new QVBoxLayout;
    volume->addWidget(SliderVolume, 1, Qt::AlignHCenter);
    volume->addWidget(lblVolume);
    middle->addLayout(volume);
    top->addLayout(middle, 1);

    auto* position = new QHBoxLayout;
    position->addWidget(SliderPosition, 1);
    position->addWidget(lblTrackPosition);
    top->addLayout(position);

    SliderBalance->setMinimumWidth(90);
    auto* controls = new QHBoxLayout;
    controls->addWidget(Label(QStringLiteral("Balance"), frame, "lblBalanceCaption"));
    controls->addWidget(SliderBalance, 1);
    controls->addWidget(lblBalance);
    controls->addSpacing(6);
    for (int i : {0, 1, 2, 8})
        controls->addWidget(cmdButton[static_cast<std::size_t>(i)]);
    top->addLayout(controls);
}

void frmMain::AddTrackRow(int track, std::int32_t bytes)
{
    auto* row = new QTreeWidgetItem(lsTracks);
    row->setText(0, QStringLiteral("Track %1").arg(track + 1, 2, 10, QLatin1Char('0')));
    // Rows are only the disc's audio tracks, so row and track numbers can differ.
    row->setData(0, Qt::UserRole, track);
    row->setText(1, QStringLiteral("Audio"));
    row->setText(2, Seconds2HMS(TrackSeconds(bytes)));
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, Qt::Unchecked);
}

int frmMain::TrackOfRow(int row) const
{
    const QTreeWidgetItem* item = lsTracks->topLevelItem(row);
    return item ? item->data(0, Qt::UserRole).toInt() : row;
}

void frmMain::ReportLoadErrorsOnce(const QString& disc, const std::function<void()>& report)
{
    if (disc == m_reportedDisc)
        return;
    m_reportedDisc = disc;
    report();
}

void frmMain::LoadTrackList()
{
    const DWORD drive = static_cast<DWORD>(currentDrive);
    lsTracks->clear();

    const int tracks = m_audio.BASS_CD_IsReady(drive) ? m_audio.BASS_CD_GetTracks(drive) : -1;
    if (tracks < 0) {
        m_reportedDisc.clear(); // the next disc in this drive may be reported again
    } else if (const char* cdText = m_audio.BASS_CD_GetID(drive, BASS_CDID_TEXT)) {
        LoadTrackListFromCDText(cdText, tracks);
    } else {
        txtCDArtist->setText(QStringLiteral("Unknown Artist"));
        txtCDAlbum->setText(QStringLiteral("Unknown Album"));
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
        if (failures.empty()) {
            m_reportedDisc.clear();
        } else {
            ReportLoadErrorsOnce(DiscIdentity(currentDrive, lengths), [&] {
                for (int code : failures)
                    ShowAudioError(m_dialogs, this, QStringLiteral("There was an error."), code);
            });
        }
    }

    const bool any = lsTracks->topLevelItemCount() > 0;
    const QString flag = any ? QStringLiteral("1") : QStringLiteral("0");
    for (const char* name : kEnableVariables)
        m_frontEnd->SetVariable(QLatin1String(name), flag);
    m_frontEnd->SetVariable(QStringLiteral("_root.ChangeStatus"), QStringLiteral("1"));
    lblNoTracks->setVisible(!any);
}

void frmMain::LoadTrackListFromCDText(const char* lngTagPtr, int lTrackCount)
{
    const DWORD drive = static_cast<DWORD>(currentDrive);
    const CdTextTables tables = ParseCdText(lngTagPtr, lTrackCount);
    txtCDArtist->setText(tables.performer.value(0));
    txtCDAlbum->setText(tables.title.value(0));

    // A bad entry is dropped; the disc's audio stays listed so it can still be
    // played and ripped.
    std::vector<std::int32_t> lengths;
    for (int t = 0; t < lTrackCount; ++t) {
        const std::int32_t length = m_audio.BASS_CD_GetTrackLength(drive, static_cast<DWORD>(t));
        lengths.push_back(length);
        if (length > 0)
            AddTrackRow(t, length);
    }

    if (!tables.error) {
        m_reportedDisc.clear();
        return;
    }
    ReportLoadErrorsOnce(DiscIdentity(currentDrive, lengths), [&] {
        ReportError(m_dialogs, this, kModule, QStringLiteral("LoadTrackListFromCDText"), tables.error->number,
                    tables.error->description);
    });
}

} // namespace qm
