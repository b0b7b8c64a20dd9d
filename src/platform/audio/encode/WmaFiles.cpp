#include "WmaFiles.h"

#include "platform/audio/ChannelTable.h"

namespace qm::audio {

WmaFiles::~WmaFiles()
{
    std::lock_guard lock(m_mutex);
    for (auto& [handle, file] : m_files) {
        int error = 0;
        std::lock_guard io(file->io);
        file->encoder->close(&error);
    }
}

HWMENCODE WmaFiles::open(const std::string& path, DWORD bitrate, bool tagsFollow, int& error)
{
    return add(WmaEncoder::Open(path, bitrate, tagsFollow, &error));
}

HWMENCODE WmaFiles::open(WmaEncoder::Writer write, DWORD bitrate, bool tagsFollow, int& error)
{
    return add(WmaEncoder::Open(std::move(write), bitrate, tagsFollow, &error));
}

HWMENCODE WmaFiles::add(std::unique_ptr<WmaEncoder> encoder)
{
    if (!encoder)
        return 0;
    auto file = std::make_shared<File>();
    file->encoder = std::move(encoder);
    const HWMENCODE handle = NextHandle();
    std::lock_guard lock(m_mutex);
    m_files.emplace(handle, std::move(file));
    return handle;
}

std::shared_ptr<WmaFiles::File> WmaFiles::find(HWMENCODE handle, int& error) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_files.find(handle);
    if (it == m_files.end()) {
        error = BASS_ERROR_HANDLE;
        return nullptr;
    }
    return it->second;
}

bool WmaFiles::setTag(HWMENCODE handle, const std::string& name, const std::string& value, int& error)
{
    const auto file = find(handle, error);
    if (!file)
        return false;
    std::lock_guard io(file->io);
    return file->encoder->setTag(name, value, &error);
}

bool WmaFiles::write(HWMENCODE handle, const void* pcm, std::size_t bytes, int& error)
{
    const auto file = find(handle, error);
    if (!file)
        return false;
    if (!pcm && bytes > 0) {
        error = BASS_ERROR_ILLPARAM;
        return false;
    }
    std::lock_guard io(file->io);
    return file->encoder->write(pcm, bytes, &error);
}

bool WmaFiles::close(HWMENCODE handle, int& error)
{
    std::shared_ptr<File> file;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_files.find(handle);
        if (it == m_files.end()) {
            error = BASS_ERROR_HANDLE;
            return false;
        }
        file = std::move(it->second);
        m_files.erase(it);
    }
    std::lock_guard io(file->io);
    return file->encoder->close(&error);
}

} // namespace qm::audio
