#include "ParanoiaReader.h"

#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstdio>
#include <cstring>

namespace qm::audio {

namespace {
// Tries per sector before paranoia gives up on it.
constexpr int kMaxRetries = 20;

// paranoia's callback carries no user data; reads of one thread run one at
// a time, so the reader that asked is set around each call.
thread_local bool t_skipped = false;
thread_local ParanoiaEventCounts* t_counts = nullptr;

void OnParanoiaEvent(long, paranoia_cb_mode_t mode)
{
    if (t_counts)
        t_counts->count(mode);
    // Only a skip leaves damage. Drift is the drive's position found off and
    // corrected as the overlaps are matched (libcdio's comment on it repeats
    // the skip's); it is counted, and the read goes on.
    if (mode == PARANOIA_CB_SKIP)
        t_skipped = true;
}
} // namespace

void ParanoiaEventCounts::count(int event)
{
    switch (event) {
    case PARANOIA_CB_READERR: ++m_readErrors; break;
    case PARANOIA_CB_SKIP: ++m_skips; break;
    case PARANOIA_CB_SCRATCH:
    case PARANOIA_CB_REPAIR: ++m_repairs; break;
    case PARANOIA_CB_FIXUP_EDGE:
    case PARANOIA_CB_FIXUP_ATOM:
    case PARANOIA_CB_FIXUP_DROPPED:
    case PARANOIA_CB_FIXUP_DUPED: ++m_fixups; break;
    case PARANOIA_CB_DRIFT: ++m_drift; break;
    default: break; // reads, verifies, overlaps and the like: progress, not trouble
    }
}

QM_CD_READ_ERRORS ParanoiaEventCounts::snapshot() const
{
    QM_CD_READ_ERRORS e;
    e.readErrors = m_readErrors.load();
    e.skips = m_skips.load();
    e.repairs = m_repairs.load();
    e.fixups = m_fixups.load();
    e.drift = m_drift.load();
    return e;
}

struct ParanoiaReader::Handles {
    cdrom_drive_t* drive = nullptr;
    cdrom_paranoia_t* paranoia = nullptr;
    ~Handles()
    {
        if (paranoia)
            cdio_paranoia_free(paranoia);
        if (drive)
            cdio_cddap_close(drive);
    }
};

std::unique_ptr<ParanoiaReader> ParanoiaReader::open(const std::string& device, int& error)
{
    auto handles = std::make_unique<Handles>();
    handles->drive = cdio_cddap_identify(device.c_str(), CDDA_MESSAGE_FORGETIT, nullptr);
    if (!handles->drive || cdio_cddap_open(handles->drive) != 0) {
        error = BASS_ERROR_NOCD;
        return nullptr;
    }
    // Drives deliver CD audio little-endian; paranoia's guess from the
    // samples can be wrong on unusual audio and would swap every byte pair.
    handles->drive->bigendianp = 0;
    handles->paranoia = cdio_paranoia_init(handles->drive);
    if (!handles->paranoia) {
        error = BASS_ERROR_MEM;
        return nullptr;
    }
    cdio_paranoia_modeset(handles->paranoia, PARANOIA_MODE_FULL);
    return std::unique_ptr<ParanoiaReader>(new ParanoiaReader(std::move(handles)));
}

ParanoiaReader::ParanoiaReader(std::unique_ptr<Handles> handles) : m_handles(std::move(handles)) {}
ParanoiaReader::~ParanoiaReader() = default;

bool ParanoiaReader::read(lsn_t lsn, int count, std::uint8_t* out, int& error)
{
    if (lsn != m_next) {
        cdio_paranoia_seek(m_handles->paranoia, lsn, SEEK_SET);
        m_next = lsn;
    }
    for (int i = 0; i < count; ++i) {
        t_skipped = false;
        t_counts = &m_counts;
        const std::int16_t* samples = cdio_paranoia_read_limited(m_handles->paranoia, OnParanoiaEvent, kMaxRetries);
        t_counts = nullptr;
        if (!samples || t_skipped) {
            m_next = -1; // paranoia's place is unknown now
            error = BASS_ERROR_NOTAVAIL;
            return false;
        }
        std::memcpy(out + i * CDIO_CD_FRAMESIZE_RAW, samples, CDIO_CD_FRAMESIZE_RAW);
        ++m_next;
    }
    return true;
}

} // namespace qm::audio
