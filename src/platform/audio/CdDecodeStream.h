#pragma once
// A decoding stream of one CD track: the caller pulls PCM with
// BASS_ChannelGetData on its own thread, as fast as the drive delivers.
// Sectors are read in runs and kept, so small reads cost no extra disc access.

#include "CdDrive.h"
#include "Channel.h"

#include <memory>
#include <mutex>
#include <vector>

namespace qm::audio {

class CdDecodeStream : public Channel {
public:
    CdDecodeStream(std::unique_ptr<SectorReader> reader, TrackEntry track, DWORD flags);

    DWORD ctype() const override { return kCtypeStreamCd; }
    DWORD read(void* buffer, DWORD length, int& error) override;
    QWORD position() const override;
    bool setPosition(QWORD pos, int& error) override;
    QWORD length() const override { return m_length; }
    DWORD state() const override;
    void stop() override;
    bool readErrors(QM_CD_READ_ERRORS& errors) const override;

private:
    bool fill(std::int64_t sector, int& error); // loads the run that holds `sector`

    mutable std::mutex m_mutex;
    const std::unique_ptr<SectorReader> m_reader;
    const TrackEntry m_track;
    const QWORD m_length;
    QWORD m_pos = 0;
    bool m_stopped = false; // ended, stopped, or its disc went away
    std::vector<std::uint8_t> m_cache;
    std::int64_t m_cacheFirst = -1; // first cached sector, relative to the track
    int m_cacheSectors = 0;
};

} // namespace qm::audio
