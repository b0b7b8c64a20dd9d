#include "EngineOutput.h"

#include "output/NullOutput.h"

namespace qm::audio {

int EngineOutput::init()
{
    std::lock_guard lock(m_mutex);
    if (m_output)
        return BASS_ERROR_ALREADY;
    std::string reason;
    auto output = OpenSoundOutput(m_choice, &reason);
    if (!output)
        return BASS_ERROR_DEVICE;
    m_output = std::move(output);
    m_syncs = std::make_unique<SyncDispatcher>();
    m_mixer = std::make_unique<Mixer>(*m_syncs, m_output->maxWritableFrames() + PlayingStream::kStepFrames);
    m_lost = false;
    m_thread = std::make_unique<OutputThread>(*m_output, *m_mixer, [this] { deviceLost(); });
    return 0;
}

bool EngineOutput::initialised() const
{
    std::lock_guard lock(m_mutex);
    return m_output != nullptr;
}

void EngineOutput::deviceLost()
{
    // On the output thread: the server went away. Playing streams stop
    // quietly; later starts fail until the output is opened again.
    std::vector<std::shared_ptr<PlayingStream>> streams;
    {
        std::lock_guard lock(m_mutex);
        m_lost = true;
        streams = m_mixer->streams();
    }
    for (auto& s : streams)
        s->stop();
}

bool EngineOutput::stopAll()
{
    std::vector<std::shared_ptr<PlayingStream>> streams;
    {
        std::lock_guard lock(m_mutex);
        if (!m_output)
            return false;
        streams = m_mixer->streams();
    }
    // Outside the lock: a stop may wait for a read in progress, whose end
    // can call back into the output.
    for (auto& s : streams)
        s->stop();
    stopped();
    return true;
}

void EngineOutput::takeBackEventsLocked(PlayingStream& stream)
{
    // What they announce is not heard now; it is raised again if it is mixed again.
    if (m_syncs)
        for (const auto& event : m_syncs->takeDueAfter(stream.handle(), std::chrono::steady_clock::now()))
            stream.restoreSync(event);
}

void EngineOutput::stopped(PlayingStream* stream)
{
    std::lock_guard lock(m_mutex);
    if (stream) {
        takeBackEventsLocked(*stream);
        if (m_syncs)
            m_syncs->cancel(stream->handle());
    }
    flushIfIdleLocked();
}

void EngineOutput::paused(PlayingStream& stream)
{
    std::lock_guard lock(m_mutex);
    takeBackEventsLocked(stream);
    flushIfIdleLocked();
}

void EngineOutput::moved(PlayingStream& stream)
{
    std::lock_guard lock(m_mutex);
    takeBackEventsLocked(stream);
    if (!m_mixer || !m_thread || m_lost || !stream.mixing())
        return;
    // Sent back from its tail: it plays again (the queue is replaced with it
    // when the seek asked for that; otherwise it follows on).
    if (auto shared = find(stream.handle()))
        m_mixer->add(shared);
    m_thread->wake();
}

bool EngineOutput::othersPlayLocked(const PlayingStream* stream) const
{
    for (const auto& s : m_mixer->streams())
        if (s.get() != stream && s->mixing())
            return true;
    return false;
}

void EngineOutput::flushIfIdleLocked()
{
    if (!m_output || !m_mixer || !m_thread || m_lost)
        return;
    if (othersPlayLocked(nullptr)) {
        // The others play on; what the stopped one had queued is mixed again without it.
        m_thread->requestRewrite();
        return;
    }
    m_output->flush();
    m_thread->wake(); // an idle feeding thread hands the flush over now
}

void EngineOutput::changed()
{
    std::lock_guard lock(m_mutex);
    if (m_thread && !m_lost)
        m_thread->requestRewrite();
}

bool EngineOutput::free()
{
    std::unique_ptr<OutputThread> thread;
    std::unique_ptr<SyncDispatcher> syncs;
    // Destroyed once the lock is let go: it may hold the last reference to a
    // stream, whose reader may be waiting for the lock to report data.
    std::unique_ptr<Mixer> mixer;
    {
        std::lock_guard lock(m_mutex);
        if (!m_output)
            return false;
        thread = std::move(m_thread);
    }
    thread->stop(); // no mixing from here on
    for (auto& [handle, channel] : m_table.snapshot()) {
        if (auto playing = std::dynamic_pointer_cast<PlayingStream>(channel)) {
            release(*playing);
            m_table.remove(handle);
        }
    }
    std::lock_guard lock(m_mutex);
    mixer = std::move(m_mixer);
    syncs = std::move(m_syncs);
    m_output.reset();
    return true;
}

HSTREAM EngineOutput::create(std::shared_ptr<Channel> source, DWORD flags, int& error)
{
    if (!initialised()) {
        error = BASS_ERROR_INIT;
        return 0;
    }
    auto stream = std::make_shared<PlayingStream>(
        std::move(source), flags,
        [this] {
            std::lock_guard lock(m_mutex);
            if (m_thread)
                m_thread->wake();
        },
        [this] { changed(); });
    DWORD handle = m_table.add(stream);
    stream->setHandle(handle);
    return handle;
}

std::shared_ptr<PlayingStream> EngineOutput::find(DWORD handle) const
{
    return std::dynamic_pointer_cast<PlayingStream>(m_table.find(handle));
}

bool EngineOutput::play(PlayingStream& stream, bool restart, int& error)
{
    std::lock_guard lock(m_mutex);
    if (!m_output) {
        error = BASS_ERROR_INIT;
        return false;
    }
    if (m_lost) {
        error = BASS_ERROR_DRIVER;
        return false;
    }
    // Started beside others it is heard at once, not after what they queued;
    // after one that ran to its end it follows on behind its tail.
    const bool beside = othersPlayLocked(&stream);
    stream.joinNow(beside);
    if (!stream.play(restart, error))
        return false;
    if (auto shared = find(stream.handle()))
        m_mixer->add(shared);
    if (beside)
        m_thread->requestRewrite();
    else
        m_thread->wake();
    return true;
}

bool EngineOutput::resume(PlayingStream& stream, int& error)
{
    std::lock_guard lock(m_mutex);
    const bool beside = m_mixer && othersPlayLocked(&stream);
    stream.joinNow(beside);
    if (!stream.resume(error))
        return false;
    // Paused in its tail, it had left the mix.
    if (m_mixer)
        if (auto shared = find(stream.handle()))
            m_mixer->add(shared);
    if (m_thread && beside)
        m_thread->requestRewrite();
    else if (m_thread)
        m_thread->wake();
    return true;
}

void EngineOutput::release(PlayingStream& stream)
{
    const bool wasActive = stream.cutsOff();
    stream.release();
    std::lock_guard lock(m_mutex);
    if (m_mixer)
        m_mixer->remove(&stream);
    if (m_syncs)
        m_syncs->cancel(stream.handle());
    if (wasActive)
        flushIfIdleLocked();
}

NullOutput* EngineOutput::nullOutput() const
{
    std::lock_guard lock(m_mutex);
    return dynamic_cast<NullOutput*>(m_output.get());
}

} // namespace qm::audio
