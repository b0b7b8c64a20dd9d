#pragma once
// Every audio-library operation the program calls, under the names the program
// uses. The real implementation is CdAudioEngine; tests use FakeAudioLibrary.
//
// Conventions kept from the library contract: handles are 32-bit and 0 means
// failure; byte positions and lengths are 64-bit; a failed call leaves a code
// for BASS_ErrorGetCode (per calling thread). Texts are UTF-8.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm {

using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using HSTREAM = std::uint32_t;
using HSYNC = std::uint32_t;
using HENCODE = std::uint32_t;
using HWMENCODE = std::uint32_t;

// Error codes, as BASS_ErrorGetCode reports them.
enum : int {
    BASS_OK = 0,
    BASS_ERROR_MEM = 1,
    BASS_ERROR_FILEOPEN = 2,
    BASS_ERROR_DRIVER = 3,
    BASS_ERROR_BUFLOST = 4,
    BASS_ERROR_HANDLE = 5,
    BASS_ERROR_FORMAT = 6,
    BASS_ERROR_POSITION = 7,
    BASS_ERROR_INIT = 8,
    BASS_ERROR_START = 9,
    BASS_ERROR_CDINIT = 10,
    BASS_ERROR_CDNOTINIT = 11,
    BASS_ERROR_NOCD = 12,
    BASS_ERROR_CDTRACK = 13,
    BASS_ERROR_ALREADY = 14,
    BASS_ERROR_CDVOL = 15,
    BASS_ERROR_NOPAUSE = 16,
    BASS_ERROR_NOTAUDIO = 17,
    BASS_ERROR_NOCHAN = 18,
    BASS_ERROR_ILLTYPE = 19,
    BASS_ERROR_ILLPARAM = 20,
    BASS_ERROR_NO3D = 21,
    BASS_ERROR_NOEAX = 22,
    BASS_ERROR_DEVICE = 23,
    BASS_ERROR_NOPLAY = 24,
    BASS_ERROR_FREQ = 25,
    BASS_ERROR_NOTFILE = 27,
    BASS_ERROR_NOHW = 29,
    BASS_ERROR_EMPTY = 31,
    BASS_ERROR_NONET = 32,
    BASS_ERROR_CREATE = 33,
    BASS_ERROR_NOFX = 34,
    BASS_ERROR_PLAYING = 35,
    BASS_ERROR_NOTAVAIL = 37,
    BASS_ERROR_DECODE = 38,
    BASS_ERROR_UNKNOWN = -1,
};

// Stream creation flags.
constexpr DWORD BASS_SAMPLE_8BITS = 0x1;
constexpr DWORD BASS_STREAM_AUTOFREE = 0x40000;
constexpr DWORD BASS_STREAM_DECODE = 0x200000;
constexpr DWORD BASS_CD_PLAY_FLAGS = 0x50000;    // what the player passes
constexpr DWORD BASS_CD_DECODE_FLAGS = 0x240000; // decode + auto-free, for ripping

// BASS_ChannelIsActive results.
constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;
constexpr DWORD BASS_ACTIVE_STALLED = 2;
constexpr DWORD BASS_ACTIVE_PAUSED = 3;

// A drive's read offset, in samples either way, is at most this.
constexpr int kMaxReadOffset = 3000;

// BASS_CD_Door actions.
constexpr DWORD BASS_CD_DOOR_CLOSE = 0;
constexpr DWORD BASS_CD_DOOR_OPEN = 1;
constexpr DWORD BASS_CD_DOOR_LOCK = 2;
constexpr DWORD BASS_CD_DOOR_UNLOCK = 3;

constexpr DWORD BASS_CDID_TEXT = 4;

// Sync types (all one-shot in this program).
constexpr DWORD BASS_SYNC_ONETIME = 0x80000000;
constexpr DWORD BASS_SYNC_END = 0x80000002;
constexpr DWORD BASS_SYNC_SLIDE = 0x80000005;
constexpr DWORD BASS_SYNC_CD_ERROR = 0x800003E8;

constexpr DWORD BASS_CONFIG_FLOATDSP = 9;
constexpr DWORD BASS_WMA_ENCODE_TAGS = 0x10000;

// CD audio, the only audio the program plays and rips: 16-bit stereo at
// 44100 frames per second.
constexpr DWORD kCdRate = 44100;
constexpr DWORD kCdBytesPerSecond = kCdRate * 4;

// BASS_ChannelSetAttributes / SlideAttributes values that leave a setting as it is.
constexpr int kKeepFrequency = -1;
constexpr int kKeepVolume = -1;
constexpr int kKeepPan = -101;

constexpr QWORD BASS_POSITION_ERROR = ~QWORD{0};
constexpr DWORD BASS_DATA_ERROR = ~DWORD{0};

// Drive-information record; size must be 28 before the call.
struct BASS_CD_INFO {
    DWORD size = 28;
    DWORD flags = 0;
    DWORD canopen = 0;
    DWORD canlock = 0;
    DWORD maxspeed = 0; // kilobytes per second
    DWORD cache = 0;    // kilobytes
    DWORD cdtext = 0;
};

struct BASS_CHANNELINFO {
    DWORD freq = 0;
    DWORD chans = 0;
    DWORD flags = 0;
    DWORD ctype = 0;
};

// A disc's table of contents as the disc IDs need it: each track's first
// sector (INDEX 01, counted from the start of the program area, so the first
// track usually starts at 0) and kind, and the lead-out's first sector.
struct QM_CD_TOC {
    struct Track {
        int number = 0;
        std::int32_t start = 0;
        bool audio = true;
    };
    std::vector<Track> tracks;
    std::int32_t leadout = 0;
};

// What paranoia reported while a stream read its track, counted. Streams of
// disc images read exactly and report nothing.
struct QM_CD_READ_ERRORS {
    DWORD readErrors = 0; // reads the drive failed, retried
    DWORD skips = 0;      // audio paranoia gave up on and skipped
    DWORD repairs = 0;    // scratches found and repaired
    DWORD fixups = 0;     // overlaps corrected: edges, atoms, dropped and duplicated bytes
    DWORD drift = 0;      // the drive's position drifted and was corrected
};

// State of an external encoder attached by BASS_Encode_Start.
struct QM_ENCODE_STATUS {
    QM_ENCODE_STATUS() = default;
    QM_ENCODE_STATUS(bool started_, bool finished_, int exitCode_, int signal_)
        : started(started_), finished(finished_), exitCode(exitCode_), signal(signal_)
    {
    }
    bool started = false;  // the program was found and began running
    bool finished = false; // it has ended and was waited for
    int exitCode = -1;     // exit status when it ended normally, else -1
    int signal = 0;        // the signal that ended it, 0 if none
    DWORD queued = 0;      // bytes delivered to it that it has not read yet
    std::string lastLine;  // once it has ended: the last line it wrote to its standard error
};

// Receives a WMA file's bytes: `length` bytes at `offset` (the header is
// written again at the start when the file is closed). False fails the encoder.
using QM_WMWRITEPROC = std::function<bool(QWORD offset, const void* data, DWORD length)>;

// Called on a thread of the engine with (sync handle, channel, data, user value).
using SYNCPROC = std::function<void(HSYNC sync, DWORD channel, DWORD data, DWORD user)>;

class AudioLibrary {
public:
    virtual ~AudioLibrary() = default;

    // Output.
    virtual bool BASS_Init(int device, DWORD freq, DWORD flags, std::uintptr_t window, const void* clsid) = 0;
    virtual bool BASS_Stop() = 0;
    virtual bool BASS_Free() = 0;
    virtual DWORD BASS_SetConfig(DWORD option, DWORD value) = 0;
    virtual int BASS_GetVolume() = 0; // 0-100, -1 on failure
    virtual int BASS_ErrorGetCode() = 0;

    // Drives and discs.
    virtual const char* BASS_CD_GetDriveDescription(DWORD drive) = 0; // nullptr past the last drive
    virtual int BASS_CD_GetDriveLetter(DWORD drive) = 0;              // -1: drives have no letters here
    // Extra: the drive's short name for lists (device node or image file name).
    virtual const char* QM_CD_GetDriveName(DWORD drive) = 0;
    virtual bool BASS_CD_GetInfo(DWORD drive, BASS_CD_INFO* info) = 0;
    virtual bool BASS_CD_IsReady(DWORD drive) = 0;
    virtual int BASS_CD_GetTracks(DWORD drive) = 0;                   // -1 when not ready
    virtual std::int32_t BASS_CD_GetTrackLength(DWORD drive, DWORD track) = 0; // bytes, -1 on failure
    virtual const char* BASS_CD_GetID(DWORD drive, DWORD id) = 0;     // owned by the library
    // Extra: the disc's table of contents; false when no disc is ready.
    virtual bool QM_CD_GetTOC(DWORD drive, QM_CD_TOC* toc) = 0;
    virtual bool BASS_CD_Door(DWORD drive, DWORD action) = 0;
    virtual bool BASS_CD_DoorIsOpen(DWORD drive) = 0;
    virtual bool BASS_CD_DoorIsLocked(DWORD drive) = 0;
    virtual HSTREAM BASS_CD_StreamCreate(DWORD drive, DWORD track, DWORD flags) = 0;
    // Extra: whether the drive is a disc image rather than a physical drive.
    virtual bool QM_CD_IsImage(DWORD drive) = 0;
    // Extra: the drive's read offset in samples (-3000 to +3000), for streams
    // made after the call: sample i of a track is read from the disc's sample
    // (track start + i + offset); samples before the disc's first or past its
    // last are zeros.
    virtual bool QM_CD_SetReadOffset(DWORD drive, int samples) = 0;
    // Extra: what paranoia reported while the stream read, so far.
    virtual bool QM_CD_GetReadErrors(HSTREAM handle, QM_CD_READ_ERRORS* errors) = 0;

    // Channels.
    virtual bool BASS_StreamPlay(HSTREAM handle, bool flush, DWORD flags) = 0;
    virtual bool BASS_ChannelPause(DWORD handle) = 0;
    virtual bool BASS_ChannelResume(DWORD handle) = 0;
    virtual bool BASS_ChannelStop(DWORD handle) = 0;
    virtual bool BASS_StreamFree(HSTREAM handle) = 0;
    virtual DWORD BASS_ChannelIsActive(DWORD handle) = 0;
    virtual bool BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) = 0;
    virtual bool BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) = 0;
    virtual bool BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time) = 0;
    virtual bool BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) = 0;
    virtual QWORD BASS_ChannelGetPosition(DWORD handle) = 0;        // BASS_POSITION_ERROR on failure
    virtual bool BASS_ChannelSetPosition(DWORD handle, QWORD pos) = 0;
    virtual QWORD BASS_StreamGetLength(HSTREAM handle) = 0;         // BASS_POSITION_ERROR on failure
    virtual float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) = 0; // negative on failure
    virtual DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) = 0; // BASS_DATA_ERROR on failure
    virtual HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC proc, DWORD user) = 0;

    // Files.
    virtual HSTREAM BASS_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) = 0;
    virtual HSTREAM BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) = 0;

    // WMA encoding.
    virtual const DWORD* BASS_WMA_EncodeGetRates(DWORD freq, DWORD flags) = 0; // 0-terminated, owned by the library
    virtual HWMENCODE BASS_WMA_EncodeOpenFile(DWORD freq, DWORD flags, DWORD bitrate, const char* file) = 0;
    // Extra: an encoder whose file is written through `proc`, so the caller
    // owns the file and sees its write errors.
    virtual HWMENCODE QM_WMA_EncodeOpenWriter(DWORD freq, DWORD flags, DWORD bitrate, QM_WMWRITEPROC proc) = 0;
    virtual bool BASS_WMA_EncodeSetTag(HWMENCODE handle, const char* tag, const char* text) = 0;
    virtual bool BASS_WMA_EncodeWrite(HWMENCODE handle, const void* buffer, DWORD length) = 0;
    // False when the file could not be completed.
    virtual bool BASS_WMA_EncodeClose(HWMENCODE handle) = 0;

    // External encoders fed from a channel.
    // Reading the channel feeds its encoder without waiting for it: what the
    // encoder has not read yet is queued.
    virtual HENCODE BASS_Encode_Start(DWORD handle, const char* cmdline, DWORD flags, void* proc, void* user) = 0;
    // Writes what is queued, ends the encoder's input and waits for it to
    // end, killing it when it has not ended 30 s later.
    virtual bool BASS_Encode_Stop(DWORD handle) = 0;
    // Extra: whether the encoder attached to a channel (or last attached, once
    // stopped) started, whether it has ended and how.
    virtual bool QM_Encode_GetStatus(DWORD handle, QM_ENCODE_STATUS* status) = 0;
    // Extra: writes what is queued for the encoder, waiting up to `ms` for it
    // to read; *empty tells whether nothing is queued any more.
    virtual bool QM_Encode_Flush(DWORD handle, DWORD ms, bool* empty) = 0;
    // Extra: ends the encoder's input now, dropping what is still queued; it
    // goes on to complete its file.
    virtual bool QM_Encode_EndInput(DWORD handle) = 0;
    // Extra: ends the encoder, and whatever it started, at once.
    virtual bool QM_Encode_Kill(DWORD handle) = 0;
};

// Opens the default output for CD audio. Opening it again while it is open
// changes nothing (it fails with BASS_ERROR_ALREADY).
inline bool OpenDefaultOutput(AudioLibrary& audio, std::uintptr_t window)
{
    return audio.BASS_Init(1, kCdRate, 0, window, nullptr);
}

} // namespace qm
