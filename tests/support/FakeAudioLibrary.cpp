#include "FakeAudioLibrary.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

namespace qm::test {

namespace {
template <typename... Args>
std::string call(const char* name, const Args&... args)
{
    std::ostringstream out;
    out << name << '(';
    [[maybe_unused]] const char* sep = "";
    ((out << sep << args, sep = ","), ...);
    out << ')';
    return out.str();
}
const char* str(const char* s) { return s ? s : "null"; }
const char kFakeWmaHeader[17] = "FAKE WMA HEADER!";
// Byte `offset` of a fake track's PCM.
std::uint8_t FakePcmByte(DWORD track, QWORD offset)
{
    return static_cast<std::uint8_t>((offset * 7 + track * 31 + (offset >> 9)) & 0xFF);
}
} // namespace

std::string CdTextBlock(const std::vector<std::string>& entries)
{
    std::string block;
    for (const std::string& e : entries) {
        block += e;
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

void FakeAudioLibrary::log(std::string entry)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(entry));
}

std::vector<std::string> FakeAudioLibrary::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> FakeAudioLibrary::callsNamed(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& c : calls()) {
        if (c.rfind(prefix, 0) == 0)
            out.push_back(c);
    }
    return out;
}

void FakeAudioLibrary::clearCalls()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

bool FakeAudioLibrary::failing(const char* op)
{
    auto it = failures.find(op);
    if (it == failures.end())
        return false;
    m_lastError = it->second;
    return true;
}

bool FakeAudioLibrary::setError(int code)
{
    m_lastError = code;
    return false;
}

bool FakeAudioLibrary::ok()
{
    m_lastError = BASS_OK;
    return true;
}

FakeDrive* FakeAudioLibrary::drive(DWORD index)
{
    return index < drives.size() && drives[index].present ? &drives[index] : nullptr;
}

FakeAudioLibrary::Stream* FakeAudioLibrary::stream(HSTREAM handle)
{
    auto it = m_streams.find(handle);
    return it == m_streams.end() ? nullptr : &it->second;
}

FakeAudioLibrary::Stream* FakeAudioLibrary::live(DWORD handle)
{
    Stream* s = stream(handle);
    if (!s || s->freed) {
        m_lastError = BASS_ERROR_HANDLE;
        return nullptr;
    }
    return s;
}

int FakeAudioLibrary::fireSync(HSTREAM handle, DWORD type, DWORD data)
{
    Stream* s = stream(handle);
    if (!s || s->freed)
        return 0;
    std::vector<Stream::Sync> due;
    auto& syncs = s->syncs;
    for (auto it = syncs.begin(); it != syncs.end();) {
        if (it->type == type) {
            due.push_back(*it);
            if (type & BASS_SYNC_ONETIME) {
                it = syncs.erase(it);
                continue;
            }
        }
        ++it;
    }
    for (const auto& sync : due)
        sync.proc(sync.handle, handle, data, sync.user);
    return static_cast<int>(due.size());
}

// Output.

bool FakeAudioLibrary::BASS_Init(int device, DWORD freq, DWORD flags, std::uintptr_t window, const void* clsid)
{
    log(call("BASS_Init", device, freq, flags, window, clsid ? "clsid" : "null"));
    if (failing("BASS_Init"))
        return false;
    if (m_initialised)
        return setError(BASS_ERROR_ALREADY);
    m_initialised = true;
    return ok();
}

bool FakeAudioLibrary::BASS_Stop()
{
    log(call("BASS_Stop"));
    return m_initialised ? ok() : setError(BASS_ERROR_INIT);
}

bool FakeAudioLibrary::BASS_Free()
{
    log(call("BASS_Free"));
    if (failing("BASS_Free") || !m_initialised)
        return m_initialised ? false : setError(BASS_ERROR_INIT);
    m_initialised = false;
    return ok();
}

DWORD FakeAudioLibrary::BASS_SetConfig(DWORD option, DWORD value)
{
    log(call("BASS_SetConfig", option, value));
    ok();
    return value;
}

int FakeAudioLibrary::BASS_GetVolume()
{
    log(call("BASS_GetVolume"));
    if (failing("BASS_GetVolume") || !m_initialised)
        return m_initialised ? -1 : (setError(BASS_ERROR_INIT), -1);
    ok();
    return volume;
}

int FakeAudioLibrary::BASS_ErrorGetCode()
{
    return m_lastError;
}

// Drives and discs.

const char* FakeAudioLibrary::BASS_CD_GetDriveDescription(DWORD index)
{
    log(call("BASS_CD_GetDriveDescription", index));
    FakeDrive* d = drive(index);
    if (!d)
        return setError(BASS_ERROR_DEVICE), nullptr;
    ok();
    return d->description.c_str();
}

int FakeAudioLibrary::BASS_CD_GetDriveLetter(DWORD index)
{
    log(call("BASS_CD_GetDriveLetter", index));
    return drive(index) ? (ok(), -1) : (setError(BASS_ERROR_DEVICE), -1);
}

const char* FakeAudioLibrary::QM_CD_GetDriveName(DWORD index)
{
    log(call("QM_CD_GetDriveName", index));
    FakeDrive* d = drive(index);
    if (!d)
        return setError(BASS_ERROR_DEVICE), nullptr;
    ok();
    return d->name.c_str();
}

bool FakeAudioLibrary::BASS_CD_GetInfo(DWORD index, BASS_CD_INFO* info)
{
    log(call("BASS_CD_GetInfo", index));
    FakeDrive* d = drive(index);
    if (!d || d->infoFails || !info)
        return setError(d ? BASS_ERROR_NOTAVAIL : BASS_ERROR_DEVICE);
    *info = d->info;
    info->size = 28;
    return ok();
}

bool FakeAudioLibrary::BASS_CD_IsReady(DWORD index)
{
    log(call("BASS_CD_IsReady", index));
    FakeDrive* d = drive(index);
    if (!d)
        return setError(BASS_ERROR_DEVICE);
    return d->ready && !d->doorOpen ? ok() : setError(BASS_ERROR_NOCD);
}

int FakeAudioLibrary::BASS_CD_GetTracks(DWORD index)
{
    log(call("BASS_CD_GetTracks", index));
    FakeDrive* d = drive(index);
    if (!d || !d->ready || d->doorOpen)
        return setError(d ? BASS_ERROR_NOCD : BASS_ERROR_DEVICE), -1;
    ok();
    return static_cast<int>(d->trackLengths.size());
}

std::int32_t FakeAudioLibrary::BASS_CD_GetTrackLength(DWORD index, DWORD track)
{
    log(call("BASS_CD_GetTrackLength", index, track));
    FakeDrive* d = drive(index);
    if (!d || !d->ready || d->doorOpen)
        return setError(d ? BASS_ERROR_NOCD : BASS_ERROR_DEVICE), -1;
    if (track >= d->trackLengths.size())
        return setError(BASS_ERROR_CDTRACK), -1;
    const std::int32_t length = d->trackLengths[track];
    if (length == 0)
        return setError(BASS_ERROR_NOTAUDIO), -1;
    if (length < 0)
        return setError(-length), -1;
    ok();
    return length;
}

const char* FakeAudioLibrary::BASS_CD_GetID(DWORD index, DWORD id)
{
    log(call("BASS_CD_GetID", index, id));
    FakeDrive* d = drive(index);
    if (!d || id != BASS_CDID_TEXT || !d->cdText)
        return setError(BASS_ERROR_NOTAVAIL), nullptr;
    ok();
    return d->cdText->c_str();
}

bool FakeAudioLibrary::BASS_CD_Door(DWORD index, DWORD action)
{
    log(call("BASS_CD_Door", index, action));
    FakeDrive* d = drive(index);
    if (!d)
        return setError(BASS_ERROR_DEVICE);
    switch (action) {
    case BASS_CD_DOOR_CLOSE: d->doorOpen = false; return ok();
    case BASS_CD_DOOR_OPEN:
        if (d->doorLocked)
            return setError(BASS_ERROR_NOTAVAIL);
        d->doorOpen = true;
        return ok();
    case BASS_CD_DOOR_LOCK:
        if (!d->info.canlock)
            return setError(BASS_ERROR_NOTAVAIL);
        d->doorLocked = true;
        return ok();
    case BASS_CD_DOOR_UNLOCK: d->doorLocked = false; return ok();
    default: return setError(BASS_ERROR_ILLPARAM);
    }
}

bool FakeAudioLibrary::BASS_CD_DoorIsOpen(DWORD index)
{
    log(call("BASS_CD_DoorIsOpen", index));
    FakeDrive* d = drive(index);
    return d ? (ok(), d->doorOpen) : setError(BASS_ERROR_DEVICE);
}

bool FakeAudioLibrary::BASS_CD_DoorIsLocked(DWORD index)
{
    log(call("BASS_CD_DoorIsLocked", index));
    FakeDrive* d = drive(index);
    return d ? (ok(), d->doorLocked) : setError(BASS_ERROR_DEVICE);
}

HSTREAM FakeAudioLibrary::BASS_CD_StreamCreate(DWORD index, DWORD track, DWORD flags)
{
    log(call("BASS_CD_StreamCreate", index, track, flags));
    if (failing("BASS_CD_StreamCreate"))
        return 0;
    FakeDrive* d = drive(index);
    if (!d)
        return setError(BASS_ERROR_DEVICE), 0;
    if (!d->ready || d->doorOpen)
        return setError(BASS_ERROR_NOCD), 0;
    if (track >= d->trackLengths.size())
        return setError(BASS_ERROR_CDTRACK), 0;
    if (d->trackLengths[track] <= 0)
        return setError(BASS_ERROR_NOTAUDIO), 0;
    if (!(flags & BASS_STREAM_DECODE) && !m_initialised)
        return setError(BASS_ERROR_INIT), 0;
    Stream s;
    s.drive = index;
    s.track = track;
    s.flags = flags;
    s.length = static_cast<QWORD>(d->trackLengths[track]);
    // Decoding streams are active from creation; playing ones once started.
    s.state = (flags & BASS_STREAM_DECODE) ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
    const HSTREAM handle = m_nextHandle++;
    m_streams[handle] = std::move(s);
    ok();
    return handle;
}

// Channels.

bool FakeAudioLibrary::BASS_StreamPlay(HSTREAM handle, bool flush, DWORD flags)
{
    log(call("BASS_StreamPlay", handle, flush ? 1 : 0, flags));
    Stream* s = live(handle);
    if (!s)
        return false;
    if (s->flags & BASS_STREAM_DECODE)
        return setError(BASS_ERROR_DECODE);
    if (flush)
        s->position = 0;
    s->state = BASS_ACTIVE_PLAYING;
    return ok();
}

bool FakeAudioLibrary::BASS_ChannelPause(DWORD handle)
{
    log(call("BASS_ChannelPause", handle));
    Stream* s = live(handle);
    if (!s)
        return false;
    if (s->state != BASS_ACTIVE_PLAYING)
        return setError(BASS_ERROR_NOPLAY);
    s->state = BASS_ACTIVE_PAUSED;
    return ok();
}

bool FakeAudioLibrary::BASS_ChannelResume(DWORD handle)
{
    log(call("BASS_ChannelResume", handle));
    Stream* s = live(handle);
    if (!s)
        return false;
    if (s->state != BASS_ACTIVE_PAUSED)
        return setError(BASS_ERROR_NOPAUSE);
    s->state = BASS_ACTIVE_PLAYING;
    return ok();
}

bool FakeAudioLibrary::BASS_ChannelStop(DWORD handle)
{
    log(call("BASS_ChannelStop", handle));
    Stream* s = live(handle);
    if (!s)
        return false;
    s->state = BASS_ACTIVE_STOPPED;
    if (s->flags & BASS_STREAM_AUTOFREE)
        s->freed = true;
    return ok();
}

bool FakeAudioLibrary::BASS_StreamFree(HSTREAM handle)
{
    log(call("BASS_StreamFree", handle));
    Stream* s = live(handle);
    if (!s)
        return false;
    s->freed = true;
    s->state = BASS_ACTIVE_STOPPED;
    return ok();
}

DWORD FakeAudioLibrary::BASS_ChannelIsActive(DWORD handle)
{
    log(call("BASS_ChannelIsActive", handle));
    Stream* s = live(handle);
    if (!s)
        return BASS_ACTIVE_STOPPED;
    ok();
    return s->state;
}

bool FakeAudioLibrary::BASS_ChannelSetAttributes(DWORD handle, int freq, int vol, int pan)
{
    log(call("BASS_ChannelSetAttributes", handle, freq, vol, pan));
    Stream* s = live(handle);
    if (!s)
        return false;
    if (vol != -1)
        s->volume = std::clamp(vol, 0, 100);
    if (pan != -101)
        s->pan = std::clamp(pan, -100, 100);
    return ok();
}

bool FakeAudioLibrary::BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* vol, int* pan)
{
    log(call("BASS_ChannelGetAttributes", handle));
    Stream* s = live(handle);
    if (!s)
        return false;
    if (freq)
        *freq = 44100;
    if (vol)
        *vol = static_cast<DWORD>(s->volume);
    if (pan)
        *pan = s->pan;
    return ok();
}

bool FakeAudioLibrary::BASS_ChannelSlideAttributes(DWORD handle, int freq, int vol, int pan, DWORD time)
{
    log(call("BASS_ChannelSlideAttributes", handle, freq, vol, pan, time));
    return live(handle) ? ok() : false;
}

bool FakeAudioLibrary::BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info)
{
    log(call("BASS_ChannelGetInfo", handle));
    Stream* s = live(handle);
    if (!s || !info)
        return s ? setError(BASS_ERROR_ILLPARAM) : false;
    *info = BASS_CHANNELINFO{44100, 2, s->flags, 0x10000};
    return ok();
}

QWORD FakeAudioLibrary::BASS_ChannelGetPosition(DWORD handle)
{
    log(call("BASS_ChannelGetPosition", handle));
    Stream* s = live(handle);
    if (!s)
        return BASS_POSITION_ERROR;
    ok();
    return s->position;
}

bool FakeAudioLibrary::BASS_ChannelSetPosition(DWORD handle, QWORD pos)
{
    log(call("BASS_ChannelSetPosition", handle, pos));
    Stream* s = live(handle);
    if (!s)
        return false;
    if (pos > s->length)
        return setError(BASS_ERROR_POSITION);
    s->position = pos;
    return ok();
}

QWORD FakeAudioLibrary::BASS_StreamGetLength(HSTREAM handle)
{
    log(call("BASS_StreamGetLength", handle));
    Stream* s = live(handle);
    if (!s)
        return BASS_POSITION_ERROR;
    ok();
    return s->length;
}

float FakeAudioLibrary::BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    log(call("BASS_ChannelBytes2Seconds", handle, pos));
    if (!live(handle))
        return -1.0f;
    ok();
    return static_cast<float>(static_cast<double>(pos) / 176400.0);
}

DWORD FakeAudioLibrary::BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length)
{
    const DWORD n = getData(handle, buffer, length);
    ++blocks;
    if (onBlock)
        onBlock(blocks);
    return n;
}

DWORD FakeAudioLibrary::getData(DWORD handle, void* buffer, DWORD length)
{
    log(call("BASS_ChannelGetData", handle, length));
    if (failing("BASS_ChannelGetData"))
        return BASS_DATA_ERROR;
    Stream* s = live(handle);
    if (!s)
        return BASS_DATA_ERROR;
    if (!(s->flags & BASS_STREAM_DECODE))
        return setError(BASS_ERROR_NOTAVAIL), BASS_DATA_ERROR;
    if (s->state == BASS_ACTIVE_STOPPED)
        return setError(BASS_ERROR_NOPLAY), BASS_DATA_ERROR;
    const QWORD left = s->length - s->position;
    const DWORD n = static_cast<DWORD>(std::min<QWORD>(left, length));
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (DWORD i = 0; i < n; ++i)
        out[i] = FakePcmByte(s->track, s->position + i);
    s->position += n;
    if (s->position >= s->length) {
        s->state = BASS_ACTIVE_STOPPED;
        if (s->flags & BASS_STREAM_AUTOFREE)
            s->freed = true;
        // The end of a stream that frees itself ends its encoder's input.
        const auto e = m_encoders.find(handle);
        if (e != m_encoders.end() && e->second.attached && !encoderStalls) {
            e->second.inputEnded = true;
            endEncoder(e->second, encoderStatus);
        }
    }
    ok();
    return n;
}

HSYNC FakeAudioLibrary::BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC proc, DWORD user)
{
    log(call("BASS_ChannelSetSync", handle, type, param, user));
    Stream* s = live(handle);
    if (!s)
        return 0;
    const HSYNC sync = m_nextSync++;
    s->syncs.push_back({sync, type, std::move(proc), user});
    ok();
    return sync;
}

// Files.

HSTREAM FakeAudioLibrary::BASS_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags)
{
    log(call("BASS_StreamCreateFile", mem ? 1 : 0, str(file), offset, length, flags));
    return openFile(file, flags);
}

HSTREAM FakeAudioLibrary::BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags)
{
    log(call("BASS_WMA_StreamCreateFile", mem ? 1 : 0, str(file), offset, length, flags));
    return openFile(file, flags);
}

HSTREAM FakeAudioLibrary::openFile(const char* file, DWORD flags)
{
    const auto it = file ? files.find(file) : files.end();
    if (it == files.end())
        return setError(BASS_ERROR_FILEOPEN), 0;
    Stream s;
    s.track = 99;
    s.flags = flags;
    s.length = it->second;
    s.state = (flags & BASS_STREAM_DECODE) ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
    const HSTREAM handle = m_nextHandle++;
    m_streams[handle] = std::move(s);
    ok();
    return handle;
}

// WMA.

const DWORD* FakeAudioLibrary::BASS_WMA_EncodeGetRates(DWORD freq, DWORD flags)
{
    log(call("BASS_WMA_EncodeGetRates", freq, flags));
    if (!wmaAvailable)
        return setError(BASS_ERROR_NOTAVAIL), nullptr;
    ok();
    return wmaRates.data();
}

HWMENCODE FakeAudioLibrary::BASS_WMA_EncodeOpenFile(DWORD freq, DWORD flags, DWORD bitrate, const char* file)
{
    log(call("BASS_WMA_EncodeOpenFile", freq, flags, bitrate, str(file)));
    if (failing("BASS_WMA_EncodeOpenFile"))
        return 0;
    ok();
    return 0x1000 + m_nextHandle++;
}

HWMENCODE FakeAudioLibrary::QM_WMA_EncodeOpenWriter(DWORD freq, DWORD flags, DWORD bitrate, QM_WMWRITEPROC proc)
{
    log(call("QM_WMA_EncodeOpenWriter", freq, flags, bitrate));
    if (failing("QM_WMA_EncodeOpenWriter"))
        return 0;
    ok();
    const HWMENCODE handle = 0x1000 + m_nextHandle++;
    m_wmaFiles[handle] = WmaFile{std::move(proc), 0, true};
    return handle;
}

// A fake WMA file: a 16-byte header, written when the tags end and again at
// the close, then the PCM as it came.
bool FakeAudioLibrary::writeWma(HWMENCODE handle, QWORD offset, const void* data, DWORD length)
{
    const auto it = m_wmaFiles.find(handle);
    if (it == m_wmaFiles.end())
        return true; // opened by name: nothing is written
    WmaFile& f = it->second;
    f.ok = f.ok && f.proc(offset, data, length);
    f.end = std::max(f.end, offset + length);
    return f.ok;
}

bool FakeAudioLibrary::BASS_WMA_EncodeSetTag(HWMENCODE handle, const char* tag, const char* text)
{
    log(call("BASS_WMA_EncodeSetTag", handle, str(tag), str(text)));
    if (tag && !*tag && !writeWma(handle, 0, kFakeWmaHeader, 16))
        return setError(BASS_ERROR_CREATE);
    return ok();
}

bool FakeAudioLibrary::BASS_WMA_EncodeWrite(HWMENCODE handle, const void* buffer, DWORD length)
{
    log(call("BASS_WMA_EncodeWrite", handle, length));
    if (failing("BASS_WMA_EncodeWrite"))
        return false;
    const auto it = m_wmaFiles.find(handle);
    if (it != m_wmaFiles.end() && !writeWma(handle, it->second.end, buffer, length))
        return setError(BASS_ERROR_CREATE);
    return ok();
}

bool FakeAudioLibrary::BASS_WMA_EncodeClose(HWMENCODE handle)
{
    log(call("BASS_WMA_EncodeClose", handle));
    const bool written = writeWma(handle, 0, kFakeWmaHeader, 16);
    m_wmaFiles.erase(handle);
    if (failing("BASS_WMA_EncodeClose"))
        return false;
    return written ? ok() : setError(BASS_ERROR_CREATE);
}

// Encoders: one runs until its input ends (the stream's end, EndInput or a
// stop), then ends as encoderStatus says; one that exits 0 writes the file
// named last on its command line, as lame and oggenc do.

void FakeAudioLibrary::endEncoder(Encoder& e, QM_ENCODE_STATUS how)
{
    if (e.status.finished)
        return;
    e.status = how;
    e.status.finished = true;
    if (how.exitCode == 0 && how.signal == 0 && encoderWritesFile && !e.output.empty()) {
        if (std::FILE* f = std::fopen(e.output.c_str(), "wb")) {
            std::fputs("fake encoded audio", f);
            std::fclose(f);
        }
    }
}

HENCODE FakeAudioLibrary::BASS_Encode_Start(DWORD handle, const char* cmdline, DWORD flags, void*, void*)
{
    log(call("BASS_Encode_Start", handle, str(cmdline), flags));
    if (failing("BASS_Encode_Start") || !live(handle))
        return 0;
    Encoder e;
    const std::string line = str(cmdline);
    const auto close = line.rfind('"');
    const auto open = close == std::string::npos || close == 0 ? std::string::npos : line.rfind('"', close - 1);
    if (open != std::string::npos)
        e.output = line.substr(open + 1, close - open - 1);
    e.status = QM_ENCODE_STATUS{true, false, -1, 0};
    if (encoderEndsEarly)
        endEncoder(e, encoderStatus);
    m_encoders[handle] = std::move(e);
    ok();
    return handle;
}

bool FakeAudioLibrary::BASS_Encode_Stop(DWORD handle)
{
    log(call("BASS_Encode_Stop", handle));
    const auto it = m_encoders.find(handle);
    if (it == m_encoders.end() || !it->second.attached)
        return setError(BASS_ERROR_HANDLE);
    endEncoder(it->second, encoderStatus);
    it->second.attached = false;
    return ok();
}

bool FakeAudioLibrary::QM_Encode_GetStatus(DWORD handle, QM_ENCODE_STATUS* status)
{
    log(call("QM_Encode_GetStatus", handle));
    if (!status)
        return setError(BASS_ERROR_ILLPARAM);
    if (failing("QM_Encode_GetStatus"))
        return false;
    const auto it = m_encoders.find(handle);
    if (it == m_encoders.end())
        return setError(BASS_ERROR_HANDLE);
    *status = it->second.status;
    return ok();
}

bool FakeAudioLibrary::QM_Encode_Flush(DWORD handle, DWORD ms, bool* empty)
{
    log(call("QM_Encode_Flush", handle, ms));
    const auto it = m_encoders.find(handle);
    if (it == m_encoders.end() || !it->second.attached)
        return setError(BASS_ERROR_HANDLE);
    const bool stalled = encoderStalls && !it->second.inputEnded;
    if (stalled)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<DWORD>(ms, 20)));
    if (empty)
        *empty = !stalled;
    return ok();
}

bool FakeAudioLibrary::QM_Encode_EndInput(DWORD handle)
{
    log(call("QM_Encode_EndInput", handle));
    const auto it = m_encoders.find(handle);
    if (it == m_encoders.end() || !it->second.attached)
        return setError(BASS_ERROR_HANDLE);
    it->second.inputEnded = true;
    if (!encoderStalls)
        endEncoder(it->second, encoderStatus);
    return ok();
}

bool FakeAudioLibrary::QM_Encode_Kill(DWORD handle)
{
    log(call("QM_Encode_Kill", handle));
    const auto it = m_encoders.find(handle);
    if (it == m_encoders.end() || !it->second.attached)
        return setError(BASS_ERROR_HANDLE);
    endEncoder(it->second, QM_ENCODE_STATUS{true, true, -1, 9});
    return ok();
}

} // namespace qm::test
