#pragma once
// Reads audio sectors through libcdio-paranoia in full mode that never skips:
// jitter and scratches are re-read, and a sector that still cannot be read
// fails the read instead of reaching the caller damaged. Opens its own handle
// on the device, so a stream never shares one with the drive's door calls.

#include "CdDrive.h"

#include <atomic>
#include <memory>
#include <string>

namespace qm::audio {

// paranoia's events, counted as they come. Written on the reading thread,
// read on any.
class ParanoiaEventCounts {
public:
    void count(int event); // a paranoia_cb_mode_t
    QM_CD_READ_ERRORS snapshot() const;

private:
    std::atomic<DWORD> m_readErrors{0}, m_skips{0}, m_repairs{0}, m_fixups{0}, m_drift{0};
};

class ParanoiaReader : public SectorReader {
public:
    // nullptr with `error` set when the device cannot be opened for audio.
    static std::unique_ptr<ParanoiaReader> open(const std::string& device, int& error);
    ~ParanoiaReader() override;

    bool read(lsn_t lsn, int count, std::uint8_t* out, int& error) override;
    int preferredSectors() const override { return 27; }
    QM_CD_READ_ERRORS readErrors() const override { return m_counts.snapshot(); }

    struct Handles;

private:
    explicit ParanoiaReader(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> m_handles;
    lsn_t m_next = -1; // the sector paranoia will deliver next
    ParanoiaEventCounts m_counts;
};

} // namespace qm::audio
