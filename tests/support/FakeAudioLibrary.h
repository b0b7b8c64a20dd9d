#pragma once
// A scripted audio library for tests: drives, discs, CD-Text, decoding streams
// of synthetic PCM, chosen failures, and a log of every call with its
// arguments ("BASS_CD_Door(0,3)").

#include "platform/audio/AudioLibrary.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qm::test {

struct FakeDrive {
    std::string description = "QUILL FakeDrive 1.0";
    std::string name = "/dev/sr0";
    BASS_CD_INFO info{};
    bool ready = true;
    std::vector<std::int32_t> trackLengths; // bytes; 0 is a data track, -N fails with code N
    std::optional<std::string> cdText;      // texts joined by '\0', ended by "\0\0"
    // The table of contents; without one, the tracks lie one after another
    // from sector 0 with their lengths (a data track takes 1000 sectors).
    std::optional<QM_CD_TOC> toc;
    bool doorOpen = false;
    bool doorLocked = false;
    bool present = true; // false: the drive is gone (unplugged); every call on it fails
    bool image = false;  // a disc image rather than a physical drive
    int readOffset = 0;  // samples, as QM_CD_SetReadOffset set it
    // What a stream of each (0-based) track reports as paranoia's events.
    std::map<DWORD, QM_CD_READ_ERRORS> readErrors;
    // Tracks whose every read differs from the one before, as a scratched
    // disc's may.
    std::set<DWORD> unstableTracks;
};

// A CD-Text block from its entries ("TITLE0=Album", ...), with the final empty text.
std::string CdTextBlock(const std::vector<std::string>& entries);

// The drive's whole disc as its streams read it: each track's PCM where
// QM_CD_GetTOC places it (a sector is 2352 bytes), zeros in the gaps and in
// data tracks, up to the lead-out.
std::vector<std::uint8_t> FakeDiscPcm(const FakeDrive& drive);

class FakeAudioLibrary : public AudioLibrary {
public:
    struct Stream {
        DWORD drive = 0, track = 0, flags = 0;
        QWORD length = 0, position = 0;
        DWORD state = BASS_ACTIVE_STOPPED;
        int volume = 100, pan = 0;
        bool freed = false;
        bool cd = false;          // a CD track's, not a file's
        int readOffset = 0;       // the drive's when it was made
        unsigned unstableRead = 0; // the how-manyeth of an unstable track's streams, 0 when stable
        struct Sync { HSYNC handle; DWORD type; SYNCPROC proc; DWORD user; };
        std::vector<Sync> syncs;
    };

    // Script.
    std::vector<FakeDrive> drives;
    int volume = 100;
    std::map<std::string, int> failures; // any call's name -> the error code it fails with
    std::vector<DWORD> wmaRates{320000, 256000, 192000, 160000, 128000, 96000, 80000, 64000, 48000, 32000, 0};
    // WMA files a file stream opens: name -> PCM length in bytes.
    std::map<std::string, QWORD> files;
    // How every external encoder ends once its input ends (the stream's end,
    // EndInput or a stop). One that exits 0 writes the file its command line
    // names last, unless encoderWritesFile is false. A stalled one reads
    // nothing and never ends.
    QM_ENCODE_STATUS encoderStatus{true, true, 0, 0};
    bool encoderWritesFile = true;
    bool encoderStalls = false;
    // Runs after every block a decoding stream delivers, with the count so far.
    std::function<void(int block)> onBlock;
    int blocks = 0;

    // Observations.
    std::vector<std::string> calls() const;
    std::vector<std::string> callsNamed(const std::string& prefix) const;
    void clearCalls();
    Stream* stream(HSTREAM handle);
    bool initialised() const { return m_initialised; }
    // Fire a stream's syncs of this type, as the library would on its thread.
    int fireSync(HSTREAM handle, DWORD type, DWORD data = 0);

    bool BASS_Init(int device, DWORD freq, DWORD flags, std::uintptr_t window, const void* clsid) override;
    bool BASS_Stop() override;
    bool BASS_Free() override;
    DWORD BASS_SetConfig(DWORD option, DWORD value) override;
    int BASS_GetVolume() override;
    int BASS_ErrorGetCode() override { return m_lastError; }

    const char* BASS_CD_GetDriveDescription(DWORD drive) override;
    int BASS_CD_GetDriveLetter(DWORD) override { return -1; } // the app never asks
    const char* QM_CD_GetDriveName(DWORD drive) override;
    bool BASS_CD_GetInfo(DWORD drive, BASS_CD_INFO* info) override;
    bool BASS_CD_IsReady(DWORD drive) override;
    int BASS_CD_GetTracks(DWORD drive) override;
    std::int32_t BASS_CD_GetTrackLength(DWORD drive, DWORD track) override;
    const char* BASS_CD_GetID(DWORD drive, DWORD id) override;
    bool QM_CD_GetTOC(DWORD drive, QM_CD_TOC* toc) override;
    bool BASS_CD_Door(DWORD drive, DWORD action) override;
    bool BASS_CD_DoorIsOpen(DWORD drive) override;
    bool BASS_CD_DoorIsLocked(DWORD drive) override;
    HSTREAM BASS_CD_StreamCreate(DWORD drive, DWORD track, DWORD flags) override;
    bool QM_CD_IsImage(DWORD drive) override;
    bool QM_CD_SetReadOffset(DWORD drive, int samples) override;
    // The track's FakeDrive::readErrors entry once the stream has delivered
    // its last byte (also after an auto-free stream freed itself there),
    // zeros before.
    bool QM_CD_GetReadErrors(HSTREAM handle, QM_CD_READ_ERRORS* errors) override;

    bool BASS_StreamPlay(HSTREAM handle, bool flush, DWORD flags) override;
    bool BASS_ChannelPause(DWORD handle) override;
    bool BASS_ChannelResume(DWORD handle) override;
    bool BASS_ChannelStop(DWORD handle) override;
    bool BASS_StreamFree(HSTREAM handle) override;
    DWORD BASS_ChannelIsActive(DWORD handle) override;
    bool BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) override;
    bool BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) override;
    bool BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time) override;
    bool BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) override;
    QWORD BASS_ChannelGetPosition(DWORD handle) override;
    bool BASS_ChannelSetPosition(DWORD handle, QWORD pos) override;
    QWORD BASS_StreamGetLength(HSTREAM handle) override;
    float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) override;
    DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) override;
    HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC proc, DWORD user) override;

    HSTREAM BASS_StreamCreateFile(bool, const char*, QWORD, QWORD, DWORD) override { return 0; } // only WMA files are tried
    HSTREAM BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) override;

    const DWORD* BASS_WMA_EncodeGetRates(DWORD freq, DWORD flags) override;
    HWMENCODE BASS_WMA_EncodeOpenFile(DWORD, DWORD, DWORD, const char*) override { return 0; } // nor opens by name
    HWMENCODE QM_WMA_EncodeOpenWriter(DWORD freq, DWORD flags, DWORD bitrate, QM_WMWRITEPROC proc) override;
    bool BASS_WMA_EncodeSetTag(HWMENCODE handle, const char* tag, const char* text) override;
    bool BASS_WMA_EncodeWrite(HWMENCODE handle, const void* buffer, DWORD length) override;
    bool BASS_WMA_EncodeClose(HWMENCODE handle) override;

    HENCODE BASS_Encode_Start(DWORD handle, const char* cmdline, DWORD flags, void* proc, void* user) override;
    bool BASS_Encode_Stop(DWORD handle) override;
    bool QM_Encode_GetStatus(DWORD handle, QM_ENCODE_STATUS* status) override;
    bool QM_Encode_Flush(DWORD handle, DWORD ms, bool* empty) override;
    bool QM_Encode_EndInput(DWORD handle) override;
    bool QM_Encode_Kill(DWORD handle) override;

private:
    struct Encoder {
        std::string output; // the file its command line names last
        QM_ENCODE_STATUS status{true, false, -1, 0};
        bool attached = true; // until stopped
        bool inputEnded = false;
    };
    // Logs the call; true when the script makes it fail (its code is set).
    template <typename... Args>
    bool enter(const char* name, const Args&... args);
    bool setError(int code) { m_lastError = code; return false; }
    bool ok() { m_lastError = BASS_OK; return true; }
    FakeDrive* drive(DWORD index);
    FakeDrive* disc(DWORD index); // a drive with a disc that can be read
    Stream* live(DWORD handle);   // a stream that exists and is not freed
    HSTREAM addStream(DWORD drive, DWORD track, DWORD flags, QWORD length);
    void fill(const Stream& s, std::uint8_t* out, DWORD length) const; // the stream's next `length` bytes
    Encoder* attached(DWORD handle);
    bool move(const char* name, DWORD handle, DWORD from, DWORD to, bool free, int error);
    void endInput(Encoder& e);
    void endEncoder(Encoder& e, QM_ENCODE_STATUS how);
    bool writeWma(HWMENCODE handle, QWORD offset, const void* data, DWORD length);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::map<HSTREAM, Stream> m_streams;
    std::map<DWORD, Encoder> m_encoders; // by channel, kept after the stop
    std::map<HWMENCODE, std::pair<QM_WMWRITEPROC, QWORD>> m_wmaFiles; // the writer and the file's end
    HSTREAM m_nextHandle = 1;
    std::map<std::pair<DWORD, DWORD>, unsigned> m_unstableReads; // streams made, by drive and track
    HSYNC m_nextSync = 1;
    bool m_initialised = false;
    int m_lastError = BASS_OK;
};

} // namespace qm::test
