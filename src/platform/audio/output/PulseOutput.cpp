#include "PulseOutput.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>
#include <pulse/rtclock.h>
#include <pulse/timeval.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

namespace qm::audio {

std::unique_ptr<PulseOutput> PulseOutput::Open(const std::string& server, const std::string& sink,
                                              std::string* error)
{
    std::unique_ptr<PulseOutput> out(new PulseOutput);
    if (!out->connect(server, sink, error))
        return nullptr;
    return out;
}

bool PulseOutput::waitFor(bool (*ready)(PulseOutput&))
{
    while (!ready(*this)) {
        if (m_failed || pa_mainloop_iterate(m_loop, 1, nullptr) < 0)
            return false;
    }
    return true;
}

bool PulseOutput::connect(const std::string& server, const std::string& sink, std::string* error)
{
    auto fail = [&](int code) {
        if (error)
            *error = pa_strerror(code);
        return false;
    };
    m_loop = pa_mainloop_new();
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!m_loop || m_wakeFd < 0)
        return fail(PA_ERR_INTERNAL);
    pa_mainloop_api* api = pa_mainloop_get_api(m_loop);
    m_wakeEvent = api->io_new(api, m_wakeFd, PA_IO_EVENT_INPUT, [](pa_mainloop_api*, pa_io_event*, int fd,
                                                                    pa_io_event_flags_t, void* self) {
        std::uint64_t count = 0;
        if (read(fd, &count, sizeof count) < 0) {
            // Nothing to read: another pass already took the request.
        }
        static_cast<PulseOutput*>(self)->applyFlushes();
    }, this);
    m_context = pa_context_new(api, "Quillmere");
    if (!m_wakeEvent || !m_context)
        return fail(PA_ERR_INTERNAL);
    if (pa_context_connect(m_context, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOFLAGS, nullptr) < 0)
        return fail(pa_context_errno(m_context));
    const bool contextReady = waitFor([](PulseOutput& self) {
        const pa_context_state_t state = pa_context_get_state(self.m_context);
        self.m_failed = !PA_CONTEXT_IS_GOOD(state);
        return state == PA_CONTEXT_READY;
    });
    if (!contextReady)
        return fail(pa_context_errno(m_context));

    pa_sample_spec layout{};
    layout.format = PA_SAMPLE_S16LE;
    layout.rate = kOutputRate;
    layout.channels = kOutputChannels;
    m_stream = pa_stream_new(m_context, "CD playback", &layout, nullptr);
    if (!m_stream)
        return fail(pa_context_errno(m_context));
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = kQueueFrames * kFrameBytes;
    attr.prebuf = kStartFrames * kFrameBytes;
    attr.minreq = kRequestFrames * kFrameBytes;
    attr.fragsize = static_cast<std::uint32_t>(-1);
    // No latency adjustment: the sink holds what tlength leaves over two
    // requests, instead of as little as it can (which had the server waking
    // two thousand times a second on the null sink).
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_START_CORKED);
    if (pa_stream_connect_playback(m_stream, sink.empty() ? nullptr : sink.c_str(), &attr, flags, nullptr, nullptr) < 0)
        return fail(pa_context_errno(m_context));
    const bool streamReady = waitFor([](PulseOutput& self) {
        const pa_stream_state_t state = pa_stream_get_state(self.m_stream);
        self.m_failed = !PA_STREAM_IS_GOOD(state);
        return state == PA_STREAM_READY;
    });
    if (!streamReady)
        return fail(pa_context_errno(m_context));
    return true;
}

PulseOutput::~PulseOutput()
{
    if (m_retry)
        pa_mainloop_get_api(m_loop)->time_free(m_retry);
    if (m_stream) {
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_wakeEvent) {
        pa_mainloop_api* api = pa_mainloop_get_api(m_loop);
        api->io_free(m_wakeEvent);
    }
    if (m_loop)
        pa_mainloop_free(m_loop);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

bool PulseOutput::usable() const
{
    return !m_failed && pa_context_get_state(m_context) == PA_CONTEXT_READY
           && pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

bool PulseOutput::finish(pa_operation* op)
{
    if (!op) {
        m_failed = true;
        return false;
    }
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        if (!usable() || pa_mainloop_iterate(m_loop, 1, nullptr) < 0) {
            m_failed = true;
            break;
        }
    }
    pa_operation_unref(op);
    return !m_failed;
}

bool PulseOutput::cork(bool on)
{
    if (m_corked == on)
        return true;
    m_corked = on;
    pa_operation* op = pa_stream_cork(m_stream, on ? 1 : 0, nullptr, nullptr);
    m_retries = 0;
    if (on) {
        if (op)
            pa_operation_unref(op);
        return true;
    }
    return finish(op);
}

void PulseOutput::forgetTiming()
{
    m_unplayed = 0;
    m_based = false;
    m_drainedSince = -1;
    if (const pa_timing_info* t = pa_stream_get_timing_info(m_stream))
        m_staleAnswer = t->timestamp;
}

void PulseOutput::applyFlushes()
{
    const std::uint64_t asked = m_flushesAsked;
    if (asked == m_flushesDone)
        return;
    m_flushesDone = asked;
    if (!usable())
        return;
    forgetTiming();
    // The cork takes back what the sink holds, into the queue the flush drops.
    cork(true);
    if (pa_operation* op = pa_stream_flush(m_stream, nullptr, nullptr))
        pa_operation_unref(op);
}

void PulseOutput::idle()
{
    if (m_corked || !usable() || latencyFrames() > 0 || m_drainedSince < 0)
        return;
    // Everything was heard a while ago (the estimate may run a little ahead
    // of the sound, and a cork drops what the sink still holds).
    if (pa_rtclock_now() - pa_usec_t(m_drainedSince) >= 250 * PA_USEC_PER_MSEC)
        cork(true);
}

bool PulseOutput::write(const std::int16_t* frames, std::size_t count)
{
    // A flush asked for while this block was mixed drops it: it was mixed
    // before a stop or pause. Earlier ones were applied before the mix.
    const std::uint64_t flushes = m_flushesDone;
    applyFlushes();
    const auto* data = reinterpret_cast<const std::uint8_t*>(frames);
    std::size_t left = count * kFrameBytes;
    while (left > 0) {
        if (m_flushesDone != flushes)
            return true;
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
            if (pa_mainloop_iterate(m_loop, 1, nullptr) < 0) {
                m_failed = true;
                return false;
            }
            continue;
        }
        const std::size_t n = std::min(room, left) / kFrameBytes * kFrameBytes;
        if (pa_stream_write(m_stream, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            m_failed = true;
            return false;
        }
        if (m_unplayed == 0 && !m_based)
            m_startedAt = pa_rtclock_now(); // after a cork or the stream ran dry: sound starts again
        data += n;
        left -= n;
        m_unplayed += n / kFrameBytes;
        m_drainedSince = -1;
    }
    if (!cork(false)) // a start: the sink begins with this block
        return false;
    return sent();
}

bool PulseOutput::sent()
{
    // Timing is asked for once a write, not on the library's busier schedule.
    askTiming();
    service(); // sends what was written now, not at the next wait
    return true;
}

void PulseOutput::askTiming()
{
    if (m_timingAsked)
        return;
    const auto answered = [](pa_stream*, int ok, void* self) { static_cast<PulseOutput*>(self)->timingAnswered(ok); };
    if (pa_operation* op = pa_stream_update_timing_info(m_stream, answered, this)) {
        m_timingAsked = true;
        pa_operation_unref(op);
    }
}

void PulseOutput::timingAnswered(int ok)
{
    m_timingAsked = false;
    const pa_timing_info* t = pa_stream_get_timing_info(m_stream);
    if (!ok || !t || t->playing || m_corked || m_based || m_unplayed == 0 || m_retry || m_retries >= 50)
        return;
    // Started, but the sink has not taken the first block yet (it may answer
    // before it does): until it has, nothing says what is heard. A server
    // that never says it plays is asked for a second, then left alone.
    ++m_retries;
    const auto again = [](pa_mainloop_api* api, pa_time_event* e, const timeval*, void* self) {
        auto* out = static_cast<PulseOutput*>(self);
        api->time_free(e);
        out->m_retry = nullptr;
        out->askTiming();
    };
    m_retry = pa_context_rttime_new(m_context, pa_rtclock_now() + 20 * PA_USEC_PER_MSEC, again, this);
}

bool PulseOutput::rewrite(const std::int16_t* frames, std::size_t count, std::size_t replaced)
{
    // After a flush nothing of what it would replace is queued any more.
    const std::uint64_t flushes = m_flushesDone;
    applyFlushes();
    if (m_flushesDone != flushes || count == 0)
        return true;
    if (!usable()) {
        m_failed = true;
        return false;
    }
    const auto back = -static_cast<std::int64_t>(replaced * kFrameBytes);
    if (pa_stream_write(m_stream, frames, count * kFrameBytes, nullptr, back, PA_SEEK_RELATIVE) < 0) {
        m_failed = true;
        return false;
    }
    m_unplayed = m_unplayed - std::min(m_unplayed, replaced) + count;
    return sent();
}

bool PulseOutput::refreshLatency()
{
    // The library carries its last timing answer forward, and that drifts
    // while nothing is written (a track's tail playing out): a rewrite placed
    // by it could land on sound already heard.
    if (m_failed || !usable())
        return false;
    return finish(pa_stream_update_timing_info(m_stream, nullptr, nullptr));
}

std::size_t PulseOutput::writableFrames()
{
    if (!usable())
        return 0;
    const std::size_t room = pa_stream_writable_size(m_stream);
    return room == static_cast<std::size_t>(-1) ? 0 : room / kFrameBytes;
}

bool PulseOutput::waitWritable(bool briefly)
{
    applyFlushes();
    const int timeout = briefly ? 10000 : -1; // microseconds
    if (m_failed || !usable() || pa_mainloop_prepare(m_loop, timeout) < 0 || pa_mainloop_poll(m_loop) < 0
        || pa_mainloop_dispatch(m_loop) < 0) {
        m_failed = true;
        return false;
    }
    return usable();
}

void PulseOutput::interrupt()
{
    const std::uint64_t one = 1;
    if (::write(m_wakeFd, &one, sizeof one) < 0) {
        // The counter is full: a wake-up is pending anyway.
    }
}

void PulseOutput::service()
{
    // A few passes: each may queue work for the next (a reply, a send).
    for (int pass = 0; pass < 4 && pa_mainloop_iterate(m_loop, 0, nullptr) > 0; ++pass) {
    }
}

std::size_t PulseOutput::latencyFrames()
{
    if (!usable())
        return 0;
    // Worked out from the server's last answer while it played, moved on by
    // the time since. (The library's own estimate holds on to older answers
    // after a flush or after the stream ran dry, by most of a second.)
    const pa_timing_info* t = pa_stream_get_timing_info(m_stream);
    const bool answered = t && !t->write_index_corrupt && !t->read_index_corrupt;
    const bool fresh = answered && (t->timestamp.tv_sec != m_staleAnswer.tv_sec
                                    || t->timestamp.tv_usec != m_staleAnswer.tv_usec);
    if (fresh && t->playing) {
        m_heardBase = t->read_index / kFrameBytes - std::int64_t(t->sink_usec) * kOutputRate / 1000000;
        m_baseTime = t->timestamp;
        m_based = true;
    }
    std::int64_t queued = 0;
    if (answered && m_based) {
        // Run dry, the sink plays out what it holds after the stream stopped
        // feeding it, so that is counted in time, not from its later answers.
        const std::int64_t heard = m_heardBase + std::int64_t(pa_timeval_age(&m_baseTime)) * kOutputRate / 1000000;
        queued = t->write_index / kFrameBytes - heard;
    } else if (m_unplayed > 0) {
        // Started, and no answer since says where: heard from the start on,
        // as the positions of what was mixed first assume.
        queued = std::int64_t(m_unplayed)
                 - std::int64_t(pa_rtclock_now() - m_startedAt) * kOutputRate / std::int64_t(PA_USEC_PER_SEC);
    }
    if (queued > 0)
        return std::size_t(queued);
    if (m_drainedSince < 0 && (m_based || m_unplayed > 0)) {
        forgetTiming();
        m_drainedSince = std::int64_t(pa_rtclock_now());
    }
    return 0;
}

void PulseOutput::flush()
{
    ++m_flushesAsked;
    interrupt();
}

} // namespace qm::audio
