#pragma once
// One drive of the engine: a physical drive or a disc image. Drive calls come
// from the engine under its lock; sector readers belong to one stream each and
// may be used on another thread.

#include "DiscToc.h"
#include "platform/audio/AudioLibrary.h"

#include <memory>
#include <string>

namespace qm::audio {

// Reads raw audio sectors (16-bit little-endian stereo) of one disc.
class SectorReader {
public:
    virtual ~SectorReader() = default;
    // Fills `out` with `count` sectors from `lsn`; false with `error` set.
    virtual bool read(lsn_t lsn, int count, std::uint8_t* out, int& error) = 0;
    // How many sectors one read should ask for.
    virtual int preferredSectors() const = 0;
    // False with `error` set once the disc has gone, so that sectors read
    // earlier are not handed out as if it were still there.
    virtual bool available(int& error) const
    {
        (void)error;
        return true;
    }
    // What went wrong and was recovered while reading, so far. Any thread
    // may ask while another reads.
    virtual QM_CD_READ_ERRORS readErrors() const { return {}; }
};

class CdDrive {
public:
    virtual ~CdDrive() = default;

    virtual const std::string& description() const = 0; // vendor, model, revision
    virtual const std::string& name() const = 0;        // device node or image file name
    virtual bool isImage() const = 0;
    virtual bool info(BASS_CD_INFO& info) = 0;

    // The disc in the drive, nullptr when there is none (or it is unreadable)
    // with `error` set.
    virtual std::shared_ptr<const DiscToc> disc(int& error) = 0;

    // BASS_CD_DOOR_* action; false with `error` set.
    virtual bool door(DWORD action, int& error) = 0;
    virtual bool doorIsOpen() = 0;
    virtual bool doorIsLocked() = 0;

    // A reader of the current disc; nullptr with `error` set.
    virtual std::unique_ptr<SectorReader> openReader(int& error) = 0;
};

} // namespace qm::audio
