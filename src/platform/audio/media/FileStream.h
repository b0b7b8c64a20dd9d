#pragma once
// A decoding channel over an audio file, delivering the engine's PCM.

#include "FileDecoder.h"
#include "platform/audio/Channel.h"

#include <mutex>

namespace qm::audio {

constexpr DWORD kCtypeStreamFile = 0x10000;

class FileStream : public Channel {
public:
    FileStream(std::unique_ptr<FileDecoder> decoder, DWORD flags)
        : Channel(flags), m_decoder(std::move(decoder)) {}

    DWORD ctype() const override { return kCtypeStreamFile; }
    DWORD read(void* buffer, DWORD length, int& error) override;
    QWORD position() const override;
    bool setPosition(QWORD pos, int& error) override;
    QWORD length() const override { return m_decoder->lengthBytes(); }
    DWORD state() const override;
    void stop() override;

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<FileDecoder> m_decoder;
    bool m_stopped = false;
};

} // namespace qm::audio
