#include "PhysicalDrive.h"

#include "ParanoiaReader.h"

#include <cdio/cdio.h>
#include <cdio/mmc.h>
#include <cdio/mmc_hl_cmds.h>
#include <cdio/mmc_ll_cmds.h>

#include <cstring>

namespace qm::audio {

namespace {
constexpr unsigned kTimeoutMs = 10000;

CdIo_t* OpenDevice(const std::string& device)
{
    // Door commands need the device open for writing; reading alone does not.
    if (CdIo_t* p = cdio_open_am(device.c_str(), DRIVER_DEVICE, "MMC_RDWR"))
        return p;
    return cdio_open(device.c_str(), DRIVER_DEVICE);
}

std::string Trimmed(const char* text)
{
    std::string s(text);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}
} // namespace

std::unique_ptr<PhysicalDrive> PhysicalDrive::open(const std::string& device)
{
    CdIo_t* p = OpenDevice(device);
    if (!p)
        return nullptr;
    return std::unique_ptr<PhysicalDrive>(new PhysicalDrive(device, p));
}

PhysicalDrive::PhysicalDrive(std::string device, CdIo_t* cdio) : m_device(std::move(device)), m_cdio(cdio)
{
    cdio_hwinfo_t hw{};
    if (cdio_get_hwinfo(m_cdio, &hw)) {
        for (const char* part : {hw.psz_vendor, hw.psz_model, hw.psz_revision}) {
            const std::string t = Trimmed(part);
            if (t.empty())
                continue;
            if (!m_description.empty())
                m_description += ' ';
            m_description += t;
        }
    }
    if (m_description.empty())
        m_description = "CD drive";
}

PhysicalDrive::~PhysicalDrive()
{
    if (m_cdio)
        cdio_destroy(m_cdio);
}

void PhysicalDrive::reopen()
{
    // libcdio keeps the table of contents it read first; a new disc needs a new handle.
    if (m_cdio)
        cdio_destroy(m_cdio);
    m_cdio = OpenDevice(m_device);
}

bool PhysicalDrive::capabilitiesPage(std::uint8_t (&page)[32])
{
    std::uint8_t buf[256] = {};
    if (!m_cdio || mmc_mode_sense_10(m_cdio, buf, sizeof buf, CDIO_MMC_CAPABILITIES_PAGE) != DRIVER_OP_SUCCESS)
        return false;
    // Eight bytes of header, then any block descriptors, then the page.
    const std::size_t at = 8 + (std::size_t{buf[6]} << 8 | buf[7]);
    if (at + sizeof page > sizeof buf || (buf[at] & 0x3F) != CDIO_MMC_CAPABILITIES_PAGE)
        return false;
    std::memcpy(page, buf + at, sizeof page);
    return true;
}

bool PhysicalDrive::info(BASS_CD_INFO& info)
{
    if (!m_cdio)
        return false;
    cdio_drive_read_cap_t read = 0;
    cdio_drive_write_cap_t write = 0;
    cdio_drive_misc_cap_t misc = 0;
    cdio_get_drive_cap(m_cdio, &read, &write, &misc);
    std::uint8_t page[32] = {};
    const bool havePage = capabilitiesPage(page);

    DWORD flags = 0;
    auto set = [&flags](bool on, int bit) { flags |= on ? (1u << bit) : 0u; };
    set(read & CDIO_DRIVE_CAP_READ_CD_R, 0);
    set(read & CDIO_DRIVE_CAP_READ_CD_RW, 1);
    set(havePage && (page[2] & 0x04), 2); // "method 2" packet-written discs
    set(read & CDIO_DRIVE_CAP_READ_DVD_ROM, 3);
    set(read & CDIO_DRIVE_CAP_READ_DVD_R, 4);
    set(read & CDIO_DRIVE_CAP_READ_DVD_RAM, 5);
    set(read & CDIO_DRIVE_CAP_READ_MODE2_FORM1, 20);
    set(read & CDIO_DRIVE_CAP_READ_MODE2_FORM2, 21);
    set(misc & CDIO_DRIVE_CAP_MISC_MULTI_SESSION, 22);
    set(read & CDIO_DRIVE_CAP_READ_CD_DA, 24);
    set(havePage && (page[5] & 0x02), 25); // CD-DA stream is accurate
    info.flags = flags;
    info.canopen = (misc & CDIO_DRIVE_CAP_MISC_EJECT) ? 1 : 0;
    info.canlock = (misc & CDIO_DRIVE_CAP_MISC_LOCK) ? 1 : 0;
    info.maxspeed = havePage ? (DWORD{page[8]} << 8 | page[9]) : 0;
    info.cache = havePage ? (DWORD{page[12]} << 8 | page[13]) : 0;
    info.cdtext = havePage && (page[5] & 0x04) ? 1 : 0; // reads R-W subchannels
    return true;
}

std::shared_ptr<const DiscToc> PhysicalDrive::disc(int& error)
{
    if (!m_cdio)
        reopen();
    if (!m_cdio || mmc_test_unit_ready(m_cdio, kTimeoutMs) != DRIVER_OP_SUCCESS) {
        m_toc.reset();
        error = BASS_ERROR_NOCD;
        return nullptr;
    }
    if (m_toc && mmc_get_media_changed(m_cdio) != 1)
        return m_toc;
    reopen();
    auto toc = m_cdio ? ReadDiscToc(m_cdio) : std::nullopt;
    if (!toc) {
        m_toc.reset();
        error = BASS_ERROR_NOCD;
        return nullptr;
    }
    m_toc = std::make_shared<const DiscToc>(std::move(*toc));
    return m_toc;
}

bool PhysicalDrive::door(DWORD action, int& error)
{
    if (!m_cdio) {
        error = BASS_ERROR_DEVICE;
        return false;
    }
    driver_return_code_t rc = DRIVER_OP_ERROR;
    switch (action) {
    case BASS_CD_DOOR_OPEN:
        m_toc.reset();
        rc = mmc_start_stop_unit(m_cdio, true, false, 0, kTimeoutMs);
        break;
    case BASS_CD_DOOR_CLOSE: rc = mmc_close_tray(m_cdio); break;
    case BASS_CD_DOOR_LOCK: rc = mmc_prevent_allow_medium_removal(m_cdio, false, true, kTimeoutMs); break;
    case BASS_CD_DOOR_UNLOCK: rc = mmc_prevent_allow_medium_removal(m_cdio, false, false, kTimeoutMs); break;
    default: error = BASS_ERROR_ILLPARAM; return false;
    }
    if (rc != DRIVER_OP_SUCCESS) {
        error = BASS_ERROR_NOTAVAIL;
        return false;
    }
    return true;
}

bool PhysicalDrive::doorIsOpen()
{
    const bool open = m_cdio && mmc_get_tray_status(m_cdio) == 1;
    if (open)
        m_toc.reset();
    return open;
}

bool PhysicalDrive::doorIsLocked()
{
    std::uint8_t page[32] = {};
    return capabilitiesPage(page) && (page[6] & 0x02);
}

std::unique_ptr<SectorReader> PhysicalDrive::openReader(int& error)
{
    return ParanoiaReader::open(m_device, error);
}

} // namespace qm::audio
