#include "EngineOutput.h"

#include "output/NullOutput.h"

namespace qm::audio {

int EngineOutput::init()
{
    std::lock_guard lock(m_mutex);
    if (m_output)
        return BASS_ERROR_ALREADY;
    std::string reason;
    auto output = OpenSoundOutput(&reason);
    if (!output)
        return BASS_ERROR_DEVICE;
    m_output = std::move(output);
    m_syncs = std::make_unique<SyncDispatcher>();
    m_mixer = std::make_unique<Mixer>(*m_output, *m_syncs);
    m_lost = false;
    m_thread = std::make_unique<OutputThread>(
        *m_output, [mixer = m_mixer.get()](std::int16_t* out, std::size_t frames) { return mixer->mix(out, frames); },
        [this] { deviceLost(); });
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

void EngineOutput::stopped()
{
    std::lock_guard lock(m_mutex);
    flushIfIdleLocked();
}

void EngineOutput::flushIfIdleLocked()
{
    if (!m_output || !m_mixer || m_lost)
        return;
    for (const auto& s : m_mixer->streams()) {
        const DWORD state = s->state();
        if (state == BASS_ACTIVE_PLAYING || state == BASS_ACTIVE_STALLED)
            return;
    }
    m_output->flush();
    if (m_thread)
        m_thread->wake(); // an idle feeding thread hands the flush over now
}

bool EngineOutput::free()
{
    std::unique_ptr<OutputThread> thread;
    std::unique_ptr<SyncDispatcher> syncs;
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
    m_mixer.reset();
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
    auto stream = std::make_shared<PlayingStream>(std::move(source), flags, [this] {
        std::lock_guard lock(m_mutex);
        if (m_thread)
            m_thread->wake();
    });
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
    if (!stream.play(restart, error))
        return false;
    if (auto shared = find(stream.handle()))
        m_mixer->add(shared);
    m_thread->wake();
    return true;
}

bool EngineOutput::resume(PlayingStream& stream, int& error)
{
    if (!stream.resume(error))
        return false;
    std::lock_guard lock(m_mutex);
    if (m_thread)
        m_thread->wake();
    return true;
}

void EngineOutput::release(PlayingStream& stream)
{
    const bool wasActive = stream.state() != BASS_ACTIVE_STOPPED;
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
