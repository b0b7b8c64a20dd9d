#pragma once
// Any audio file FFmpeg can read, decoded to the engine's PCM: 16-bit
// little-endian stereo at 44100 Hz.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct SwrContext;
struct AVPacket;
struct AVFrame;

namespace qm::audio {

class FileDecoder {
public:
    // Null with an audio-library error code in *error: 2 the file cannot be
    // opened, 6 it holds no audio FFmpeg can decode.
    static std::unique_ptr<FileDecoder> Open(const std::string& path, int* error);
    ~FileDecoder();
    FileDecoder(const FileDecoder&) = delete;
    FileDecoder& operator=(const FileDecoder&) = delete;

    // Up to `bytes` bytes (whole frames); 0 at the end; -1 when decoding fails.
    long read(void* buffer, std::size_t bytes);
    // Length from the container's duration, rounded to whole frames; 0 unknown.
    std::uint64_t lengthBytes() const { return m_length; }
    std::uint64_t position() const { return m_position; }
    // Exact: rewinds when needed, then decodes forward to the byte.
    bool seek(std::uint64_t byte);

private:
    FileDecoder() = default;
    bool refill(); // decodes more into m_pending; false at the end or on error
    bool convert(const AVFrame* frame);
    bool rewind();

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    SwrContext* m_swr = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_streamIndex = -1;
    bool m_inputDone = false;
    bool m_drained = false;
    bool m_failed = false;
    std::vector<std::uint8_t> m_pending;
    std::size_t m_pendingOffset = 0;
    std::uint64_t m_position = 0;
    std::uint64_t m_length = 0;
};

} // namespace qm::audio
