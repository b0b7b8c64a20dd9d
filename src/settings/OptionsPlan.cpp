// The panels' choices as a rip's plan, and the other way round.
#include "OptionsPanels.h"

#include "rip/RipNames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

namespace qm {

namespace {
// A WMA entry's bitrate as the command line names it: whole kbps.
QString WmaKbps(const QVariant& bitsPerSecond)
{
    return QString::number(bitsPerSecond.toUInt() / 1000);
}
} // namespace

bool OptionsPanels::ConstantMode(int format) const
{
    return format == FormatOgg ? optOGGCBR->isChecked() : optMP3CBR->isChecked();
}

QComboBox* OptionsPanels::RateList(int format, bool constant) const
{
    switch (format) {
    case FormatWma: return cmbWMAEncodingBitrate;
    case FormatMp3: return constant ? cmbMP3CBitrate : cmbMP3VBitrate;
    case FormatOgg: return constant ? cmbOGGCBitrate : cmbOGGVBitrate;
    case FormatOpus: return cmbOpusBitrate;
    default: return nullptr;
    }
}

QStringList OptionsPanels::OfferedRates(int format, bool constant) const
{
    QStringList rates;
    if (QComboBox* list = RateList(format, constant)) {
        for (int i = 0; i < list->count(); ++i)
            rates << (format == FormatWma ? WmaKbps(list->itemData(i)) : LeadingBitrate(list->itemText(i)));
    }
    return rates;
}

QString OptionsPanels::SelectedRate(int format, bool constant) const
{
    QComboBox* list = RateList(format, constant);
    if (!list)
        return QString();
    if (format == FormatWma) // no entry when no WMA encoder offered a rate
        return list->currentIndex() < 0 ? QString() : WmaKbps(list->currentData());
    return LeadingBitrate(list->currentText()); // an empty text gives "0"
}

RipPlan OptionsPanels::PlanFor(int format, bool constant, const QString& kbps, const QString& folder,
                               const QStringList& wmaTagNames) const
{
    RipPlan plan;
    plan.SetFormat(format, constant, kbps);
    plan.folder = folder;
    plan.flacLevel = cmbFLACLevel->currentIndex() < 0 ? 5 : cmbFLACLevel->currentIndex();
    plan.flacVerify = chkFLACVerify->isChecked();
    plan.nameTemplate = cmbFileNames->currentText();
    plan.tagFiles = chkTagFiles->isChecked();
    plan.playlist = chkPlaylist->isChecked();
    plan.verify = chkVerifyRips->isChecked();
    plan.testAndCopy = chkTestAndCopy->isChecked();
    if (format == FormatWma) {
        const qsizetype entry = kbps.isEmpty() ? -1 : OfferedRates(format, constant).indexOf(kbps);
        if (entry >= 0)
            plan.wmaBitrate = cmbWMAEncodingBitrate->itemData(static_cast<int>(entry)).toUInt();
        plan.wmaTagging = chkWMAFileTags->isChecked();
        if (plan.wmaTagging) {
            for (int i = 0; i < 8 && i < wmaTagNames.size(); ++i) {
                const QLineEdit* box = txtWMATags[static_cast<std::size_t>(i)];
                if (!box->text().isEmpty()) {
                    plan.wmaTags.emplace_back(wmaTagNames[i], box->text());
                    plan.wmaTagIsDefault.push_back(box->text() == kWmaTagDefaults[i]);
                }
            }
        }
    }
    return plan;
}

RipPlan OptionsPanels::Plan(const QStringList& wmaTagNames) const
{
    const int format = SelectedFormat();
    const bool constant = ConstantMode(format);
    return PlanFor(format, constant, SelectedRate(format, constant), txtExtractPath->text(), wmaTagNames);
}

void OptionsPanels::Choose(int format, bool constant, const QString& kbps, const QString& folder)
{
    SelectFormat(format);
    if (format == FormatMp3) {
        (constant ? optMP3CBR : optMP3VBR)->setChecked(true);
        constant ? optMP3CBR_Click() : optMP3VBR_Click();
    } else if (format == FormatOgg) {
        (constant ? optOGGCBR : optOGGVBR)->setChecked(true);
        constant ? optOGGCBR_Click() : optOGGVBR_Click();
    }
    const qsizetype entry = OfferedRates(format, constant).indexOf(kbps);
    if (QComboBox* list = RateList(format, constant); list && entry >= 0)
        list->setCurrentIndex(static_cast<int>(entry));
    txtExtractPath->setText(folder);
}

} // namespace qm
