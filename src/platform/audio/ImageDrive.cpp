#include "ImageDrive.h"

#include "CueSheet.h"

#include <QFile>
#include <cdio/cdio.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace qm::audio {

struct ImageDrive::Media {
    explicit Media(CdIo_t* handle) : cdio(handle) {}
    ~Media() { cdio_destroy(cdio); }
    Media(const Media&) = delete;
    Media& operator=(const Media&) = delete;

    CdIo_t* const cdio;
    std::mutex mutex;               // libcdio handles are not thread-safe
    std::atomic<bool> present{true}; // false once the door has opened
};

namespace {

class ImageSectorReader : public SectorReader {
public:
    explicit ImageSectorReader(std::shared_ptr<ImageDrive::Media> media) : m_media(std::move(media)) {}

    bool read(lsn_t lsn, int count, std::uint8_t* out, int& error) override
    {
        if (!m_media->present) {
            error = BASS_ERROR_NOCD;
            return false;
        }
        std::lock_guard lock(m_media->mutex);
        if (cdio_read_audio_sectors(m_media->cdio, out, lsn, static_cast<std::uint32_t>(count)) != DRIVER_OP_SUCCESS) {
            error = BASS_ERROR_NOTAVAIL;
            return false;
        }
        return true;
    }
    int preferredSectors() const override { return 64; }
    bool available(int& error) const override
    {
        if (m_media->present)
            return true;
        error = BASS_ERROR_NOCD;
        return false;
    }

private:
    std::shared_ptr<ImageDrive::Media> m_media;
};

std::string FileName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

ImageDrive::ImageDrive(std::string cuePath)
    : m_path(std::move(cuePath)), m_name(FileName(m_path)), m_description(m_name + " (disc image)")
{
    insert();
}

ImageDrive::~ImageDrive() { remove(); }

void ImageDrive::insert()
{
    // Checked again at every insert: the files may have changed while the door was open.
    const CueSheetCheck check = CheckCueSheet(QFile::decodeName(m_path.c_str()));
    if (!check.problem.isEmpty())
        return;
    CdIo_t* handle = cdio_open_cue(m_path.c_str());
    if (!handle)
        return;
    auto media = std::make_shared<Media>(handle);
    std::string why;
    auto toc = ReadDiscToc(handle, check.utf8Text, &why);
    if (!toc) {
        // Unreadable image: the drive stays empty. Said once, not at every door close.
        if (!why.empty() && !m_told) {
            std::fprintf(stderr, "quillmere: disc image %s: %s; it is not read\n", m_path.c_str(), why.c_str());
            m_told = true;
        }
        return;
    }
    m_media = std::move(media);
    m_toc = std::make_shared<const DiscToc>(std::move(*toc));
}

void ImageDrive::remove()
{
    if (m_media)
        m_media->present = false;
    m_media.reset();
    m_toc.reset();
}

bool ImageDrive::info(BASS_CD_INFO& info)
{
    // What an image can do: audio reads that are always exact, CD-Text, and
    // the emulated door.
    info.flags = (1u << 24) | (1u << 25);
    info.canopen = 1;
    info.canlock = 1;
    info.maxspeed = 0;
    info.cache = 0;
    info.cdtext = 1;
    return true;
}

std::shared_ptr<const DiscToc> ImageDrive::disc(int& error)
{
    if (!m_toc)
        error = BASS_ERROR_NOCD;
    return m_toc;
}

bool ImageDrive::door(DWORD action, int& error)
{
    switch (action) {
    case BASS_CD_DOOR_OPEN:
        if (m_locked) {
            error = BASS_ERROR_NOTAVAIL;
            return false;
        }
        if (!m_open) {
            m_open = true;
            remove();
        }
        return true;
    case BASS_CD_DOOR_CLOSE:
        if (m_open) {
            m_open = false;
            insert();
        }
        return true;
    case BASS_CD_DOOR_LOCK:
        m_locked = true;
        return true;
    case BASS_CD_DOOR_UNLOCK:
        m_locked = false;
        return true;
    default:
        error = BASS_ERROR_ILLPARAM;
        return false;
    }
}

std::unique_ptr<SectorReader> ImageDrive::openReader(int& error)
{
    if (!m_media) {
        error = BASS_ERROR_NOCD;
        return nullptr;
    }
    return std::make_unique<ImageSectorReader>(m_media);
}

} // namespace qm::audio
