#pragma once
#include <QString>

namespace qm {

// folder + "/TRACK" + number + extension; a folder text that already ends in
// the separator gets no second one.
QString TrackFileName(const QString& folder, int number, const QString& extension);

// The leading number of a list entry's text as text: "128 Kbps" gives "128",
// "" gives "0".
QString LeadingBitrate(const QString& entry);

} // namespace qm
