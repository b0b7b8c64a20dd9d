#pragma once
// The two settings panels: the output format with each format's options
// (frFileFormat) and the extraction folder (frGeneralOptions). Their controls
// are the live settings: the rip job reads them, the settings load and save
// copy them to and from the store.

#include <QObject>
#include <QString>
#include <array>

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

// Output format index: 0 portable preset, 1 WAV, 2 WMA, 3 MP3, 4 OGG.
enum OutputFormat { FormatPortable = 0, FormatWav = 1, FormatWma = 2, FormatMp3 = 3, FormatOgg = 4 };

class OptionsPanels : public QObject {
    Q_OBJECT
public:
    // Builds the controls inside the two frames given.
    OptionsPanels(QFrame* frFileFormat, QFrame* frGeneralOptions, Dialogs& dialogs, QWidget* owner);

    std::array<QRadioButton*, 5> optExtractMode{};
    std::array<QFrame*, 5> frFormatSettings{};
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
    QLineEdit* txtExtractPath = nullptr;
    QPushButton* cmdBrowseFolder = nullptr;

    // The selected format, -1 when none is selected.
    int SelectedFormat() const;
    // Select a format as a click would (its settings frame comes to the front).
    bool SelectFormat(int index);

    void optExtractMode_Click(int index);
    void optMP3CBR_Click();
    void optMP3VBR_Click();
    void optOGGCBR_Click();
    void optOGGVBR_Click();
    void cmdBrowseFolder_Click();

    // The folder the tracks go to when nothing is stored: the user's music
    // folder + "/Ripped Audio".
    static QString DefaultExtractPath();
    // True when a file can be created, written, closed and deleted in folder;
    // never opens an existing file.
    static bool FolderIsWritable(const QString& folder);

private:
    void BuildFormatFrame(QFrame* frame);
    void BuildGeneralFrame(QFrame* frame);
    QFrame* BuildInfoFrame(QWidget* parent, const QStringList& lines);
    QFrame* BuildWmaFrame(QWidget* parent);
    QFrame* BuildModeFrame(QWidget* parent, const char* format, QRadioButton*& cbr, QRadioButton*& vbr,
                           QComboBox*& cbrList, QComboBox*& vbrList, const QStringList& cbrRates,
                           const QStringList& vbrRates);

    Dialogs& m_dialogs;
    QWidget* m_owner;
};

} // namespace qm
