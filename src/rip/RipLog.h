#pragma once
// The record of one rip, kept as the tracks are read, and the log and
// summary made from it: what was read how, each track's checksums and what
// the AccurateRip database said of them.

#include "RipPlan.h"
#include "RipResult.h"
#include "verify/AccurateRip.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace qm {

struct TrackRecord {
    int track = 0; // 0-based
    QString file;
    RipResult result = RipResult::Failed;
    QString reason; // why it failed
    bool written = false; // its file is in place, whole or as far as it was read
    // Only for a track read whole.
    struct Sums {
        std::uint32_t crc = 0, v1 = 0, v2 = 0;
    };
    std::optional<Sums> sums;
    std::optional<std::uint32_t> testCrc; // the test read's, with test and copy
    QM_CD_READ_ERRORS errors;
    verify::TrackVerdict verdict;

    bool suspicious() const { return testCrc && sums && *testCrc != sums->crc; }
    bool accurate() const { return verdict.kind == verify::TrackVerdict::Accurate && !suspicious(); }
};

struct RipRecord {
    QDateTime started;
    QString drive; // its description and name
    QString accurateRipServer; // "" when the database was not asked
    QString accurateRipError;  // why it could not be asked
    verify::AccurateRipIds accurateRipIds;
    std::vector<TrackRecord> tracks;
};

// The log's file name: "<album>.log", or "Quillmere.log" without an album,
// safe to use as one name in a folder.
QString RipLogName(const QString& album);
// The whole log, UTF-8 text with "\n" line ends.
QString RipLogText(const RipPlan& plan, const RipRecord& record);
// One line: "All tracks accurately ripped", or which were not and why.
QString RipVerificationSummary(const RipPlan& plan, const RipRecord& record);
// "Track 02: Accurately ripped (confidence 4)", one per track.
QStringList RipTrackResults(const RipRecord& record);

} // namespace qm
