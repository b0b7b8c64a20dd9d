#include "PulseOutput.h"

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

#include <algorithm>

namespace qm::audio {

std::unique_ptr<PulseOutput> PulseOutput::Open(const std::string& server, const std::string& sink)
{
    std::unique_ptr<PulseOutput> out(new PulseOutput);
    out->m_sink = sink;
    out->m_loop = pa_mainloop_new();
    if (!out->m_loop || !(out->m_context = pa_context_new(pa_mainloop_get_api(out->m_loop), "Quillmere")))
        return nullptr;
    const char* at = server.empty() ? nullptr : server.c_str();
    const bool ready = pa_context_connect(out->m_context, at, PA_CONTEXT_NOFLAGS, nullptr) == 0
                       && out->waitFor([](PulseOutput& self) {
                              const pa_context_state_t state = pa_context_get_state(self.m_context);
                              self.m_failed = !PA_CONTEXT_IS_GOOD(state);
                              return state == PA_CONTEXT_READY;
                          });
    // The stream is opened once here, so a sink that is not there fails now.
    return ready && out->openStream() ? std::move(out) : nullptr;
}

bool PulseOutput::waitFor(bool (*ready)(PulseOutput&))
{
    while (!ready(*this)) {
        if (m_failed || pa_mainloop_iterate(m_loop, 1, nullptr) < 0)
            return false;
    }
    return true;
}

bool PulseOutput::openStream()
{
    pa_sample_spec layout{};
    layout.format = PA_SAMPLE_S16LE;
    layout.rate = kOutputRate;
    layout.channels = kOutputChannels;
    m_stream = pa_stream_new(m_context, "CD playback", &layout, nullptr);
    if (!m_stream)
        return false;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = kQueueFrames * kFrameBytes;
    attr.prebuf = kFrameBytes; // after running dry, it starts again with whatever comes
    attr.minreq = kRequestFrames * kFrameBytes;
    attr.fragsize = static_cast<std::uint32_t>(-1);
    // The queue's length is the whole delay, the sink's share included.
    const char* sink = m_sink.empty() ? nullptr : m_sink.c_str();
    const bool ready = pa_stream_connect_playback(m_stream, sink, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) == 0
                       && waitFor([](PulseOutput& self) {
                              const pa_stream_state_t state = pa_stream_get_state(self.m_stream);
                              self.m_failed = !PA_STREAM_IS_GOOD(state);
                              return state == PA_STREAM_READY;
                          });
    if (!ready) {
        m_failed = true;
        return false;
    }
    // The sink's share: what the server took off the stream's buffer to fit
    // the delay asked for. (Asking the server is no better: while an idle
    // sink wakes up it says seconds.)
    const pa_buffer_attr* got = pa_stream_get_buffer_attr(m_stream);
    m_sinkFrames = got && got->tlength < attr.tlength ? (attr.tlength - got->tlength) / kFrameBytes : 0;
    return true;
}

void PulseOutput::closeStream()
{
    if (!m_stream)
        return;
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

PulseOutput::~PulseOutput()
{
    closeStream();
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_loop)
        pa_mainloop_free(m_loop);
}

bool PulseOutput::usable() const
{
    return !m_failed && pa_context_get_state(m_context) == PA_CONTEXT_READY
           && (!m_stream || pa_stream_get_state(m_stream) == PA_STREAM_READY);
}

bool PulseOutput::write(const std::int16_t* frames, std::size_t count)
{
    if (!usable() || (!m_stream && !openStream())
        || pa_stream_write(m_stream, frames, count * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        m_failed = true; // the server went away
        return false;
    }
    m_lastWrite = pa_rtclock_now();
    service(); // sends it now, not at the next wait
    return true;
}

std::size_t PulseOutput::bufferedFrames()
{
    const pa_buffer_attr* attr = pa_stream_get_buffer_attr(m_stream);
    const std::size_t room = pa_stream_writable_size(m_stream);
    if (!attr || room == static_cast<std::size_t>(-1))
        return 0;
    return attr->tlength > room ? (attr->tlength - room) / kFrameBytes : 0;
}

std::size_t PulseOutput::latencyFrames()
{
    if (!m_stream || !usable())
        return 0;
    if (const std::size_t buffered = bufferedFrames())
        return buffered + m_sinkFrames;
    // Run dry: the sink plays out its share.
    const auto played = std::size_t((pa_rtclock_now() - m_lastWrite) * kOutputRate / PA_USEC_PER_SEC);
    return m_sinkFrames > played ? m_sinkFrames - played : 0;
}

std::size_t PulseOutput::writableFrames()
{
    if (!usable())
        return 0;
    if (!m_stream)
        return kQueueFrames;
    const std::size_t room = pa_stream_writable_size(m_stream);
    return room == static_cast<std::size_t>(-1) ? 0 : room / kFrameBytes;
}

int PulseOutput::sleepMs()
{
    // The server asks for more in small requests as it plays. Rather than
    // wake for each of them (and for its other news), the feeder sleeps while
    // what is surely left in the stream lasts, then takes them all at once.
    // (What it asked for lags what it played by up to a request, and the
    // sink's share is not counted on: an estimate too long had the stream run
    // dry, and the server then skipped what came late.)
    const std::size_t buffered = m_stream && usable() ? bufferedFrames() : 0;
    const std::size_t keep = kRequestFrames + kMarginFrames;
    return buffered > keep ? int((buffered - keep) * 1000 / kOutputRate) : 0;
}

bool PulseOutput::waitWritable(int timeoutMs)
{
    const int timeout = timeoutMs < 0 ? -1 : timeoutMs * 1000; // microseconds
    if (!usable() || pa_mainloop_prepare(m_loop, timeout) < 0 || pa_mainloop_poll(m_loop) < 0
        || pa_mainloop_dispatch(m_loop) < 0) {
        m_failed = true;
        return false;
    }
    return usable();
}

void PulseOutput::interrupt()
{
    pa_mainloop_wakeup(m_loop);
}

void PulseOutput::service()
{
    // A few passes: each may queue work for the next (a reply, a send).
    for (int pass = 0; pass < 4 && pa_mainloop_iterate(m_loop, 0, nullptr) > 0; ++pass) {
    }
}

void PulseOutput::idle()
{
    // Everything was heard a while ago (the estimate may run a little ahead
    // of the sound, and closing drops what the sink still holds).
    if (m_stream && usable() && latencyFrames() == 0
        && pa_rtclock_now() - m_lastWrite >= (250 * PA_USEC_PER_MSEC + m_sinkFrames * PA_USEC_PER_SEC / kOutputRate))
        closeStream();
}

} // namespace qm::audio
