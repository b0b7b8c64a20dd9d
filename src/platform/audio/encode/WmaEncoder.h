#pragma once
// A WMA file writer: FFmpeg's wmav2 encoder in an ASF file, fed with 16-bit
// stereo PCM at 44100 Hz.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVIOContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace qm::audio {

class WmaEncoder {
public:
    // Bitrates offered for 44100 Hz stereo, highest first, ended by 0.
    static const std::uint32_t* Rates();

    // Opens (and truncates) the file. When tagsFollow, the header waits for
    // the tags, which end with an empty tag; otherwise it is written at once.
    // Null with an audio-library code in *error: 20 a rate not offered,
    // 33 the file cannot be created, 37 no wmav2 encoder.
    static std::unique_ptr<WmaEncoder> Open(const std::string& path, std::uint32_t bitrate, bool tagsFollow,
                                            int* error);
    // The same, with the file's bytes handed to `write` (offset, bytes, size);
    // a false answer fails the encoder.
    using Writer = std::function<bool(std::uint64_t offset, const void* data, std::size_t bytes)>;
    static std::unique_ptr<WmaEncoder> Open(Writer write, std::uint32_t bitrate, bool tagsFollow, int* error);
    ~WmaEncoder(); // closes if close() was not called
    WmaEncoder(const WmaEncoder&) = delete;
    WmaEncoder& operator=(const WmaEncoder&) = delete;

    // An empty name ends the tags and writes the header.
    bool setTag(const std::string& name, const std::string& value, int* error);
    bool write(const void* pcm, std::size_t bytes, int* error);
    // Pads and encodes the last frame, writes the trailer and closes the file.
    bool close(int* error);

    // FFmpeg's output callbacks when the caller owns the file.
    static int WritePacket(void* opaque, const std::uint8_t* data, int size);
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);

private:
    WmaEncoder() = default;
    static std::unique_ptr<WmaEncoder> Open(const std::string* path, Writer write, std::uint32_t bitrate,
                                            bool tagsFollow, int* error);
    void closeOutput();
    bool writeHeader();
    bool encodeFrame(bool flush);
    bool drainPackets();
    void release();

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVFrame* m_frame = nullptr;
    Writer m_write;              // when the caller owns the file
    std::uint64_t m_position = 0; // where m_write's next bytes go
    std::uint64_t m_size = 0;
    AVPacket* m_packet = nullptr;
    bool m_headerWritten = false;
    bool m_closed = true; // until the file is open
    bool m_failed = false;
    int m_frameFill = 0;      // samples per channel waiting in m_frame
    std::int64_t m_pts = 0;
    std::uint8_t m_partial[4]{};
    std::size_t m_partialBytes = 0; // a sample frame split between writes
};

} // namespace qm::audio
