#pragma once
// A stream that plays through the sound output. An engine thread reads its
// decoding source ahead into a ring; the output thread mixes from the ring,
// applying volume, pan and slides, and raises the end, slide-end and
// CD-read-error events, each due when it is heard. Position is what has been
// heard.
//
// What was mixed stays in the ring for a while, and the output thread can
// take a stream back to a mark it took before a block, so audio queued in
// the device but not yet heard can be mixed again after a change.

#include "Channel.h"
#include "output/SyncDispatcher.h"

#include <chrono>
#include <condition_variable>
#include <deque>
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
    // onChange runs (on the caller's thread) when what is queued for the
    // device no longer sounds as it should: attributes, a slide or a seek.
    PlayingStream(std::shared_ptr<Channel> source, DWORD flags, std::function<void()> onData = {},
                  std::function<void()> onChange = {});
    ~PlayingStream() override; // ends the read-ahead thread
    void setHandle(DWORD handle) { m_handle = handle; }
    DWORD handle() const { return m_handle; }

    DWORD ctype() const override { return m_source->ctype(); }
    // Its data goes to the output: reading it fails.
    DWORD read(void* buffer, DWORD length, int& error) override;
    QWORD position() const override;
    bool setPosition(QWORD pos, int& error) override;
    QWORD length() const override { return m_source->length(); }
    // One that ran to its end counts as playing until its end is announced.
    DWORD state() const override;
    void stop() override;
    bool readErrors(QM_CD_READ_ERRORS& errors) const override { return m_source->readErrors(errors); }
    // Stopping it now would cut off sound not heard yet: it plays, or its
    // tail is still ahead of the announcement of its end.
    bool cutsOff() const;
    // The output still mixes it.
    bool mixing() const;

    bool play(bool restart, int& error);
    bool pause(int& error);
    bool resume(int& error);
    // kKeepVolume and kKeepPan leave a value unchanged; otherwise 0..100 and -100..100.
    bool setAttributes(int volume, int pan, int& error);
    bool slide(int volume, int pan, DWORD milliseconds, int& error);
    HSYNC setSync(DWORD type, SYNCPROC proc, DWORD user, int& error);
    // Stops for good and forgets its syncs: nothing fires after this.
    void release();

    // Output thread: adds the next frames into a 32-bit stereo accumulator;
    // false when it added none. `latencyFrames` are queued ahead of them.
    // Events raised are appended.
    bool mixInto(std::int32_t* acc, std::size_t frames, std::size_t latencyFrames,
                 std::vector<SyncDispatcher::Event>& events);
    // Frames it can mix now without waiting for its reader; SIZE_MAX when it
    // sets no limit (not playing, at its end, or waiting for data anyway).
    std::size_t mixableFrames() const;
    // Not playing, at its end, or with this many frames read: the queue can
    // be taken back without a hole in its part.
    bool ready(std::size_t frames) const;

    // Everything a block's mix changes, taken before the block.
    struct Attributes {
        double volume = 1.0, pan = 0.0; // the live values, also while sliding
        bool sliding = false, slideVolume = false, slidePan = false;
        double volumeFrom = 0, volumeTo = 0, panFrom = 0, panTo = 0;
        std::uint64_t slideFrames = 0, slideDone = 0;
        std::uint64_t volumeSeq = 0, panSeq = 0, slideSeq = 0; // requests applied
    };
    struct Mark {
        std::uint64_t generation = 0;
        QWORD consumed = 0;
        DWORD state = BASS_ACTIVE_STOPPED;
        Attributes mix;
    };
    Mark mark() const;
    bool canRestore(const Mark& mark) const;
    // Back to a mark, its first `delay` frames silent; false (and left as it
    // is) when a stop, pause or seek since then makes the mark meaningless.
    bool restore(const Mark& mark, std::size_t delay);
    // Puts back a one-shot sync whose event was taken back before it ran.
    void restoreSync(const SyncDispatcher::Event& event);
    // Started while others play: it starts where the queue is next replaced.
    void joinNow(bool now);

    static constexpr std::size_t kStepFrames = 4096; // the unit of mixing and of taking back
    static constexpr std::size_t kAheadBytes = 2 * kCdBytesPerSecond;   // read ahead
    static constexpr std::size_t kHistoryBytes = 4 * kCdBytesPerSecond; // kept after mixing
    static constexpr std::size_t kRingBytes = kAheadBytes + kHistoryBytes;
    static constexpr std::size_t kReadChunk = 16 * 2352; // sixteen sectors per read
    static constexpr DWORD kSyncKind = 0x00FFFFFF; // a sync's type without the one-shot bit
    // The end is announced this long before it is heard, so the next stream
    // can be queued behind it without a gap.
    static constexpr auto kEndLead = std::chrono::milliseconds(500);

private:
    void rewindToHeard();
    std::size_t unheardLocked() const;
    QWORD heardLocked() const; // source position of what is heard now
    bool playingLocked() const { return m_state == BASS_ACTIVE_PLAYING || m_state == BASS_ACTIVE_STALLED; }
    bool drainingLocked() const; // its tail plays and its end is not announced yet
    // Room for another read in the ring, past what is kept after mixing.
    bool roomToReadLocked() const { return m_ring.size() - m_ringFill - m_history >= kReadChunk; }
    bool restorableLocked(const Mark& mark) const;
    // The attributes as they stood when the frame at source byte `heard` was mixed.
    Attributes attributesAtLocked(QWORD heard) const;
    void mixOnFromLocked(QWORD heard); // the mix goes on with the attributes heard there
    void applyRequests();
    std::function<void()> m_onData;
    std::function<void()> m_onChange;
    struct Sync {
        HSYNC handle;
        DWORD type;
        SYNCPROC proc;
        DWORD user;
    };
    void readAhead();
    void raise(DWORD type, DWORD data, std::size_t heardIn, std::vector<SyncDispatcher::Event>& events);
    bool activeLocked() const;

    const std::shared_ptr<Channel> m_source;
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
    std::size_t m_history = 0; // mixed bytes kept before m_ringRead
    std::uint64_t m_generation = 0; // changes with every stop, pause and seek
    std::size_t m_delay = 0;        // frames to leave silent before mixing on
    bool m_joinNow = false;
    bool m_released = false;
    bool m_draining = false; // ran to its end in the mix
    std::chrono::steady_clock::time_point m_endDue; // when its end is announced
    QWORD m_consumed = 0; // source position of the next byte to mix
    QWORD m_base = 0;     // where playback last (re)started
    std::size_t m_latencyBytes = 0; // mixed but not yet heard, as of m_latencyAt
    std::chrono::steady_clock::time_point m_latencyAt;

    Attributes m_mix; // as the output thread mixes
    struct Mixed {
        QWORD consumed; // where a block started
        Attributes mix; // as it started
    };
    std::deque<Mixed> m_mixedAt; // the blocks whose data the ring still holds
    struct Requests {  // as asked for, applied by the next mix
        double volume = 1.0, pan = 0.0;
        bool slideVolume = false, slidePan = false;
        double volumeTo = 0, panTo = 0;
        std::uint64_t slideFrames = 0;
        std::uint64_t volumeSeq = 0, panSeq = 0, slideSeq = 0;
    } m_asked;

    std::vector<Sync> m_syncs;
    std::thread m_reader;
};

} // namespace qm::audio
