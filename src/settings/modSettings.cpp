#include "modSettings.h"

#include "CRegister.h"
#include "OptionsPanels.h"
#include "rip/FileNames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <cmath>
#include <cstdlib>

namespace qm::modSettings {

const char* const kSection = "Software\\Brellvox Quillmere\\Settings";

namespace {

struct Store {
    CRegister reg;
    QString get(const char* key, const QString& def)
    {
        return reg.REGGetSetting(HKEY_LOCAL_MACHINE, QLatin1String(kSection), QLatin1String(key), def);
    }
    // Gathered and written in one change, so that a save killed half-way or
    // racing another leaves the values of one save, never a mix.
    QList<std::pair<QString, QString>> pending;
    void save(const QString& key, const QString& value) { pending.append({key, value}); }
    bool commit(QString* why) { return reg.REGSaveSettings(HKEY_LOCAL_MACHINE, QLatin1String(kSection), pending, why); }
};

QString boolText(bool b)
{
    return b ? QStringLiteral("True") : QStringLiteral("False");
}

// A list position that exists (or -1, no selection, where `none` allows it);
// anything else leaves the list alone.
void setListIndex(QComboBox* list, const QString& stored, bool none = true)
{
    const auto index = ToInt16(stored);
    if (index && *index >= (none ? -1 : 0) && *index < list->count())
        list->setCurrentIndex(*index);
}

// Two options of one group: checking one is the only way to uncheck the other.
void setPair(QRadioButton* cbr, QRadioButton* vbr, bool constant)
{
    (constant ? cbr : vbr)->setChecked(true);
}

} // namespace

std::optional<int> ToInt16(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // default rounding: halves to even
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<int>(rounded);
}

std::optional<bool> ToBool(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value != 0.0;
}

QString ReadOffsetsText(const std::map<QString, int>& offsets)
{
    QStringList lines;
    for (const auto& [drive, samples] : offsets) {
        if (samples != 0)
            lines << QStringLiteral("%1\t%2").arg(samples).arg(drive);
    }
    return lines.join(QLatin1Char('\n'));
}

std::map<QString, int> ReadOffsetsFrom(const QString& text)
{
    std::map<QString, int> offsets;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        bool ok = false;
        const int samples = line.left(tab).toInt(&ok);
        // A line this version cannot read is left out, never guessed at.
        if (tab > 0 && ok && std::abs(samples) <= kMaxReadOffset)
            offsets[line.mid(tab + 1)] = samples;
    }
    return offsets;
}

bool SaveSettings(OptionsPanels& o, int driveEntry, QString* why)
{
    Store s;
    s.save(QStringLiteral("Extract Path"), o.txtExtractPath->text());
    for (int i = 0; i < int(o.optExtractMode.size()); ++i) {
        if (o.optExtractMode[static_cast<std::size_t>(i)]->isChecked())
            s.save(QStringLiteral("File Format"), QString::number(i));
    }
    s.save(QStringLiteral("OGG CBR Check"), boolText(o.optOGGCBR->isChecked()));
    s.save(QStringLiteral("OGG CBR Bitrate"), QString::number(o.cmbOGGCBitrate->currentIndex()));
    s.save(QStringLiteral("OGG VBR Bitrate"), QString::number(o.cmbOGGVBitrate->currentIndex()));
    s.save(QStringLiteral("MP3 CBR Check"), boolText(o.optMP3CBR->isChecked()));
    s.save(QStringLiteral("MP3 CBR Bitrate"), QString::number(o.cmbMP3CBitrate->currentIndex()));
    s.save(QStringLiteral("MP3 VBR Bitrate"), QString::number(o.cmbMP3VBitrate->currentIndex()));
    s.save(QStringLiteral("WMA Bitrate"), QString::number(o.cmbWMAEncodingBitrate->currentIndex()));
    s.save(QStringLiteral("FLAC Level"), QString::number(o.cmbFLACLevel->currentIndex()));
    s.save(QStringLiteral("FLAC Verify"), boolText(o.chkFLACVerify->isChecked()));
    s.save(QStringLiteral("Opus Bitrate"), QString::number(o.cmbOpusBitrate->currentIndex()));
    for (int i = 0; i < 8; ++i)
        s.save(QStringLiteral("WMA Tag#%1").arg(i), o.txtWMATags[static_cast<std::size_t>(i)]->text());
    s.save(QStringLiteral("Drive Index"), QString::number(driveEntry));
    s.save(QStringLiteral("Look Up Discs"), boolText(o.chkLookUpDiscs->isChecked()));
    s.save(QStringLiteral("MusicBrainz Server"), o.txtMusicBrainzServer->text());
    s.save(QStringLiteral("File Names"), o.cmbFileNames->currentText());
    s.save(QStringLiteral("Tag Files"), boolText(o.chkTagFiles->isChecked()));
    s.save(QStringLiteral("Write Playlist"), boolText(o.chkPlaylist->isChecked()));
    s.save(QStringLiteral("Verify Rips"), boolText(o.chkVerifyRips->isChecked()));
    s.save(QStringLiteral("Test And Copy"), boolText(o.chkTestAndCopy->isChecked()));
    s.save(QStringLiteral("Read Offsets"), ReadOffsetsText(o.readOffsets));
    return s.commit(why);
}

std::optional<int> LoadSettings(OptionsPanels& o, QString* problem)
{
    Store s;
    o.txtExtractPath->setText(s.get("Extract Path", OptionsPanels::DefaultExtractPath()));

    // A stored format that is not a number selects the first format; so does
    // one of a later version, which is said.
    const QString stored = s.get("File Format", QStringLiteral("0"));
    const int format = ToInt16(stored).value_or(0);
    if (!o.SelectFormat(format)) {
        o.SelectFormat(FormatPortable);
        if (problem)
            *problem = QStringLiteral("The stored output format \"%1\" is not one this version knows, so %2 is used.")
                           .arg(stored.trimmed(), o.optExtractMode[FormatPortable]->text());
    }

    if (const auto cbr = ToBool(s.get("OGG CBR Check", QStringLiteral("1"))))
        setPair(o.optOGGCBR, o.optOGGVBR, *cbr);
    setPair(o.optOGGCBR, o.optOGGVBR, o.optOGGCBR->isChecked());
    o.cmbOGGCBitrate->setEnabled(o.optOGGCBR->isChecked());
    o.cmbOGGVBitrate->setEnabled(!o.optOGGCBR->isChecked());
    setListIndex(o.cmbOGGCBitrate, s.get("OGG CBR Bitrate", QStringLiteral("6")));
    setListIndex(o.cmbOGGVBitrate, s.get("OGG VBR Bitrate", QStringLiteral("6")));

    if (const auto cbr = ToBool(s.get("MP3 CBR Check", QStringLiteral("1"))))
        setPair(o.optMP3CBR, o.optMP3VBR, *cbr);
    setPair(o.optMP3CBR, o.optMP3VBR, o.optMP3CBR->isChecked());
    o.cmbMP3CBitrate->setEnabled(o.optMP3CBR->isChecked());
    o.cmbMP3VBitrate->setEnabled(!o.optMP3CBR->isChecked());
    setListIndex(o.cmbMP3CBitrate, s.get("MP3 CBR Bitrate", QStringLiteral("6")));
    setListIndex(o.cmbMP3VBitrate, s.get("MP3 VBR Bitrate", QStringLiteral("5")));

    setListIndex(o.cmbWMAEncodingBitrate, s.get("WMA Bitrate", QStringLiteral("4")));
    // FLAC and Opus have no rate of their own to fall back on: always one chosen.
    setListIndex(o.cmbFLACLevel, s.get("FLAC Level", QStringLiteral("5")), false);
    o.chkFLACVerify->setChecked(ToBool(s.get("FLAC Verify", QStringLiteral("False"))).value_or(false));
    setListIndex(o.cmbOpusBitrate, s.get("Opus Bitrate", QStringLiteral("2")), false);
    for (int i = 0; i < 8; ++i) {
        QLineEdit* box = o.txtWMATags[static_cast<std::size_t>(i)];
        box->setText(s.get(qPrintable(QStringLiteral("WMA Tag#%1").arg(i)), box->text()));
    }
    o.chkLookUpDiscs->setChecked(ToBool(s.get("Look Up Discs", QStringLiteral("True"))).value_or(true));
    o.txtMusicBrainzServer->setText(s.get("MusicBrainz Server", QString::fromLatin1(OptionsPanels::kPublicMusicBrainz)));
    o.cmbFileNames->setCurrentText(s.get("File Names", QString::fromLatin1(kDefaultNameTemplate)));
    o.chkTagFiles->setChecked(ToBool(s.get("Tag Files", QStringLiteral("True"))).value_or(true));
    o.chkPlaylist->setChecked(ToBool(s.get("Write Playlist", QStringLiteral("False"))).value_or(false));
    o.chkVerifyRips->setChecked(ToBool(s.get("Verify Rips", QStringLiteral("True"))).value_or(true));
    o.chkTestAndCopy->setChecked(ToBool(s.get("Test And Copy", QStringLiteral("False"))).value_or(false));
    o.readOffsets = ReadOffsetsFrom(s.get("Read Offsets", QString()));
    return ToInt16(s.get("Drive Index", QStringLiteral("0")));
}

void RestoreFileFormat(OptionsPanels& o)
{
    Store s;
    if (const auto format = ToInt16(s.get("File Format", QStringLiteral("0"))))
        o.SelectFormat(*format);
}

} // namespace qm::modSettings
