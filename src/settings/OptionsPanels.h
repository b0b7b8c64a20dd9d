#pragma once
// The two settings panels: the output format with each format's options
// (frFileFormat) and the extraction folder (frGeneralOptions). Their controls
// are the live settings: a rip's plan is built from them, the settings load
// and save copy them to and from the store.

#include "rip/RipPlan.h"

#include <QObject>
#include <QString>
#include <array>
#include <map>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace qm {

class Dialogs;

class OptionsPanels : public QObject {
    Q_OBJECT
public:
    // Builds the controls inside the two frames given.
    OptionsPanels(QFrame* frFileFormat, QFrame* frGeneralOptions, Dialogs& dialogs, QWidget* owner);

    std::array<QRadioButton*, kFormatCount> optExtractMode{};
    std::array<QFrame*, kFormatCount> frFormatSettings{};
    QComboBox* cmbWMAEncodingBitrate = nullptr;
    QCheckBox* chkWMAFileTags = nullptr;
    QGroupBox* frameOutputTags = nullptr;
    std::array<QLineEdit*, 8> txtWMATags{};
    QRadioButton* optMP3CBR = nullptr;
    QRadioButton* optMP3VBR = nullptr;
    QComboBox* cmbMP3CBitrate = nullptr;
    QComboBox* cmbMP3VBitrate = nullptr;
    QRadioButton* optOGGCBR = nullptr;
    QRadioButton* optOGGVBR = nullptr;
    QComboBox* cmbOGGCBitrate = nullptr;
    QComboBox* cmbOGGVBitrate = nullptr;
    QComboBox* cmbFLACLevel = nullptr; // 0-8
    QCheckBox* chkFLACVerify = nullptr;
    QComboBox* cmbOpusBitrate = nullptr;
    QLineEdit* txtExtractPath = nullptr;
    QPushButton* cmdBrowseFolder = nullptr;
    QCheckBox* chkLookUpDiscs = nullptr;
    QComboBox* cmbFileNames = nullptr; // the file name template, editable
    QCheckBox* chkPlaylist = nullptr;
    QCheckBox* chkVerifyRips = nullptr;
    QCheckBox* chkTestAndCopy = nullptr;
    // Each physical drive's read offset in samples, by its description.
    std::map<QString, int> readOffsets;
    QCheckBox* chkTagFiles = nullptr;
    // The WMA tag boxes' own texts, which are also their labels.
    static constexpr std::array<const char*, 8> kWmaTagDefaults{"Title",  "Artist",    "Album Title", "Description",
                                                               "Rating", "Copyright", "Genre",       "Year"};
    QLineEdit* txtMusicBrainzServer = nullptr;

    // MusicBrainz's own address, the server used unless the user names another.
    static constexpr const char* kPublicMusicBrainz = "https://musicbrainz.org";

    // The selected format, -1 when none is selected.
    int SelectedFormat() const;
    // Select a format as a click would (its settings frame comes to the front).
    bool SelectFormat(int index);

    // The choices a rip is planned from (src/settings/OptionsPlan.cpp):
    // MP3's or OGG's mode (true: constant bitrate), a rate list's bitrates in
    // kbps and the one it has selected ("" for none).
    bool ConstantMode(int format) const;
    QStringList OfferedRates(int format, bool constant) const;
    QString SelectedRate(int format, bool constant) const;
    // A plan's format, encoder settings, WMA rate and tags and folder for
    // these choices; its drive and tracks are the caller's.
    RipPlan PlanFor(int format, bool constant, const QString& kbps, const QString& folder,
                    const QStringList& wmaTagNames) const;
    // The same for what the panels show.
    RipPlan Plan(const QStringList& wmaTagNames) const;
    // Shows these choices, as a user's clicks would.
    void Choose(int format, bool constant, const QString& kbps, const QString& folder);

    void optExtractMode_Click(int index);
    void optMP3CBR_Click();
    void optMP3VBR_Click();
    void optOGGCBR_Click();
    void optOGGVBR_Click();
    void cmdBrowseFolder_Click();

    // The folder the tracks go to when nothing is stored: the user's Music
    // folder + "/Ripped Audio"; empty without a HOME to put it in.
    static QString DefaultExtractPath();
    // Why no folder is set, for the message that refuses a rip without one.
    static QString NoFolderReason();
    // True when a file can be created, written, closed and deleted in folder;
    // never opens an existing file.
    static bool FolderIsWritable(const QString& folder);

private:
    QComboBox* RateList(int format, bool constant) const;
    void BuildFormatFrame(QFrame* frame);
    void BuildGeneralFrame(QFrame* frame);
    QFrame* BuildInfoFrame(QWidget* parent, const QStringList& lines);
    QFrame* BuildWmaFrame(QWidget* parent);
    QFrame* BuildFlacFrame(QWidget* parent);
    QFrame* BuildOpusFrame(QWidget* parent);
    QFrame* BuildModeFrame(QWidget* parent, const char* format, QRadioButton*& cbr, QRadioButton*& vbr,
                           QComboBox*& cbrList, QComboBox*& vbrList, const QStringList& cbrRates,
                           const QStringList& vbrRates);

    Dialogs& m_dialogs;
    QWidget* m_owner;
};

} // namespace qm
