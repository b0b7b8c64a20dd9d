#pragma once
// Reads audio sectors through libcdio-paranoia in full mode that never skips:
// jitter and scratches are re-read, and a sector that still cannot be read
// fails the read instead of reaching the caller damaged. Opens its own handle
// on the device, so a stream never shares one with the drive's door calls.

#include "CdDrive.h"

#include <memory>
#include <string>

namespace qm::audio {

class ParanoiaReader : public SectorReader {
public:
    // nullptr with `error` set when the device cannot be opened for audio.
    static std::unique_ptr<ParanoiaReader> open(const std::string& device, int& error);
    ~ParanoiaReader() override;

    bool read(lsn_t lsn, int count, std::uint8_t* out, int& error) override;
    int preferredSectors() const override { return 27; }

    struct Handles;

private:
    explicit ParanoiaReader(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> m_handles;
    lsn_t m_next = -1; // the sector paranoia will deliver next
};

} // namespace qm::audio
