#include "PulseOutput.h"

#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>

namespace qm::audio {

namespace {

// Every state change and write request wakes whoever waits on the loop.
void Signal(pa_threaded_mainloop* loop)
{
    pa_threaded_mainloop_signal(loop, 0);
}

// Holds the event thread's lock for a scope.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

} // namespace

std::unique_ptr<PulseOutput> PulseOutput::Open(std::string* error)
{
    std::unique_ptr<PulseOutput> out(new PulseOutput);
    if (!out->connect(error))
        return nullptr;
    return out;
}

bool PulseOutput::connect(std::string* error)
{
    auto fail = [&](int code) {
        if (error)
            *error = pa_strerror(code);
        return false;
    };
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        return fail(PA_ERR_INTERNAL);
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Quillmere");
    if (!m_context)
        return fail(PA_ERR_INTERNAL);
    auto wake = [](auto*, void* loop) { Signal(static_cast<pa_threaded_mainloop*>(loop)); };
    pa_context_set_state_callback(m_context, wake, m_loop);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0)
        return fail(pa_context_errno(m_context));
    if (pa_threaded_mainloop_start(m_loop) < 0)
        return fail(PA_ERR_INTERNAL);

    LoopLock lock(m_loop);
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(m_context);
        if (state == PA_CONTEXT_READY)
            break;
        if (!PA_CONTEXT_IS_GOOD(state))
            return fail(pa_context_errno(m_context));
        pa_threaded_mainloop_wait(m_loop);
    }
    pa_sample_spec layout{};
    layout.format = PA_SAMPLE_S16LE;
    layout.rate = kOutputRate;
    layout.channels = kOutputChannels;
    m_stream = pa_stream_new(m_context, "CD playback", &layout, nullptr);
    if (!m_stream)
        return fail(pa_context_errno(m_context));
    pa_stream_set_state_callback(m_stream, wake, m_loop);
    pa_stream_set_write_callback(m_stream, [](pa_stream*, size_t, void* loop) {
        Signal(static_cast<pa_threaded_mainloop*>(loop));
    }, m_loop);
    // Half a second of buffer: volume and position lag by at most that. The
    // server asks for a whole block at a time, so the output thread wakes
    // four times a second and hands the block over in one piece. Timing is
    // asked for once a block, not on the library's own busier schedule.
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = kOutputRate * kFrameBytes / 2;
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = kBlockFrames * kFrameBytes;
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
        return fail(pa_context_errno(m_context));
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(m_stream);
        if (state == PA_STREAM_READY)
            return true;
        if (!PA_STREAM_IS_GOOD(state))
            return fail(pa_context_errno(m_context));
        pa_threaded_mainloop_wait(m_loop);
    }
}

PulseOutput::~PulseOutput()
{
    if (!m_loop)
        return;
    pa_threaded_mainloop_stop(m_loop);
    if (m_stream) {
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    pa_threaded_mainloop_free(m_loop);
}

bool PulseOutput::usable() const
{
    return !m_failed && pa_context_get_state(m_context) == PA_CONTEXT_READY
           && pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

bool PulseOutput::write(const std::int16_t* frames, std::size_t count)
{
    LoopLock lock(m_loop);
    const auto* data = reinterpret_cast<const std::uint8_t*>(frames);
    std::size_t left = count * kFrameBytes;
    const std::uint64_t flushes = m_flushes;
    while (left > 0) {
        if (m_flushes != flushes)
            return true; // dropped with the rest: mixed before a stop

        if (!usable()) {
            m_failed = true; // the server went away
            return false;
        }
        std::size_t room = pa_stream_writable_size(m_stream);
        if (room == static_cast<std::size_t>(-1)) {
            m_failed = true;
            return false;
        }
        if (room == 0) {
            pa_threaded_mainloop_wait(m_loop);
            continue;
        }
        const std::size_t n = std::min(room, left) / kFrameBytes * kFrameBytes;
        if (pa_stream_write(m_stream, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            m_failed = true;
            return false;
        }
        data += n;
        left -= n;
        m_unplayed += n / kFrameBytes;
    }
    if (pa_operation* op = pa_stream_update_timing_info(m_stream, nullptr, nullptr))
        pa_operation_unref(op);
    return true;
}

std::size_t PulseOutput::latencyFrames()
{
    LoopLock lock(m_loop);
    pa_usec_t usec = 0;
    int negative = 0;
    if (!usable())
        return 0;
    // Until the server's first timing answer, nothing written has been heard.
    if (pa_stream_get_latency(m_stream, &usec, &negative) < 0)
        return m_unplayed;
    m_unplayed = 0;
    return negative ? 0 : static_cast<std::size_t>(usec * kOutputRate / 1000000);
}

void PulseOutput::flush()
{
    LoopLock lock(m_loop);
    if (!usable())
        return;
    ++m_flushes;
    m_unplayed = 0;
    if (pa_operation* op = pa_stream_flush(m_stream, nullptr, nullptr))
        pa_operation_unref(op);
    Signal(m_loop); // a write waiting for room gives up its block
}

} // namespace qm::audio
