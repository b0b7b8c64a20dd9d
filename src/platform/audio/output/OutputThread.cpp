#include "OutputThread.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace qm::audio {

// A mix procedure that fills whole blocks.
class OutputThread::ProcSource : public Source {
public:
    explicit ProcSource(MixProc mix) : m_mix(std::move(mix)) {}
    std::size_t mix(std::int16_t* out, std::size_t maxFrames, std::size_t) override
    {
        return m_mix(out, maxFrames) ? maxFrames : 0;
    }

private:
    MixProc m_mix;
};

OutputThread::OutputThread(SoundOutput& output, Source& source, std::function<void()> onLost)
    : m_output(output), m_source(source), m_onLost(std::move(onLost))
{
    m_thread = std::thread([this] { run(); });
}

OutputThread::OutputThread(SoundOutput& output, MixProc mix, std::function<void()> onLost)
    : m_output(output), m_ownSource(std::make_unique<ProcSource>(std::move(mix))), m_source(*m_ownSource),
      m_onLost(std::move(onLost))
{
    m_thread = std::thread([this] { run(); });
}

OutputThread::~OutputThread()
{
    stop();
}

void OutputThread::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
        m_cv.notify_one();
    }
    m_output.interrupt(); // also a thread waiting for room in the device
}

void OutputThread::requestRewrite()
{
    m_rewrite = true;
    wake();
}

void OutputThread::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_cv.notify_one();
    }
    // Once joined the output may be gone: it is not touched again.
    if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id())
        return;
    m_output.interrupt();
    m_thread.join();
}

std::optional<bool> OutputThread::replaceQueued(std::vector<std::int16_t>& block)
{
    // What the device plays next is left alone; the rest is mixed again.
    const std::uint64_t flushes = m_output.flushesDone();
    if (!m_output.refreshLatency())
        return false;
    if (m_output.flushesDone() != flushes)
        return true; // nothing queued any more: nothing to replace
    const std::size_t queued = m_output.latencyFrames();
    const std::size_t guard = m_output.rewriteGuardFrames();
    if (guard == 0 || queued <= guard)
        return true;
    const std::optional<std::size_t> back = m_source.rewind(std::min(queued - guard, block.size() / kOutputChannels));
    if (!back)
        return std::nullopt;
    if (*back == 0)
        return true;
    const std::size_t frames = m_source.mix(block.data(), *back, queued - *back);
    // Where nothing plays any more, silence replaces what was queued: the
    // device keeps what lies beyond a shorter write, and would play it.
    std::fill(block.begin() + std::ptrdiff_t(frames * kOutputChannels),
              block.begin() + std::ptrdiff_t(*back * kOutputChannels), std::int16_t(0));
    return m_output.rewrite(block.data(), *back, *back);
}

void OutputThread::run()
{
    std::vector<std::int16_t> block(m_output.maxWritableFrames() * kOutputChannels);
    const std::size_t least = std::min<std::size_t>(m_output.blockFrames(), 4096);
    std::uint64_t flushes = m_output.flushesDone();
    bool rewrite = false;
    // Woken from idle: the device's last timing answer may be from before it
    // ran dry or was flushed, so it is asked afresh before the first block,
    // whose queue places the new sound (and its position) in time.
    bool stale = false;
    auto lose = [this] {
        m_lost = true;
        if (m_onLost)
            m_onLost();
    };
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
            m_woken = false;
        }
        m_output.service();
        if (m_output.flushesDone() != flushes) {
            flushes = m_output.flushesDone();
            m_source.forget();
        }
        if (m_rewrite.exchange(false) || rewrite) {
            const std::optional<bool> done = replaceQueued(block);
            if (done && !*done)
                return lose();
            rewrite = !done; // again once the streams have read enough
        }
        const std::size_t room = std::min(m_output.writableFrames(), m_output.maxWritableFrames());
        if (room < least) {
            if (!m_output.waitWritable(rewrite))
                return lose();
            continue;
        }
        if (stale) {
            if (!m_output.refreshLatency())
                return lose();
            stale = false;
        }
        const std::size_t frames = m_source.mix(block.data(), room, m_output.latencyFrames());
        if (frames > 0) {
            if (!m_output.write(block.data(), frames))
                return lose();
            continue;
        }
        // Idle: sleep until something starts (a start, a stream's data, a
        // flush or a stop all wake us), servicing the device now and then.
        // A replacement waiting for streams to read back is retried soon.
        m_output.idle();
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(rewrite ? 20 : 500), [this] { return m_stop || m_woken; });
        stale = m_woken;
    }
}

} // namespace qm::audio
