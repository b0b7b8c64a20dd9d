#include "ChannelEncoders.h"

#include <vector>

namespace qm::audio {

namespace {

QM_ENCODE_STATUS Report(EncoderProcess& process)
{
    const EncoderProcess::Status s = process.status();
    QM_ENCODE_STATUS out{s.started, s.finished, s.exitCode, s.signal};
    out.queued = static_cast<DWORD>(s.queued);
    if (!s.finished)
        return out; // asked after every block: its words matter only once it has ended
    // The last line it wrote to its stderr, which usually says why it failed.
    std::string said = process.errorOutput();
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' '))
        said.pop_back();
    const auto start = said.find_last_of("\r\n");
    out.lastLine = start == std::string::npos ? said : said.substr(start + 1);
    return out;
}

} // namespace

ChannelEncoders::~ChannelEncoders()
{
    stopAll();
}

HENCODE ChannelEncoders::start(DWORD channel, const std::string& commandLine, const std::string& resourceFolder,
                               std::uint32_t dataBytes, int& error)
{
    if (live(channel)) {
        error = BASS_ERROR_ALREADY;
        return 0;
    }
    auto running = std::make_shared<Running>();
    running->process = EncoderProcess::Start(commandLine, resourceFolder, &error);
    if (!running->process)
        return 0;
    const auto header = WavHeader(dataBytes);
    running->process->write(header.data(), header.size()); // an early death shows in the status
    std::lock_guard lock(m_mutex);
    m_ended.erase(channel);
    m_running[channel] = std::move(running);
    return channel;
}

std::shared_ptr<ChannelEncoders::Running> ChannelEncoders::live(DWORD channel) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_running.find(channel);
    return it == m_running.end() ? nullptr : it->second;
}

void ChannelEncoders::feed(DWORD channel, const void* data, std::size_t bytes)
{
    if (bytes == 0)
        return;
    if (auto running = live(channel)) {
        std::lock_guard io(running->io);
        if (running->process->alive())
            running->process->write(data, bytes);
    }
}

bool ChannelEncoders::flush(DWORD channel, DWORD ms, bool& empty)
{
    const auto running = live(channel);
    if (!running)
        return false;
    std::lock_guard io(running->io);
    empty = running->process->flush(std::chrono::milliseconds(ms));
    return true;
}

bool ChannelEncoders::endInput(DWORD channel, bool dropQueued)
{
    const auto running = live(channel);
    if (!running)
        return false;
    std::lock_guard io(running->io);
    running->process->endInput(dropQueued);
    return true;
}

bool ChannelEncoders::kill(DWORD channel)
{
    const auto running = live(channel);
    if (!running)
        return false;
    std::lock_guard io(running->io);
    running->process->kill();
    return true;
}

bool ChannelEncoders::stop(DWORD channel)
{
    std::shared_ptr<Running> running;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_running.find(channel);
        if (it == m_running.end())
            return false;
        running = std::move(it->second);
        m_running.erase(it);
    }
    std::lock_guard io(running->io);
    running->process->finish(); // outside the table's lock: the encoder may take a while
    const QM_ENCODE_STATUS ended = Report(*running->process);
    std::lock_guard lock(m_mutex);
    m_ended[channel] = ended;
    return true;
}

bool ChannelEncoders::status(DWORD channel, QM_ENCODE_STATUS& out) const
{
    if (auto running = live(channel)) {
        std::lock_guard io(running->io);
        out = Report(*running->process);
        return true;
    }
    std::lock_guard lock(m_mutex);
    const auto it = m_ended.find(channel);
    if (it == m_ended.end())
        return false;
    out = it->second;
    return true;
}

void ChannelEncoders::stopAll()
{
    std::vector<DWORD> channels;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [channel, process] : m_running)
            channels.push_back(channel);
    }
    for (DWORD channel : channels)
        stop(channel);
}

} // namespace qm::audio
