#pragma once
// A stream that plays through the sound output. An engine thread reads its
// decoding source ahead into a ring; the output thread mixes from the ring,
// applying volume, pan and slides as it goes, and raises the end, slide-end
// and CD-read-error events. What is mixed is never taken back: a change is
// heard once the output's short queue has played.
//
// The position is what has been heard while it plays; paused or stopped, it
// is where it goes on from (the queue plays out up to there).

#include "Channel.h"
#include "output/OutputThread.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qm::audio {

class PlayingStream : public Channel {
public:
    // onData runs on the read-ahead thread when data arrives for an output
    // that found none of this stream's to mix.
    PlayingStream(std::shared_ptr<Channel> source, DWORD flags, const OutputClock& clock,
                  std::function<void()> onData = {});
    ~PlayingStream() override; // ends the read-ahead thread
    void setHandle(DWORD handle) { m_handle = handle; }
    DWORD handle() const { return m_handle; }

    DWORD ctype() const override { return m_source->ctype(); }
    // Its data goes to the output: reading it fails.
    DWORD read(void* buffer, DWORD length, int& error) override;
    QWORD position() const override;
    bool setPosition(QWORD pos, int& error) override;
    QWORD length() const override { return m_source->length(); }
    DWORD state() const override;
    void stop() override;
    bool readErrors(QM_CD_READ_ERRORS& errors) const override { return m_source->readErrors(errors); }
    // The output mixes it (playing, or stalled waiting for its reader).
    bool mixing() const;

    bool play(bool restart, int& error);
    bool pause(int& error);
    bool resume(int& error);
    // kKeepVolume and kKeepPan leave a value unchanged; otherwise 0..100 and -100..100.
    bool setAttributes(int volume, int pan, int& error);
    bool slide(int volume, int pan, DWORD milliseconds, int& error);
    HSYNC setSync(DWORD type, SYNCPROC proc, DWORD user, int& error);
    // Stops for good and forgets its syncs.
    void release();

    // Output thread: adds up to `frames` frames into a 32-bit stereo
    // accumulator, the first heard as output frame `at`: how many it added.
    // Events raised are appended.
    std::size_t mixInto(std::int32_t* acc, std::size_t frames, std::uint64_t at, std::vector<SyncEvent>& events);

    static constexpr std::size_t kRingBytes = 2 * kCdBytesPerSecond; // read ahead
    static constexpr std::size_t kReadChunk = 16 * 2352; // sixteen sectors per read
    static constexpr DWORD kSyncKind = 0x00FFFFFF; // a sync's type without the one-shot bit

private:
    struct Sync {
        HSYNC handle;
        DWORD type;
        SYNCPROC proc;
        DWORD user;
    };
    void readAhead();
    bool playingLocked() const { return m_state == BASS_ACTIVE_PLAYING || m_state == BASS_ACTIVE_STALLED; }
    bool activeLocked() const { return playingLocked() || m_state == BASS_ACTIVE_PAUSED; }
    // The reader fills the ring, then sleeps until half of it was mixed, so
    // it wakes once a second rather than once a block.
    bool roomToReadLocked() const { return m_ring.size() - m_ringFill >= (m_filling ? kReadChunk : m_ring.size() / 2); }
    void raiseLocked(DWORD type, DWORD data, std::uint64_t at, std::vector<SyncEvent>& events);

    const std::shared_ptr<Channel> m_source;
    const OutputClock& m_clock;
    std::function<void()> m_onData;
    DWORD m_handle = 0;
    std::mutex m_sourceMutex; // held while the source reads or seeks; before m_mutex
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    DWORD m_state = BASS_ACTIVE_STOPPED;
    bool m_started = false;
    bool m_quit = false;
    bool m_sourceEnded = false;
    int m_sourceError = 0;

    std::vector<std::uint8_t> m_ring;
    std::size_t m_ringRead = 0, m_ringFill = 0;
    bool m_filling = true;
    QWORD m_consumed = 0; // source position of the next byte to mix
    QWORD m_base = 0;     // where playback last (re)started
    // The output frame after the last it mixed since it (re)started; 0: all
    // it mixed counts as heard.
    std::uint64_t m_mixedTo = 0;

    struct Levels { // as mixed now, also while sliding
        double volume = 1.0, pan = 0.0;
        bool sliding = false, slideVolume = false, slidePan = false;
        double volumeFrom = 0, volumeTo = 0, panFrom = 0, panTo = 0;
        std::uint64_t slideFrames = 0, slideDone = 0;
    } m_mix;

    std::vector<Sync> m_syncs;
    std::thread m_reader;
};

} // namespace qm::audio
