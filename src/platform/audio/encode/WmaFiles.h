#pragma once
// The WMA files being written, by handle. Handles come from the engine's one
// sequence, so a WMA handle never names a channel.

#include "WmaEncoder.h"
#include "platform/audio/AudioLibrary.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace qm::audio {

class WmaFiles {
public:
    ~WmaFiles(); // closes what is still open, so every file ends valid

    // 0 with a code in `error` (see WmaEncoder::Open).
    HWMENCODE open(const std::string& path, DWORD bitrate, bool tagsFollow, int& error);
    HWMENCODE open(WmaEncoder::Writer write, DWORD bitrate, bool tagsFollow, int& error);
    bool setTag(HWMENCODE handle, const std::string& name, const std::string& value, int& error);
    bool write(HWMENCODE handle, const void* pcm, std::size_t bytes, int& error);
    bool close(HWMENCODE handle, int& error);

private:
    struct File {
        std::mutex io; // one writer at a time per file
        std::unique_ptr<WmaEncoder> encoder;
    };
    std::shared_ptr<File> find(HWMENCODE handle, int& error) const;
    HWMENCODE add(std::unique_ptr<WmaEncoder> encoder);

    mutable std::mutex m_mutex;
    std::map<HWMENCODE, std::shared_ptr<File>> m_files;
};

} // namespace qm::audio
