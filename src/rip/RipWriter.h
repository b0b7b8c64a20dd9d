#pragma once
// One output format's side of ripping a track. The rip job runs the one loop
// every format shares (stream, door, window, blocks, stop flag, clean-up) and
// asks the writer at each step; where formats differ, the writer says so.

#include "RipResult.h"
#include "platform/audio/AudioLibrary.h"

#include <QString>

namespace qm {

// Why a track failed, and how the window tells the user.
struct RipFailure {
    enum class Box {
        None,       // nothing shown: the error log has it
        Plain,      // the message alone, under the application's title
        Warning,    // the same with a warning icon
        AudioError, // ShowAudioError(message, code)
        Report,     // ReportError(routine, code = error number, message = description)
    };
    Box box = Box::None;
    QString message;
    int code = 0;
    QString routine;
    // One line for the terminal: "Track 02: failed: " + reason.
    QString reason;
};

// The error number a failure report gives a read the drive could not deliver.
constexpr int kErrRead = 57;

class RipWriter {
public:
    virtual ~RipWriter() = default;

    // Bytes asked of the stream per block.
    virtual DWORD blockSize() const = 0;
    // Whether the rip stop flag is cleared once the writer is done.
    virtual bool clearsStopFlag() const = 0;
    // Before the door is locked; false fails the track with nothing started.
    virtual bool prepare() { return true; }
    // The track's stream could not be made.
    virtual void streamFailed(int code) = 0;
    // The stream is there: open the output. False when that failed.
    virtual bool open(HSTREAM stream) = 0;
    // One block exactly as the stream delivered it; false fails the track.
    virtual bool write(const char* data, DWORD bytes) = 0;
    // The stream did not deliver.
    virtual void readFailed(int code) = 0;
    // The loop has ended: failed (the writer has said why), cancelled by
    // the user part-way, or at the track's end. Completes the file and puts
    // it in place, or removes what was begun.
    virtual RipResult finish(bool failed, bool cancelled) = 0;
    // After the stream is freed.
    virtual void release() {}

    const RipFailure& failure() const { return m_failure; }

protected:
    // The first failure is the one told; always false.
    bool fail(RipFailure failure)
    {
        if (m_failure.reason.isEmpty())
            m_failure = std::move(failure);
        return false;
    }

private:
    RipFailure m_failure;
};

} // namespace qm
