#include "OptionsPanels.h"

#include "rip/FileNames.h"

#include "platform/ui/Dialogs.h"
#include "shared/NamedLabel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QVBoxLayout>

namespace qm {

namespace {

QLabel* caption(const QString& text, QWidget* parent, const char* name)
{
    QLabel* l = NamedLabel(text, parent, name);
    QFont bold = l->font();
    bold.setBold(true);
    l->setFont(bold);
    return l;
}

QStringList rates(std::initializer_list<int> kbps)
{
    QStringList out;
    for (int k : kbps)
        out << QStringLiteral("%1 Kbps").arg(k);
    return out;
}

QComboBox* rateList(const QStringList& entries, QWidget* parent, const QString& name, int initial)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems(entries);
    box->setCurrentIndex(initial);
    return box;
}

} // namespace

OptionsPanels::OptionsPanels(QFrame* frFileFormat, QFrame* frGeneralOptions, Dialogs& dialogs, QWidget* owner)
    : QObject(frFileFormat), m_dialogs(dialogs), m_owner(owner)
{
    BuildFormatFrame(frFileFormat);
    BuildGeneralFrame(frGeneralOptions);
}

QString OptionsPanels::DefaultExtractPath()
{
    // Without HOME, Qt would offer "/Music": a folder at the root that is nobody's.
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        return {};
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::homePath() + QStringLiteral("/Music");
    return music + QStringLiteral("/Ripped Audio");
}

QString OptionsPanels::NoFolderReason()
{
    return DefaultExtractPath().isEmpty() ? QStringLiteral(" (HOME is not set, so there is no Music folder to offer)")
                                          : QString();
}

void OptionsPanels::BuildFormatFrame(QFrame* frame)
{
    auto* top = new QVBoxLayout(frame);
    top->setContentsMargins(10, 8, 10, 10);
    top->setSpacing(6);
    top->addWidget(caption(QStringLiteral("Grapping Format"), frame, "lblFileFormatCaption"));

    auto* body = new QHBoxLayout;
    body->setSpacing(12);
    auto* choice = new QVBoxLayout;
    choice->setSpacing(6);
    choice->addWidget(NamedLabel(QStringLiteral("Select the output file format"), frame, "lblSelectFormat"));
    static const char* const captions[kFormatCount] = {"iPod-PSP Default", "&WAV (CD-Quality)", "W&MA", "MP3", "OGG",
                                                       "FLAC (lossless)", "Opus"};
    // A group of their own: left to their common parent, the five also count
    // the mode options of the settings frames below them as members, and a
    // click on the chosen format then clears it, leaving no format at all.
    auto* formats = new QButtonGroup(frame);
    for (int i = 0; i < kFormatCount; ++i) {
        auto* option = new QRadioButton(QString::fromLatin1(captions[i]), frame);
        formats->addButton(option, i);
        option->setObjectName(QStringLiteral("optExtractMode[%1]").arg(i));
        connect(option, &QRadioButton::clicked, this, [this, i] { optExtractMode_Click(i); });
        optExtractMode[static_cast<std::size_t>(i)] = option;
        choice->addWidget(option);
    }
    choice->addStretch(1);
    body->addLayout(choice, 0);

    // The five settings frames share one place; the one in front is seen.
    auto* stack = new QWidget(frame);
    stack->setObjectName(QStringLiteral("formatSettingsStack"));
    auto* cell = new QGridLayout(stack);
    cell->setContentsMargins(0, 0, 0, 0);
    frFormatSettings[0] = BuildInfoFrame(stack, {"Output File Information:", "Channels:                Stereo",
                                                 "Audio Format :          MPEG layer III",
                                                 "Audio Sample Rate: 44KHz", "Output Bit Rate:      128 kbps",
                                                 "", "iPod-PSP Default is mp3 format with special settings"});
    frFormatSettings[1] = BuildInfoFrame(stack, {"Output File Information (Same as CD-Quality):",
                                                 "Channels:                Stereo", "Audio Format :          PCM",
                                                 "Audio Sample Rate: 44KHz", "Sample Size:           16 bit",
                                                 "Output Bit Rate:     1411 kbps", "",
                                                 "No options are available for WAV format"});
    frFormatSettings[2] = BuildWmaFrame(stack);
    frFormatSettings[3] = BuildModeFrame(stack, "MP3", optMP3CBR, optMP3VBR, cmbMP3CBitrate, cmbMP3VBitrate,
                                         rates({320, 288, 256, 224, 192, 160, 128, 96, 64, 32}),
                                         rates({288, 256, 224, 192, 160, 128, 96, 64, 32}));
    frFormatSettings[4] = BuildModeFrame(stack, "OGG", optOGGCBR, optOGGVBR, cmbOGGCBitrate, cmbOGGVBitrate,
                                         rates({320, 288, 256, 224, 192, 160, 128, 96, 64}),
                                         rates({320, 288, 256, 224, 192, 160, 128, 96, 64}));
    frFormatSettings[FormatFlac] = BuildFlacFrame(stack);
    frFormatSettings[FormatOpus] = BuildOpusFrame(stack);
    for (int i = 0; i < kFormatCount; ++i) {
        QFrame* f = frFormatSettings[static_cast<std::size_t>(i)];
        f->setObjectName(QStringLiteral("frFormatSettings[%1]").arg(i));
        cell->addWidget(f, 0, 0); // all five in one place
    }
    body->addWidget(stack, 1);
    top->addLayout(body, 1);
    chkTagFiles = new QCheckBox(QStringLiteral("Tag files with the disc's titles"), frame);
    chkTagFiles->setObjectName(QStringLiteral("chkTagFiles"));
    chkTagFiles->setChecked(true);
    chkTagFiles->setToolTip(QStringLiteral("MP3 and OGG files get the title, artist, album, track number, year, genre "
                                           "and cover; WMA tag boxes left at their own text get the disc's"));
    top->addWidget(chkTagFiles);

    connect(optMP3CBR, &QRadioButton::clicked, this, &OptionsPanels::optMP3CBR_Click);
    connect(optMP3VBR, &QRadioButton::clicked, this, &OptionsPanels::optMP3VBR_Click);
    connect(optOGGCBR, &QRadioButton::clicked, this, &OptionsPanels::optOGGCBR_Click);
    connect(optOGGVBR, &QRadioButton::clicked, this, &OptionsPanels::optOGGVBR_Click);

    SelectFormat(FormatPortable);
}

QFrame* OptionsPanels::BuildInfoFrame(QWidget* parent, const QStringList& lines)
{
    auto* frame = new QFrame(parent);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(4);
    for (const QString& line : lines) {
        QLabel* l = NamedLabel(line, frame);
        l->setWordWrap(true);
        layout->addWidget(l);
    }
    layout->addStretch(1);
    return frame;
}

QFrame* OptionsPanels::BuildWmaFrame(QWidget* parent)
{
    auto* frame = new QFrame(parent);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(12, 10, 12, 6);
    layout->setSpacing(6);
    auto* rateRow = new QHBoxLayout;
    QLabel* rateLabel = NamedLabel(QStringLiteral("WMA Encoding Bitrate"), frame, "lblWMAEncodingBitrate");
    cmbWMAEncodingBitrate = new QComboBox(frame);
    cmbWMAEncodingBitrate->setObjectName(QStringLiteral("cmbWMAEncodingBitrate"));
    rateLabel->setBuddy(cmbWMAEncodingBitrate);
    rateRow->addWidget(rateLabel);
    rateRow->addWidget(cmbWMAEncodingBitrate, 1);
    layout->addLayout(rateRow);

    chkWMAFileTags = new QCheckBox(QStringLiteral("WMA File Tags"), frame);
    chkWMAFileTags->setObjectName(QStringLiteral("chkWMAFileTags"));
    chkWMAFileTags->setChecked(true);
    layout->addWidget(chkWMAFileTags);

    frameOutputTags = new QGroupBox(QStringLiteral("WMA File ID Tags"), frame);
    frameOutputTags->setObjectName(QStringLiteral("frameOutputTags"));
    auto* grid = new QGridLayout(frameOutputTags);
    grid->setContentsMargins(8, 4, 8, 6);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(2);
    for (int i = 0; i < 8; ++i) {
        const char* const word = kWmaTagDefaults[static_cast<std::size_t>(i)];
        auto* box = new QLineEdit(QString::fromLatin1(word), frameOutputTags);
        box->setObjectName(QStringLiteral("txtWMATags[%1]").arg(i));
        QLabel* l = NamedLabel(QString::fromLatin1(word), frameOutputTags);
        l->setBuddy(box);
        grid->addWidget(l, i, 0);
        grid->addWidget(box, i, 1);
        txtWMATags[static_cast<std::size_t>(i)] = box;
    }
    grid->setColumnStretch(1, 1);
    layout->addWidget(frameOutputTags);
    layout->addStretch(1);
    return frame;
}

QFrame* OptionsPanels::BuildModeFrame(QWidget* parent, const char* format, QRadioButton*& cbr,
                                      QRadioButton*& vbr, QComboBox*& cbrList, QComboBox*& vbrList,
                                      const QStringList& cbrRates, const QStringList& vbrRates)
{
    auto* frame = new QFrame(parent);
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(12, 10, 12, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    const QString f = QLatin1String(format);
    cbr = new QRadioButton(QStringLiteral("Constant bitrate (CBR)"), frame);
    cbr->setObjectName(QStringLiteral("opt%1CBR").arg(f));
    vbr = new QRadioButton(QStringLiteral("Variable bitrate (VBR)"), frame);
    vbr->setObjectName(QStringLiteral("opt%1VBR").arg(f));
    cbrList = rateList(cbrRates, frame, QStringLiteral("cmb%1CBitrate").arg(f), cbrRates.indexOf("128 Kbps"));
    vbrList = rateList(vbrRates, frame, QStringLiteral("cmb%1VBitrate").arg(f), vbrRates.indexOf("128 Kbps"));
    cbr->setChecked(true);
    vbrList->setEnabled(false);
    grid->addWidget(cbr, 0, 0);
    grid->addWidget(cbrList, 0, 1);
    grid->addWidget(vbr, 1, 0);
    grid->addWidget(vbrList, 1, 1);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(1, 1);
    return frame;
}

void OptionsPanels::BuildGeneralFrame(QFrame* frame)
{
    auto* top = new QVBoxLayout(frame);
    top->setContentsMargins(10, 8, 10, 10);
    top->setSpacing(8);
    top->addWidget(caption(QStringLiteral("General Options"), frame, "lblGeneralOptionsCaption"));
    top->addWidget(NamedLabel(QStringLiteral("Specifiy the folder which the tracks will be ripped into:-"), frame,
                         "lblExtractPath"));
    auto* row = new QHBoxLayout;
    txtExtractPath = new QLineEdit(DefaultExtractPath(), frame);
    txtExtractPath->setObjectName(QStringLiteral("txtExtractPath"));
    cmdBrowseFolder = new QPushButton(QStringLiteral("Browse..."), frame);
    cmdBrowseFolder->setObjectName(QStringLiteral("cmdBrowseFolder"));
    connect(cmdBrowseFolder, &QPushButton::clicked, this, &OptionsPanels::cmdBrowseFolder_Click);
    row->addWidget(txtExtractPath, 1);
    row->addWidget(cmdBrowseFolder);
    top->addLayout(row);

    auto* names = new QHBoxLayout;
    QLabel* namesLabel = NamedLabel(QStringLiteral("File names:"), frame, "lblFileNames");
    cmbFileNames = new QComboBox(frame);
    cmbFileNames->setObjectName(QStringLiteral("cmbFileNames"));
    cmbFileNames->setEditable(true);
    cmbFileNames->setInsertPolicy(QComboBox::NoInsert);
    cmbFileNames->addItems(NameTemplatePresets());
    cmbFileNames->setToolTip(QStringLiteral("{n} or {nn} the track number, {title}, {artist}, {album}, {year}; "
                                            "a / makes folders. The extension is added."));
    namesLabel->setBuddy(cmbFileNames);
    names->addWidget(namesLabel);
    names->addWidget(cmbFileNames, 1);
    top->addLayout(names);
    chkPlaylist = new QCheckBox(QStringLiteral("Write a playlist of the ripped tracks (.m3u8)"), frame);
    chkPlaylist->setObjectName(QStringLiteral("chkPlaylist"));
    top->addWidget(chkPlaylist);
    chkVerifyRips = new QCheckBox(QStringLiteral("Verify rips with AccurateRip"), frame);
    chkVerifyRips->setObjectName(QStringLiteral("chkVerifyRips"));
    chkVerifyRips->setChecked(true);
    chkVerifyRips->setToolTip(QStringLiteral("Match each ripped track against the AccurateRip database; "
                                             "the rip log beside the files says what it found"));
    top->addWidget(chkVerifyRips);
    chkTestAndCopy = new QCheckBox(QStringLiteral("Test and copy: read each track twice and compare (CD drives)"),
                                   frame);
    chkTestAndCopy->setObjectName(QStringLiteral("chkTestAndCopy"));
    top->addWidget(chkTestAndCopy);

    top->addSpacing(6);
    chkLookUpDiscs = new QCheckBox(QStringLiteral("Look up discs online"), frame);
    chkLookUpDiscs->setObjectName(QStringLiteral("chkLookUpDiscs"));
    chkLookUpDiscs->setChecked(true);
    chkLookUpDiscs->setToolTip(QStringLiteral("Find the disc's titles, artist, album and cover on MusicBrainz"));
    top->addWidget(chkLookUpDiscs);
    auto* server = new QHBoxLayout;
    QLabel* serverLabel = NamedLabel(QStringLiteral("MusicBrainz server:"), frame, "lblMusicBrainzServer");
    txtMusicBrainzServer = new QLineEdit(QString::fromLatin1(kPublicMusicBrainz), frame);
    txtMusicBrainzServer->setObjectName(QStringLiteral("txtMusicBrainzServer"));
    serverLabel->setBuddy(txtMusicBrainzServer);
    connect(chkLookUpDiscs, &QCheckBox::toggled, txtMusicBrainzServer, &QWidget::setEnabled);
    server->addWidget(serverLabel);
    server->addWidget(txtMusicBrainzServer, 1);
    top->addLayout(server);
    top->addStretch(1);
}

QFrame* OptionsPanels::BuildFlacFrame(QWidget* parent)
{
    QFrame* frame = BuildInfoFrame(parent, {"Output File Information (lossless):", "Channels:                Stereo",
                                            "Audio Format :          FLAC", "Audio Sample Rate: 44KHz",
                                            "Sample Size:           16 bit", "Output Bit Rate:     about 700-1000 kbps",
                                            "", "Every sample of the CD is kept; higher levels make smaller files "
                                                "more slowly."});
    auto* layout = static_cast<QVBoxLayout*>(frame->layout());
    auto* row = new QHBoxLayout;
    cmbFLACLevel = new QComboBox(frame);
    cmbFLACLevel->setObjectName(QStringLiteral("cmbFLACLevel"));
    for (int level = 0; level <= 8; ++level)
        cmbFLACLevel->addItem(QString::number(level));
    cmbFLACLevel->setCurrentIndex(5);
    QLabel* label = NamedLabel(QStringLiteral("Compression level"), frame, "lblFLACLevel");
    label->setBuddy(cmbFLACLevel);
    row->addWidget(label);
    row->addWidget(cmbFLACLevel);
    row->addStretch(1);
    layout->insertLayout(layout->count() - 1, row);
    chkFLACVerify = new QCheckBox(QStringLiteral("Verify while encoding"), frame);
    chkFLACVerify->setObjectName(QStringLiteral("chkFLACVerify"));
    layout->insertWidget(layout->count() - 1, chkFLACVerify);
    return frame;
}

QFrame* OptionsPanels::BuildOpusFrame(QWidget* parent)
{
    QFrame* frame = BuildInfoFrame(parent, {"Output File Information:", "Channels:                Stereo",
                                            "Audio Format :          Opus", "Audio Sample Rate: 48KHz", "",
                                            "The best lossy format for phones and players that know it."});
    auto* layout = static_cast<QVBoxLayout*>(frame->layout());
    auto* row = new QHBoxLayout;
    cmbOpusBitrate = new QComboBox(frame);
    cmbOpusBitrate->setObjectName(QStringLiteral("cmbOpusBitrate"));
    cmbOpusBitrate->addItems(rates({256, 192, 160, 128, 96, 64}));
    cmbOpusBitrate->setCurrentIndex(2); // 160 kbps
    QLabel* label = NamedLabel(QStringLiteral("Bitrate"), frame, "lblOpusBitrate");
    label->setBuddy(cmbOpusBitrate);
    row->addWidget(label);
    row->addWidget(cmbOpusBitrate);
    row->addStretch(1);
    layout->insertLayout(layout->count() - 1, row);
    return frame;
}

int OptionsPanels::SelectedFormat() const
{
    for (int i = 0; i < kFormatCount; ++i) {
        if (optExtractMode[static_cast<std::size_t>(i)]->isChecked())
            return i;
    }
    return -1;
}

bool OptionsPanels::SelectFormat(int index)
{
    if (index < 0 || index >= kFormatCount)
        return false;
    optExtractMode[static_cast<std::size_t>(index)]->setChecked(true);
    optExtractMode_Click(index);
    return true;
}

void OptionsPanels::optExtractMode_Click(int index)
{
    QFrame* frame = frFormatSettings[static_cast<std::size_t>(index)];
    frame->raise();
    // The frames have no background of their own: only the front one is shown.
    for (QFrame* other : frFormatSettings)
        other->setVisible(other == frame);
    frame->update();
}

void OptionsPanels::optMP3CBR_Click()
{
    cmbMP3CBitrate->setEnabled(true);
    cmbMP3VBitrate->setEnabled(false);
}

void OptionsPanels::optMP3VBR_Click()
{
    cmbMP3VBitrate->setEnabled(true);
    cmbMP3CBitrate->setEnabled(false);
}

void OptionsPanels::optOGGCBR_Click()
{
    cmbOGGCBitrate->setEnabled(true);
    cmbOGGVBitrate->setEnabled(false);
}

void OptionsPanels::optOGGVBR_Click()
{
    cmbOGGVBitrate->setEnabled(true);
    cmbOGGCBitrate->setEnabled(false);
}

bool OptionsPanels::FolderIsWritable(const QString& folder)
{
    // A fresh name opened exclusively: no file of the user's is ever touched.
    QTemporaryFile probe(folder + QStringLiteral("amh-XXXXXX.amh"));
    probe.setAutoRemove(true);
    if (!probe.open())
        return false;
    const bool written = probe.write("jdfd\r\n") == 6 && probe.flush();
    const QString name = probe.fileName();
    probe.close();
    const bool removed = QFile::remove(name);
    return written && removed;
}

void OptionsPanels::cmdBrowseFolder_Click()
{
    QString path =
        m_dialogs.BrowseForFolder(m_owner, QStringLiteral("Please, Select a folder to be the extraction path."));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    if (FolderIsWritable(path))
        txtExtractPath->setText(path);
}

} // namespace qm
