#pragma once
// A CD drive on the machine, driven through libcdio and MMC commands: its
// capabilities from libcdio and MODE SENSE page 0x2A, the door by PREVENT
// ALLOW MEDIUM REMOVAL and START STOP UNIT, the disc re-read when the medium
// changes. Streams read through paranoia on handles of their own.

#include "CdDrive.h"

typedef struct _CdIo CdIo_t;

namespace qm::audio {

class PhysicalDrive : public CdDrive {
public:
    // nullptr when the device cannot be opened.
    static std::unique_ptr<PhysicalDrive> open(const std::string& device);
    ~PhysicalDrive() override;

    const std::string& description() const override { return m_description; }
    const std::string& name() const override { return m_device; }
    bool isImage() const override { return false; }
    bool info(BASS_CD_INFO& info) override;
    std::shared_ptr<const DiscToc> disc(int& error) override;
    bool door(DWORD action, int& error) override;
    bool doorIsOpen() override;
    bool doorIsLocked() override;
    std::unique_ptr<SectorReader> openReader(int& error) override;

private:
    PhysicalDrive(std::string device, CdIo_t* cdio);
    bool capabilitiesPage(std::uint8_t (&page)[32]);
    void reopen();

    std::string m_device, m_description;
    CdIo_t* m_cdio = nullptr;
    std::shared_ptr<const DiscToc> m_toc;
};

} // namespace qm::audio
