#pragma once
// A channel of the engine: anything that delivers 16-bit PCM and has a
// position, a length and an activity state. Decoding CD streams are one kind;
// playing streams and file streams derive from the same base. Every method
// may be called from any thread; implementations lock what they touch.

#include "platform/audio/AudioLibrary.h"

#include <atomic>

namespace qm::audio {

// BASS_CHANNELINFO::ctype of a CD stream.
constexpr DWORD kCtypeStreamCd = 0x10200;

class Channel {
public:
    explicit Channel(DWORD flags) : m_flags(flags) {}
    virtual ~Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    DWORD flags() const { return m_flags; }
    bool isDecoding() const { return (m_flags & BASS_STREAM_DECODE) != 0; }
    bool autoFree() const { return (m_flags & BASS_STREAM_AUTOFREE) != 0; }

    virtual DWORD ctype() const = 0;
    virtual DWORD frequency() const { return kCdRate; }
    virtual DWORD channelCount() const { return 2; }
    DWORD bytesPerSecond() const { return frequency() * channelCount() * 2; }

    // Up to `length` bytes of PCM: the count delivered (0 at the end), or
    // BASS_DATA_ERROR with `error` set. A failed read stops the channel.
    virtual DWORD read(void* buffer, DWORD length, int& error) = 0;
    virtual QWORD position() const = 0;
    // Moves to `pos` (rounded down to a whole frame); false with `error` set.
    virtual bool setPosition(QWORD pos, int& error) = 0;
    virtual QWORD length() const = 0;
    virtual DWORD state() const = 0; // BASS_ACTIVE_*
    virtual void stop() = 0;
    // A CD stream: what its reads ran into so far, without waiting for a
    // read in progress. False for other channels.
    virtual bool readErrors(QM_CD_READ_ERRORS& errors) const
    {
        (void)errors;
        return false;
    }

    // An auto-free channel that has ended; the table may drop it.
    bool finished() const { return autoFree() && state() == BASS_ACTIVE_STOPPED; }

    // Frequency, volume (0-100) and pan (-100..100) attributes.
    DWORD attributeFrequency() const { return m_attrFreq.load(); }
    DWORD volume() const { return m_volume.load(); }
    int pan() const { return m_pan.load(); }
    void setFrequency(DWORD freq) { m_attrFreq = freq; }
    void setVolume(DWORD volume) { m_volume = volume; }
    void setPan(int pan) { m_pan = pan; }

private:
    const DWORD m_flags;
    std::atomic<DWORD> m_attrFreq{kCdRate};
    std::atomic<DWORD> m_volume{100};
    std::atomic<int> m_pan{0};
};

} // namespace qm::audio
