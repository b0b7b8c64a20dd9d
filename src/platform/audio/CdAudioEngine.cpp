#include "CdAudioEngine.h"

#include "CdDecodeStream.h"
#include "DriveList.h"
#include "LastError.h"
#include "OffsetReader.h"

namespace qm {

using audio::Fail;
using audio::Ok;

CdAudioEngine::CdAudioEngine(QStringList imageFiles, QString demoImage, DriveScan scan, EngineConfig config)
    : m_images(std::move(imageFiles)), m_encoderFolder(config.encoderFolder.toStdString()),
      m_drives(audio::FindDrives(scan == DriveScan::PhysicalAndImages, m_images, demoImage)),
      m_readOffsets(m_drives.size(), 0),
      m_output(m_channels, std::move(config.output))
{
}

CdAudioEngine::~CdAudioEngine()
{
    m_encoders.stopAll();
    m_output.free();
    m_channels.clear(); // streams go before the drives they read
}

// ---- Output -----------------------------------------------------------------

bool CdAudioEngine::BASS_Init(int device, DWORD, DWORD, std::uintptr_t, const void*)
{
    // Device 1 is the output the configuration names (PulseAudio by default).
    if (device != 1)
        return Fail(BASS_ERROR_DEVICE, false);
    const int error = m_output.init();
    return error == BASS_OK ? Ok(true) : Fail(error, false);
}

bool CdAudioEngine::BASS_Stop()
{
    return m_output.stopAll() ? Ok(true) : Fail(BASS_ERROR_INIT, false);
}

bool CdAudioEngine::BASS_Free()
{
    return m_output.free() ? Ok(true) : Fail(BASS_ERROR_INIT, false);
}

DWORD CdAudioEngine::BASS_SetConfig(DWORD, DWORD value) { return Ok(value); }

int CdAudioEngine::BASS_GetVolume()
{
    return m_output.initialised() ? Ok(100) : Fail(BASS_ERROR_INIT, -1);
}

int CdAudioEngine::BASS_ErrorGetCode() { return audio::LastError(); }

// ---- Drives and discs -------------------------------------------------------

audio::CdDrive* CdAudioEngine::drive(DWORD index)
{
    if (index >= m_drives.size())
        return Fail(BASS_ERROR_DEVICE, static_cast<audio::CdDrive*>(nullptr));
    return m_drives[index].get();
}

std::shared_ptr<const audio::DiscToc> CdAudioEngine::disc(DWORD index)
{
    audio::CdDrive* d = drive(index);
    if (!d)
        return nullptr;
    int error = BASS_OK;
    auto toc = d->disc(error);
    return toc ? toc : Fail(error, std::shared_ptr<const audio::DiscToc>());
}

const char* CdAudioEngine::BASS_CD_GetDriveDescription(DWORD index)
{
    std::lock_guard lock(m_driveMutex);
    audio::CdDrive* d = drive(index);
    return d ? Ok(d->description().c_str()) : nullptr;
}

int CdAudioEngine::BASS_CD_GetDriveLetter(DWORD index)
{
    std::lock_guard lock(m_driveMutex);
    // Drives have no letters here; QM_CD_GetDriveName gives their short name.
    return drive(index) ? Ok(-1) : -1;
}

const char* CdAudioEngine::QM_CD_GetDriveName(DWORD index)
{
    std::lock_guard lock(m_driveMutex);
    audio::CdDrive* d = drive(index);
    return d ? Ok(d->name().c_str()) : nullptr;
}

bool CdAudioEngine::BASS_CD_GetInfo(DWORD index, BASS_CD_INFO* info)
{
    std::lock_guard lock(m_driveMutex);
    audio::CdDrive* d = drive(index);
    if (!d)
        return false;
    if (!info || info->size < sizeof(BASS_CD_INFO))
        return Fail(BASS_ERROR_ILLPARAM, false);
    BASS_CD_INFO result;
    if (!d->info(result))
        return Fail(BASS_ERROR_DEVICE, false);
    *info = result;
    return Ok(true);
}

bool CdAudioEngine::BASS_CD_IsReady(DWORD index)
{
    std::lock_guard lock(m_driveMutex);
    return disc(index) ? Ok(true) : false;
}

int CdAudioEngine::BASS_CD_GetTracks(DWORD index)
{
    std::lock_guard lock(m_driveMutex);
    const auto toc = disc(index);
    return toc ? Ok(static_cast<int>(toc->tracks.size())) : -1;
}

std::int32_t CdAudioEngine::BASS_CD_GetTrackLength(DWORD index, DWORD track)
{
    std::lock_guard lock(m_driveMutex);
    const auto toc = disc(index);
    if (!toc)
        return -1;
    if (track >= toc->tracks.size())
        return Fail(BASS_ERROR_CDTRACK, std::int32_t{-1});
    const audio::TrackEntry& t = toc->tracks[track];
    if (!t.audio)
        return Fail(BASS_ERROR_NOTAUDIO, std::int32_t{-1});
    return Ok(static_cast<std::int32_t>(t.bytes()));
}

const char* CdAudioEngine::BASS_CD_GetID(DWORD index, DWORD id)
{
    std::lock_guard lock(m_driveMutex);
    const auto toc = disc(index);
    if (!toc)
        return nullptr;
    if (id != BASS_CDID_TEXT || toc->cdText.empty())
        return Fail(BASS_ERROR_NOTAVAIL, static_cast<const char*>(nullptr));
    m_idBlock = toc->cdText;
    return Ok(m_idBlock.data());
}

bool CdAudioEngine::QM_CD_GetTOC(DWORD index, QM_CD_TOC* toc)
{
    std::lock_guard lock(m_driveMutex);
    const auto disc = this->disc(index);
    if (!disc)
        return false;
    if (!toc)
        return Fail(BASS_ERROR_ILLPARAM, false);
    QM_CD_TOC result;
    for (std::size_t i = 0; i < disc->tracks.size(); ++i) {
        const audio::TrackEntry& t = disc->tracks[i];
        result.tracks.push_back({static_cast<int>(i) + 1, static_cast<std::int32_t>(t.start), t.audio});
        // Each track runs to the next one's start; the last one to the lead-out.
        result.leadout = static_cast<std::int32_t>(t.start) + t.sectors;
    }
    *toc = std::move(result);
    return Ok(true);
}

bool CdAudioEngine::BASS_CD_Door(DWORD index, DWORD action)
{
    std::lock_guard lock(m_driveMutex);
    audio::CdDrive* d = drive(index);
    int error = BASS_OK;
    if (!d)
        return false;
    return d->door(action, error) ? Ok(true) : Fail(error, false);
}

bool CdAudioEngine::BASS_CD_DoorIsOpen(DWORD index)
{
    std::lock_guard lock(m_driveMutex);
    audio::CdDrive* d = drive(index);
    return d ? Ok(d->doorIsOpen()) : false;
}

bool CdAudioEngine::BASS_CD_DoorIsLocked(DWORD index)
{
    std::lock_guard lock(m_driveMutex);
    audio::CdDrive* d = drive(index);
    return d ? Ok(d->doorIsLocked()) : false;
}

HSTREAM CdAudioEngine::BASS_CD_StreamCreate(DWORD index, DWORD track, DWORD flags)
{
    // Ended streams that free themselves go now, while nobody reads them.
    m_channels.reapFinished();
    std::lock_guard lock(m_driveMutex);
    const auto toc = disc(index);
    if (!toc)
        return 0;
    if (track >= toc->tracks.size())
        return Fail(BASS_ERROR_CDTRACK, HSTREAM{0});
    if (!toc->tracks[track].audio)
        return Fail(BASS_ERROR_NOTAUDIO, HSTREAM{0});
    if (flags & (BASS_SAMPLE_8BITS | 0x100 /* float samples */))
        return Fail(BASS_ERROR_FORMAT, HSTREAM{0});
    if (!(flags & BASS_STREAM_DECODE) && !m_output.initialised())
        return Fail(BASS_ERROR_INIT, HSTREAM{0});
    int error = BASS_OK;
    auto reader = drive(index)->openReader(error);
    if (!reader)
        return Fail(error, HSTREAM{0});
    if (const int offset = m_readOffsets[index])
        reader = std::make_unique<audio::OffsetReader>(std::move(reader), offset, audio::AudioSectors(*toc));
    // A playing stream reads its track through a decoding stream of its own.
    auto stream = std::make_shared<audio::CdDecodeStream>(std::move(reader), toc->tracks[track],
                                                          flags | BASS_STREAM_DECODE);
    return addChannel(std::move(stream), flags);
}

bool CdAudioEngine::QM_CD_IsImage(DWORD index)
{
    std::lock_guard lock(m_driveMutex);
    audio::CdDrive* d = drive(index);
    return d ? Ok(d->isImage()) : false;
}

bool CdAudioEngine::QM_CD_SetReadOffset(DWORD index, int samples)
{
    std::lock_guard lock(m_driveMutex);
    if (!drive(index))
        return false;
    if (samples < -kMaxReadOffset || samples > kMaxReadOffset)
        return Fail(BASS_ERROR_ILLPARAM, false);
    m_readOffsets[index] = samples;
    return Ok(true);
}

bool CdAudioEngine::QM_CD_GetReadErrors(HSTREAM handle, QM_CD_READ_ERRORS* errors)
{
    const auto c = channel(handle);
    if (!c)
        return false;
    if (!errors)
        return Fail(BASS_ERROR_ILLPARAM, false);
    QM_CD_READ_ERRORS counted;
    if (!c->readErrors(counted))
        return Fail(BASS_ERROR_NOTAVAIL, false);
    *errors = counted;
    return Ok(true);
}

HSTREAM CdAudioEngine::addChannel(std::shared_ptr<audio::Channel> source, DWORD flags)
{
    if (flags & BASS_STREAM_DECODE)
        return Ok(m_channels.add(std::move(source)));
    int error = BASS_OK;
    const HSTREAM handle = m_output.create(std::move(source), flags, error);
    return handle ? Ok(handle) : Fail(error, HSTREAM{0});
}

// ---- Channels ---------------------------------------------------------------

std::shared_ptr<audio::Channel> CdAudioEngine::channel(DWORD handle)
{
    auto c = m_channels.find(handle);
    if (!c)
        audio::SetLastError(BASS_ERROR_HANDLE);
    return c;
}

std::shared_ptr<audio::PlayingStream> CdAudioEngine::playing(DWORD handle)
{
    const auto c = channel(handle);
    if (!c)
        return nullptr;
    auto p = std::dynamic_pointer_cast<audio::PlayingStream>(c);
    if (!p)
        audio::SetLastError(BASS_ERROR_DECODE);
    return p;
}

bool CdAudioEngine::BASS_StreamPlay(HSTREAM handle, bool flush, DWORD)
{
    const auto p = playing(handle);
    int error = BASS_OK;
    if (!p)
        return false;
    return m_output.play(*p, flush, error) ? Ok(true) : Fail(error, false);
}

bool CdAudioEngine::BASS_ChannelPause(DWORD handle)
{
    const auto p = playing(handle);
    int error = BASS_OK;
    if (!p)
        return false;
    return p->pause(error) ? Ok(true) : Fail(error, false);
}

bool CdAudioEngine::BASS_ChannelResume(DWORD handle)
{
    const auto p = playing(handle);
    int error = BASS_OK;
    if (!p)
        return false;
    return m_output.resume(*p, error) ? Ok(true) : Fail(error, false);
}

bool CdAudioEngine::BASS_ChannelStop(DWORD handle)
{
    // An auto-free stream stays addressable until freed or reaped, so that
    // the caller can still read its final position after stopping it.
    const auto c = channel(handle);
    if (!c)
        return false;
    c->stop();
    if (const auto p = std::dynamic_pointer_cast<audio::PlayingStream>(c))
        m_output.stopped(*p);
    return Ok(true);
}

bool CdAudioEngine::BASS_StreamFree(HSTREAM handle)
{
    const auto c = m_channels.find(handle);
    if (!c)
        return Fail(BASS_ERROR_HANDLE, false);
    // Its encoder ends with it, and nothing of it fires afterwards.
    m_encoders.stop(handle);
    if (auto p = std::dynamic_pointer_cast<audio::PlayingStream>(c))
        m_output.release(*p);
    return m_channels.remove(handle) ? Ok(true) : Fail(BASS_ERROR_HANDLE, false);
}

DWORD CdAudioEngine::BASS_ChannelIsActive(DWORD handle)
{
    const auto c = channel(handle);
    return c ? Ok(c->state()) : BASS_ACTIVE_STOPPED;
}

bool CdAudioEngine::BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan)
{
    const auto c = channel(handle);
    if (!c)
        return false;
    // Checked all at once so that a bad value changes nothing.
    const bool freqOk = freq == -1 || freq == 0 || (freq >= 100 && freq <= 100000);
    const bool volumeOk = volume == -1 || (volume >= 0 && volume <= 100);
    const bool panOk = pan == kKeepPan || (pan >= -100 && pan <= 100);
    if (!freqOk || !volumeOk || !panOk)
        return Fail(BASS_ERROR_ILLPARAM, false);
    if (freq != -1)
        c->setFrequency(freq == 0 ? c->frequency() : static_cast<DWORD>(freq));
    int error = BASS_OK;
    if (auto p = std::dynamic_pointer_cast<audio::PlayingStream>(c))
        return p->setAttributes(volume, pan, error) ? Ok(true) : Fail(error, false);
    if (volume != -1)
        c->setVolume(static_cast<DWORD>(volume));
    if (pan != kKeepPan)
        c->setPan(pan);
    return Ok(true);
}

bool CdAudioEngine::BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan)
{
    const auto c = channel(handle);
    if (!c)
        return false;
    if (freq)
        *freq = c->attributeFrequency();
    if (volume)
        *volume = c->volume();
    if (pan)
        *pan = c->pan();
    return Ok(true);
}

bool CdAudioEngine::BASS_ChannelSlideAttributes(DWORD handle, int, int volume, int pan, DWORD time)
{
    // Only volume and pan slide; frequency stays where it is.
    const auto p = playing(handle);
    int error = BASS_OK;
    if (!p)
        return false;
    return p->slide(volume, pan, time, error) ? Ok(true) : Fail(error, false);
}

bool CdAudioEngine::BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info)
{
    const auto c = channel(handle);
    if (!c)
        return false;
    if (!info)
        return Fail(BASS_ERROR_ILLPARAM, false);
    info->freq = c->frequency();
    info->chans = c->channelCount();
    info->flags = c->flags();
    info->ctype = c->ctype();
    return Ok(true);
}

QWORD CdAudioEngine::BASS_ChannelGetPosition(DWORD handle)
{
    const auto c = channel(handle);
    return c ? Ok(c->position()) : BASS_POSITION_ERROR;
}

bool CdAudioEngine::BASS_ChannelSetPosition(DWORD handle, QWORD pos)
{
    const auto c = channel(handle);
    int error = BASS_OK;
    if (!c)
        return false;
    if (!c->setPosition(pos, error))
        return Fail(error, false);
    if (const auto p = std::dynamic_pointer_cast<audio::PlayingStream>(c))
        m_output.moved(*p);
    return Ok(true);
}

QWORD CdAudioEngine::BASS_StreamGetLength(HSTREAM handle)
{
    const auto c = channel(handle);
    return c ? Ok(c->length()) : BASS_POSITION_ERROR;
}

float CdAudioEngine::BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    const auto c = channel(handle);
    if (!c)
        return -1.0f;
    return Ok(static_cast<float>(static_cast<double>(pos) / c->bytesPerSecond()));
}

DWORD CdAudioEngine::BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length)
{
    const auto c = channel(handle);
    int error = BASS_OK;
    if (!c)
        return BASS_DATA_ERROR;
    const DWORD got = c->read(buffer, length, error);
    if (got != BASS_DATA_ERROR)
        m_encoders.feed(handle, buffer, got);
    // A channel that frees itself at its end ends its encoder's input too,
    // once the encoder has read everything, so the file completes without a
    // stop; nothing waits for it here.
    if (c->finished())
        m_encoders.endInput(handle, false);
    return got == BASS_DATA_ERROR ? Fail(error, got) : Ok(got);
}

HSYNC CdAudioEngine::BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD, SYNCPROC proc, DWORD user)
{
    const auto p = playing(handle);
    int error = BASS_OK;
    if (!p)
        return 0;
    const HSYNC sync = p->setSync(type, std::move(proc), user, error);
    return sync ? Ok(sync) : Fail(error, HSYNC{0});
}

} // namespace qm
