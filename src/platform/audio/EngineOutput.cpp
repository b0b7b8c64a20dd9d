#include "EngineOutput.h"

#include "output/NullOutput.h"
#include "output/PulseOutput.h"

#include <algorithm>

namespace qm::audio {

namespace {

// How much faster than real time "null:fast" plays.
constexpr double kFastNullSpeed = 20.0;

std::unique_ptr<SoundOutput> OpenSoundOutput(const OutputChoice& choice)
{
    if (choice.kind == "null" || choice.kind == "null:fast")
        return std::make_unique<NullOutput>(choice.kind == "null" ? 1.0 : kFastNullSpeed);
    if (!choice.kind.empty() && choice.kind != "pulse")
        return nullptr; // unknown
    return PulseOutput::Open(choice.pulseServer, choice.pulseSink);
}

} // namespace

int EngineOutput::init()
{
    // An output whose server went away is let go, so that opening it again
    // finds the server when it is back.
    bool lost = false;
    {
        std::lock_guard lock(m_mutex);
        lost = m_output && m_thread->lost();
    }
    if (lost)
        free();
    std::lock_guard lock(m_mutex);
    if (m_output)
        return BASS_ERROR_ALREADY;
    auto output = OpenSoundOutput(m_choice);
    if (!output)
        return BASS_ERROR_DEVICE;
    m_output = std::move(output);
    // The server went away: playing streams stop quietly, and later starts
    // fail until the output is opened again (init, which then reconnects).
    m_thread = std::make_unique<OutputThread>(*m_output, *this, [this] {
        for (auto& s : mixed())
            s->stop();
    });
    return 0;
}

bool EngineOutput::initialised() const
{
    std::lock_guard lock(m_mutex);
    return m_output != nullptr;
}

bool EngineOutput::stopAll()
{
    if (!initialised())
        return false;
    for (auto& [handle, channel] : m_table.snapshot()) { // paused ones too
        if (auto playing = std::dynamic_pointer_cast<PlayingStream>(channel)) {
            playing->stop();
            stopped(*playing);
        }
    }
    return true;
}

bool EngineOutput::free()
{
    std::unique_ptr<OutputThread> thread;
    // Let go of outside the locks: the last reference to a stream, whose
    // reader may be waiting to report data.
    std::vector<std::shared_ptr<PlayingStream>> streams;
    {
        std::lock_guard lock(m_mutex);
        if (!m_output)
            return false;
        thread = std::move(m_thread);
    }
    thread->stop(); // no mixing and no procedures from here on
    for (auto& [handle, channel] : m_table.snapshot()) {
        if (auto playing = std::dynamic_pointer_cast<PlayingStream>(channel)) {
            playing->release();
            m_table.remove(handle);
        }
    }
    {
        std::lock_guard lock(m_mixMutex);
        streams.swap(m_mixed);
    }
    std::lock_guard lock(m_mutex);
    m_output.reset();
    return true;
}

HSTREAM EngineOutput::create(std::shared_ptr<Channel> source, DWORD flags, int& error)
{
    std::lock_guard lock(m_mutex);
    if (!m_output) {
        error = BASS_ERROR_INIT;
        return 0;
    }
    // The clock is used only while the stream is in the mix, which ends before the thread does.
    auto stream = std::make_shared<PlayingStream>(std::move(source), flags, m_thread->clock(), [this] {
        std::lock_guard lock(m_mutex);
        if (m_thread)
            m_thread->wake();
    });
    const DWORD handle = m_table.add(stream);
    stream->setHandle(handle);
    return handle;
}

bool EngineOutput::start(PlayingStream& stream)
{
    if (auto shared = std::dynamic_pointer_cast<PlayingStream>(m_table.find(stream.handle()))) {
        std::lock_guard lock(m_mixMutex);
        if (std::find(m_mixed.begin(), m_mixed.end(), shared) == m_mixed.end())
            m_mixed.push_back(std::move(shared));
    }
    m_thread->wake();
    return true;
}

std::vector<std::shared_ptr<PlayingStream>> EngineOutput::mixed() const
{
    std::lock_guard lock(m_mixMutex);
    return m_mixed;
}

void EngineOutput::forget(const PlayingStream* stream)
{
    std::lock_guard lock(m_mixMutex);
    std::erase_if(m_mixed, [stream](const auto& s) { return s.get() == stream; });
}

std::size_t EngineOutput::mix(std::int16_t* out, std::size_t maxFrames, std::uint64_t at, std::vector<SyncEvent>& events)
{
    // Mixed without holding the list, so play and free never wait on a block.
    const std::vector<std::shared_ptr<PlayingStream>> streams = mixed();
    if (streams.empty() || maxFrames == 0)
        return 0;
    m_acc.assign(maxFrames * kOutputChannels, 0);
    // A stream that ends (or waits for its reader) within the block shortens
    // it, so what starts next follows on without a gap.
    std::size_t done = 0;
    for (const auto& s : streams)
        done = std::max(done, s->mixInto(m_acc.data(), maxFrames, at, events));
    for (const auto& s : streams)
        if (!s->mixing())
            forget(s.get());
    for (std::size_t i = 0; i < done * kOutputChannels; ++i)
        out[i] = std::int16_t(std::clamp(m_acc[i], -32768, 32767));
    return done;
}

bool EngineOutput::play(PlayingStream& stream, bool restart, int& error)
{
    std::lock_guard lock(m_mutex);
    if (!m_output || m_thread->lost()) {
        error = m_output ? BASS_ERROR_DRIVER : BASS_ERROR_INIT;
        return false;
    }
    return stream.play(restart, error) && start(stream);
}

bool EngineOutput::resume(PlayingStream& stream, int& error)
{
    std::lock_guard lock(m_mutex);
    if (!m_output || m_thread->lost()) {
        error = m_output ? BASS_ERROR_DRIVER : BASS_ERROR_INIT;
        return false;
    }
    return stream.resume(error) && start(stream);
}

void EngineOutput::stopped(PlayingStream& stream)
{
    OutputThread* thread;
    {
        std::lock_guard lock(m_mutex);
        thread = m_thread.get();
    }
    // Outside the lock: a procedure running now may call into the engine.
    if (thread)
        thread->cancel(stream.handle());
}

void EngineOutput::release(PlayingStream& stream)
{
    stream.release();
    forget(&stream);
    stopped(stream);
}

void EngineOutput::moved(PlayingStream& stream)
{
    std::lock_guard lock(m_mutex);
    if (m_thread && stream.mixing())
        m_thread->wake(); // its reader starts again at the new place
}

NullOutput* EngineOutput::nullOutput() const
{
    std::lock_guard lock(m_mutex);
    return dynamic_cast<NullOutput*>(m_output.get());
}

} // namespace qm::audio
