#include "FileDecoder.h"

#include "platform/audio/AudioLibrary.h"
#include "platform/audio/output/SoundOutput.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace qm::audio {

std::unique_ptr<FileDecoder> FileDecoder::Open(const std::string& path, int* error)
{
    std::unique_ptr<FileDecoder> d(new FileDecoder);
    auto fail = [&](int code) {
        if (error)
            *error = code;
        return nullptr;
    };
    int rc = avformat_open_input(&d->m_format, path.c_str(), nullptr, nullptr);
    if (rc < 0)
        return fail(rc == AVERROR(ENOENT) || rc == AVERROR(EACCES) || rc == AVERROR(EISDIR)
                        ? BASS_ERROR_FILEOPEN : BASS_ERROR_FORMAT);
    if (avformat_find_stream_info(d->m_format, nullptr) < 0)
        return fail(BASS_ERROR_FORMAT);
    const AVCodec* codec = nullptr;
    d->m_streamIndex = av_find_best_stream(d->m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (d->m_streamIndex < 0 || !codec)
        return fail(BASS_ERROR_FORMAT);
    AVStream* stream = d->m_format->streams[d->m_streamIndex];
    d->m_codec = avcodec_alloc_context3(codec);
    if (!d->m_codec || avcodec_parameters_to_context(d->m_codec, stream->codecpar) < 0
        || avcodec_open2(d->m_codec, codec, nullptr) < 0)
        return fail(BASS_ERROR_FORMAT);
    if (d->m_codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&d->m_codec->ch_layout, d->m_codec->ch_layout.nb_channels);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (swr_alloc_set_opts2(&d->m_swr, &stereo, AV_SAMPLE_FMT_S16, kOutputRate, &d->m_codec->ch_layout,
                            d->m_codec->sample_fmt, d->m_codec->sample_rate, 0, nullptr) < 0
        || swr_init(d->m_swr) < 0)
        return fail(BASS_ERROR_FORMAT);
    d->m_packet = av_packet_alloc();
    d->m_frame = av_frame_alloc();
    if (!d->m_packet || !d->m_frame)
        return fail(BASS_ERROR_MEM);
    if (d->m_format->duration > 0)
        d->m_length = std::uint64_t(av_rescale(d->m_format->duration, kOutputRate, AV_TIME_BASE)) * kFrameBytes;
    return d;
}

FileDecoder::~FileDecoder()
{
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    swr_free(&m_swr);
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
}

bool FileDecoder::convert(const AVFrame* frame)
{
    int room = swr_get_out_samples(m_swr, frame ? frame->nb_samples : 0);
    if (room <= 0)
        return true;
    std::size_t old = m_pending.size();
    m_pending.resize(old + std::size_t(room) * kFrameBytes);
    std::uint8_t* out = m_pending.data() + old;
    int got = swr_convert(m_swr, &out, room, frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                          frame ? frame->nb_samples : 0);
    if (got < 0) {
        m_pending.resize(old);
        return false;
    }
    m_pending.resize(old + std::size_t(got) * kFrameBytes);
    return true;
}

bool FileDecoder::refill()
{
    m_pending.erase(m_pending.begin(), m_pending.begin() + long(m_pendingOffset));
    m_pendingOffset = 0;
    while (m_pending.empty() && !m_drained && !m_failed) {
        int rc = avcodec_receive_frame(m_codec, m_frame);
        if (rc == 0) {
            m_failed = !convert(m_frame);
            av_frame_unref(m_frame);
            continue;
        }
        if (rc == AVERROR_EOF) {
            m_failed = !convert(nullptr); // what the resampler still holds
            m_drained = true;
            break;
        }
        if (rc != AVERROR(EAGAIN)) {
            m_failed = true;
            break;
        }
        if (m_inputDone) {
            m_drained = true;
            break;
        }
        rc = av_read_frame(m_format, m_packet);
        if (rc < 0) {
            m_inputDone = true;
            avcodec_send_packet(m_codec, nullptr);
            continue;
        }
        if (m_packet->stream_index == m_streamIndex)
            avcodec_send_packet(m_codec, m_packet); // a damaged packet is skipped, as players do
        av_packet_unref(m_packet);
    }
    return !m_pending.empty();
}

long FileDecoder::read(void* buffer, std::size_t bytes)
{
    bytes -= bytes % kFrameBytes;
    std::size_t done = 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (done < bytes) {
        if (m_pendingOffset >= m_pending.size() && !refill())
            break;
        std::size_t n = std::min(bytes - done, m_pending.size() - m_pendingOffset);
        std::memcpy(out + done, m_pending.data() + m_pendingOffset, n);
        m_pendingOffset += n;
        done += n;
    }
    m_position += done;
    if (done == 0 && m_failed)
        return -1;
    return long(done);
}

bool FileDecoder::rewind()
{
    if (av_seek_frame(m_format, m_streamIndex, 0, AVSEEK_FLAG_BACKWARD) < 0
        && avformat_seek_file(m_format, -1, INT64_MIN, 0, 0, 0) < 0)
        return false;
    avcodec_flush_buffers(m_codec);
    swr_close(m_swr);
    if (swr_init(m_swr) < 0)
        return false;
    m_pending.clear();
    m_pendingOffset = 0;
    m_inputDone = m_drained = m_failed = false;
    m_position = 0;
    return true;
}

bool FileDecoder::seek(std::uint64_t byte)
{
    byte -= byte % kFrameBytes;
    if (byte < m_position && !rewind())
        return false;
    std::vector<std::uint8_t> scratch(65536);
    while (m_position < byte) {
        long n = read(scratch.data(), std::min<std::uint64_t>(scratch.size(), byte - m_position));
        if (n <= 0)
            return false;
    }
    return true;
}

} // namespace qm::audio
