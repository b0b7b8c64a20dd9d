#include "WmaEncoder.h"

#include "platform/audio/AudioLibrary.h"
#include "platform/audio/output/SoundOutput.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace qm::audio {

namespace {
const std::uint32_t kRates[] = {320000, 256000, 192000, 160000, 128000, 96000, 80000, 64000, 48000, 32000, 0};

bool fail(int* error, int code)
{
    if (error)
        *error = code;
    return false;
}

// FFmpeg 7 made the written bytes const.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
int WriteOut(void* opaque, const std::uint8_t* data, int size)
#else
int WriteOut(void* opaque, std::uint8_t* data, int size)
#endif
{
    return WmaEncoder::WritePacket(opaque, data, size);
}
} // namespace

const std::uint32_t* WmaEncoder::Rates()
{
    return avcodec_find_encoder(AV_CODEC_ID_WMAV2) ? kRates : nullptr;
}

std::unique_ptr<WmaEncoder> WmaEncoder::Open(const std::string& path, std::uint32_t bitrate, bool tagsFollow,
                                             int* error)
{
    return Open(&path, nullptr, bitrate, tagsFollow, error);
}

std::unique_ptr<WmaEncoder> WmaEncoder::Open(Writer write, std::uint32_t bitrate, bool tagsFollow, int* error)
{
    return Open(nullptr, std::move(write), bitrate, tagsFollow, error);
}

int WmaEncoder::WritePacket(void* opaque, const std::uint8_t* data, int size)
{
    auto* e = static_cast<WmaEncoder*>(opaque);
    if (size < 0 || !e->m_write(e->m_position, data, static_cast<std::size_t>(size)))
        return AVERROR(EIO);
    e->m_position += static_cast<std::uint64_t>(size);
    e->m_size = std::max(e->m_size, e->m_position);
    return size;
}

std::int64_t WmaEncoder::Seek(void* opaque, std::int64_t offset, int whence)
{
    auto* e = static_cast<WmaEncoder*>(opaque);
    std::int64_t to = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return static_cast<std::int64_t>(e->m_size);
    case SEEK_SET: to = offset; break;
    case SEEK_CUR: to = static_cast<std::int64_t>(e->m_position) + offset; break;
    case SEEK_END: to = static_cast<std::int64_t>(e->m_size) + offset; break;
    default: return AVERROR(EINVAL);
    }
    if (to < 0)
        return AVERROR(EINVAL);
    e->m_position = static_cast<std::uint64_t>(to);
    return to;
}

std::unique_ptr<WmaEncoder> WmaEncoder::Open(const std::string* path, Writer write, std::uint32_t bitrate,
                                             bool tagsFollow, int* error)
{
    auto failed = [&](int code) {
        fail(error, code);
        return nullptr;
    };
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec)
        return failed(BASS_ERROR_NOTAVAIL);
    bool offered = false;
    for (const std::uint32_t* r = kRates; *r; ++r)
        offered = offered || *r == bitrate;
    if (!offered)
        return failed(BASS_ERROR_ILLPARAM);

    std::unique_ptr<WmaEncoder> e(new WmaEncoder);
    if (avformat_alloc_output_context2(&e->m_format, nullptr, "asf", path ? path->c_str() : nullptr) < 0)
        return failed(BASS_ERROR_NOTAVAIL);
    AVStream* stream = avformat_new_stream(e->m_format, nullptr);
    e->m_codec = avcodec_alloc_context3(codec);
    e->m_packet = av_packet_alloc();
    e->m_frame = av_frame_alloc();
    if (!stream || !e->m_codec || !e->m_packet || !e->m_frame)
        return failed(BASS_ERROR_MEM);
    e->m_codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    e->m_codec->sample_rate = kOutputRate;
    e->m_codec->bit_rate = bitrate;
    e->m_codec->time_base = AVRational{1, int(kOutputRate)};
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&e->m_codec->ch_layout, &stereo);
    if (e->m_format->oformat->flags & AVFMT_GLOBALHEADER)
        e->m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(e->m_codec, codec, nullptr) < 0
        || avcodec_parameters_from_context(stream->codecpar, e->m_codec) < 0)
        return failed(BASS_ERROR_NOTAVAIL);
    stream->time_base = e->m_codec->time_base;

    e->m_frame->format = AV_SAMPLE_FMT_FLTP;
    e->m_frame->sample_rate = kOutputRate;
    e->m_frame->nb_samples = e->m_codec->frame_size;
    av_channel_layout_copy(&e->m_frame->ch_layout, &stereo);
    if (av_frame_get_buffer(e->m_frame, 0) < 0)
        return failed(BASS_ERROR_MEM);

    if (path) {
        if (avio_open(&e->m_format->pb, path->c_str(), AVIO_FLAG_WRITE) < 0)
            return failed(BASS_ERROR_CREATE);
    } else {
        constexpr int kBuffer = 1 << 16;
        auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
        e->m_write = std::move(write);
        // Seekable, as a file is: the header is written again at the end.
        e->m_format->pb = buffer ? avio_alloc_context(buffer, kBuffer, 1, e.get(), nullptr, &WriteOut, &Seek)
                                 : nullptr;
        if (!e->m_format->pb) {
            av_free(buffer);
            return failed(BASS_ERROR_MEM);
        }
        e->m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    e->m_closed = false;
    if (!tagsFollow && !e->writeHeader())
        return failed(BASS_ERROR_CREATE);
    return e;
}

WmaEncoder::~WmaEncoder()
{
    if (!m_closed)
        close(nullptr);
    release();
}

void WmaEncoder::release()
{
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codec);
    if (m_format) {
        closeOutput();
        avformat_free_context(m_format);
        m_format = nullptr;
    }
}

void WmaEncoder::closeOutput()
{
    if (!m_format->pb)
        return;
    if (m_write) {
        av_freep(&m_format->pb->buffer);
        avio_context_free(&m_format->pb);
    } else {
        avio_closep(&m_format->pb);
    }
}

bool WmaEncoder::writeHeader()
{
    // Without a fixed packet size, high rates come out far above the asked rate.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "packet_size", "16384", 0);
    int rc = avformat_write_header(m_format, &options);
    av_dict_free(&options);
    m_headerWritten = rc >= 0;
    m_failed = !m_headerWritten;
    return m_headerWritten;
}

bool WmaEncoder::setTag(const std::string& name, const std::string& value, int* error)
{
    if (m_closed || m_failed)
        return fail(error, BASS_ERROR_HANDLE);
    if (m_headerWritten) // tags go in the header, which is already written
        return name.empty() || fail(error, BASS_ERROR_ALREADY);
    if (name.empty())
        return writeHeader() || fail(error, BASS_ERROR_CREATE);
    av_dict_set(&m_format->metadata, name.c_str(), value.c_str(), 0);
    return true;
}

bool WmaEncoder::drainPackets()
{
    for (;;) {
        int rc = avcodec_receive_packet(m_codec, m_packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return false;
        m_packet->stream_index = 0;
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_format->streams[0]->time_base);
        if (av_interleaved_write_frame(m_format, m_packet) < 0)
            return false;
    }
}

bool WmaEncoder::encodeFrame(bool flush)
{
    if (!flush) {
        m_frame->pts = m_pts;
        m_pts += m_frame->nb_samples;
        if (avcodec_send_frame(m_codec, m_frame) < 0)
            return false;
        m_frameFill = 0;
        return drainPackets() && av_frame_make_writable(m_frame) >= 0;
    }
    return avcodec_send_frame(m_codec, nullptr) >= 0 && drainPackets();
}

bool WmaEncoder::write(const void* pcm, std::size_t bytes, int* error)
{
    if (m_closed || m_failed)
        return fail(error, BASS_ERROR_HANDLE);
    if (!m_headerWritten && !writeHeader())
        return fail(error, BASS_ERROR_CREATE);
    auto* in = static_cast<const std::uint8_t*>(pcm);
    auto* left = reinterpret_cast<float*>(m_frame->data[0]);
    auto* right = reinterpret_cast<float*>(m_frame->data[1]);
    auto put = [&](const std::uint8_t* f) {
        std::int16_t l, r;
        std::memcpy(&l, f, 2);
        std::memcpy(&r, f + 2, 2);
        left[m_frameFill] = l / 32768.0f;
        right[m_frameFill] = r / 32768.0f;
        if (++m_frameFill == m_frame->nb_samples && !encodeFrame(false))
            return false;
        return true;
    };
    while (bytes > 0) {
        if (m_partialBytes > 0 || bytes < kFrameBytes) {
            std::size_t n = std::min(bytes, kFrameBytes - m_partialBytes);
            std::memcpy(m_partial + m_partialBytes, in, n);
            m_partialBytes += n;
            in += n;
            bytes -= n;
            if (m_partialBytes < kFrameBytes)
                break;
            m_partialBytes = 0;
            if (!put(m_partial))
                return m_failed = true, fail(error, BASS_ERROR_CREATE);
            continue;
        }
        if (!put(in))
            return m_failed = true, fail(error, BASS_ERROR_CREATE);
        in += kFrameBytes;
        bytes -= kFrameBytes;
    }
    return true;
}

bool WmaEncoder::close(int* error)
{
    if (m_closed)
        return fail(error, BASS_ERROR_HANDLE);
    m_closed = true;
    bool ok = !m_failed && (m_headerWritten || writeHeader());
    if (ok && m_frameFill > 0) {
        // The encoder takes whole frames only: pad the last one with silence.
        for (int c = 0; c < 2; ++c)
            std::memset(m_frame->data[c] + m_frameFill * sizeof(float), 0,
                        (m_frame->nb_samples - m_frameFill) * sizeof(float));
        ok = encodeFrame(false);
    }
    ok = ok && encodeFrame(true);
    if (m_headerWritten)
        ok = av_write_trailer(m_format) >= 0 && ok;
    if (m_format->pb) {
        if (m_write) {
            avio_flush(m_format->pb);
            ok = m_format->pb->error >= 0 && ok;
            closeOutput();
        } else {
            ok = avio_closep(&m_format->pb) >= 0 && ok;
        }
    }
    release();
    return ok || fail(error, BASS_ERROR_CREATE);
}

} // namespace qm::audio
