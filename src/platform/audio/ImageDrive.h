#pragma once
// A cue/bin disc image as a drive, with an emulated door: opening it takes the
// disc out (not ready, open streams fail their next read), closing it reads
// the image again, and a locked door refuses to open. libcdio's eject and
// close-tray are never called on an image handle: libcdio frees the handle
// there and a later destroy aborts.

#include "CdDrive.h"

namespace qm::audio {

class ImageDrive : public CdDrive {
public:
    explicit ImageDrive(std::string cuePath);
    ~ImageDrive() override;

    const std::string& description() const override { return m_description; }
    const std::string& name() const override { return m_name; }
    bool isImage() const override { return true; }
    bool info(BASS_CD_INFO& info) override;
    std::shared_ptr<const DiscToc> disc(int& error) override;
    bool door(DWORD action, int& error) override;
    bool doorIsOpen() override { return m_open; }
    bool doorIsLocked() override { return m_locked; }
    std::unique_ptr<SectorReader> openReader(int& error) override;

    struct Media; // the open image, shared with the readers of its streams

private:
    void insert();
    void remove();

    std::string m_path, m_name, m_description;
    bool m_open = false;
    bool m_locked = false;
    bool m_told = false;
    std::shared_ptr<Media> m_media;
    std::shared_ptr<const DiscToc> m_toc;
};

} // namespace qm::audio
