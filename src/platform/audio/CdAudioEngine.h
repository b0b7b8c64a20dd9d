#pragma once
// The real audio library: CD drives and cue/bin disc images through libcdio,
// decoding and playing streams of their tracks and of audio files, sound
// output through PulseAudio, WMA files, external encoders fed from channels,
// and a per-thread last error.

#include "AudioLibrary.h"
#include "ChannelTable.h"
#include "EngineOutput.h"
#include "encode/ChannelEncoders.h"
#include "encode/WmaFiles.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qm {

namespace audio {
class CdDrive;
struct DiscToc;
class Channel;
}

// What the program settles once at start-up and hands to the engine.
struct EngineConfig {
    audio::OutputChoice output{}; // opened by BASS_Init(1, ...)
    // Encoders named without a folder are looked up here, then on PATH.
    QString encoderFolder{};
};

class CdAudioEngine : public AudioLibrary {
public:
    enum class DriveScan { PhysicalAndImages, ImagesOnly };

    // Drives: the machine's CD drives (unless ImagesOnly), then `imageFiles`
    // (cue files) in order; `demoImage` only when those gave no drive.
    // The program ignores SIGPIPE, so that writing to an encoder that has
    // died fails the write instead of ending it.
    explicit CdAudioEngine(QStringList imageFiles = {}, QString demoImage = {},
                           DriveScan scan = DriveScan::PhysicalAndImages, EngineConfig config = {});
    ~CdAudioEngine() override;

    bool BASS_Init(int device, DWORD freq, DWORD flags, std::uintptr_t window, const void* clsid) override;
    bool BASS_Stop() override;
    bool BASS_Free() override;
    DWORD BASS_SetConfig(DWORD option, DWORD value) override;
    int BASS_GetVolume() override;
    int BASS_ErrorGetCode() override;

    const char* BASS_CD_GetDriveDescription(DWORD drive) override;
    int BASS_CD_GetDriveLetter(DWORD drive) override;
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

    HSTREAM BASS_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) override;
    HSTREAM BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) override;

    const DWORD* BASS_WMA_EncodeGetRates(DWORD freq, DWORD flags) override;
    HWMENCODE BASS_WMA_EncodeOpenFile(DWORD freq, DWORD flags, DWORD bitrate, const char* file) override;
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

    // The silent output when that is the one open (tests look at its mix).
    audio::NullOutput* silentOutput() const { return m_output.nullOutput(); }

private:
    audio::CdDrive* drive(DWORD index); // sets the error when there is none; call under m_driveMutex
    // The table of the drive's disc; sets the error when there is no drive or disc. Under m_driveMutex.
    std::shared_ptr<const audio::DiscToc> disc(DWORD index);
    std::shared_ptr<audio::Channel> channel(DWORD handle); // sets the error when unknown
    // The playing stream `handle` names; 0 handle or unknown: code 5, a
    // decoding channel: code 38.
    std::shared_ptr<audio::PlayingStream> playing(DWORD handle);
    HSTREAM createFileStream(const char* file, DWORD flags);
    // A decoding source becomes a channel of its own or the source of a playing stream.
    HSTREAM addChannel(std::shared_ptr<audio::Channel> source, DWORD flags);

    QStringList m_images;
    std::string m_encoderFolder;
    std::mutex m_driveMutex;
    std::vector<std::unique_ptr<audio::CdDrive>> m_drives;
    std::vector<int> m_readOffsets; // samples, per drive
    std::string m_idBlock; // what BASS_CD_GetID answered last
    audio::ChannelTable m_channels;
    audio::EngineOutput m_output; // after the table it plays from
    audio::ChannelEncoders m_encoders;
    audio::WmaFiles m_wma;
};

} // namespace qm
