#include "FakeAudioLibrary.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace qm::test {

namespace {
const char* str(const char* s) { return s ? s : "null"; }
const char kFakeWmaHeader[17] = "FAKE WMA HEADER!";
// Byte `offset` of a fake track's PCM.
std::uint8_t FakePcmByte(DWORD track, QWORD offset)
{
    return static_cast<std::uint8_t>((offset * 7 + track * 31 + (offset >> 9)) & 0xFF);
}

// The table of contents QM_CD_GetTOC reports.
QM_CD_TOC FakeToc(const FakeDrive& d)
{
    if (d.toc)
        return *d.toc;
    QM_CD_TOC made;
    std::int32_t sector = 0;
    for (std::size_t i = 0; i < d.trackLengths.size(); ++i) {
        const std::int32_t bytes = d.trackLengths[i];
        made.tracks.push_back({static_cast<int>(i) + 1, sector, bytes != 0});
        sector += bytes == 0 ? 1000 : (std::max(bytes, 0) + 2351) / 2352;
    }
    made.leadout = sector;
    return made;
}

// Bytes [from, from + n) of the disc; `from` may lie before its start.
void DiscBytes(const FakeDrive& d, const QM_CD_TOC& toc, std::int64_t from, std::uint8_t* out, std::size_t n)
{
    const std::int64_t end = std::int64_t{toc.leadout} * 2352;
    std::size_t t = 0; // the track that holds `at`, found once as the bytes go on
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t at = from + static_cast<std::int64_t>(i);
        out[i] = 0;
        if (at < 0 || at >= end || toc.tracks.empty())
            continue;
        while (t + 1 < toc.tracks.size() && at >= std::int64_t{toc.tracks[t + 1].start} * 2352)
            ++t;
        const std::int64_t p = at - std::int64_t{toc.tracks[t].start} * 2352;
        const std::int64_t length = t < d.trackLengths.size() && toc.tracks[t].audio ? std::max(d.trackLengths[t], 0) : 0;
        if (p >= 0 && p < length)
            out[i] = FakePcmByte(static_cast<DWORD>(t), static_cast<QWORD>(p));
    }
}
} // namespace

std::vector<std::uint8_t> FakeDiscPcm(const FakeDrive& drive)
{
    const QM_CD_TOC toc = FakeToc(drive);
    std::vector<std::uint8_t> pcm(static_cast<std::size_t>(std::max(toc.leadout, 0)) * 2352);
    DiscBytes(drive, toc, 0, pcm.data(), pcm.size());
    return pcm;
}

std::string CdTextBlock(const std::vector<std::string>& entries)
{
    std::string block;
    for (const std::string& e : entries)
        block += e + '\0';
    return block + '\0';
}

template <typename... Args>
bool FakeAudioLibrary::enter(const char* name, const Args&... args)
{
    std::ostringstream out;
    out << name << '(';
    [[maybe_unused]] const char* sep = "";
    ((out << sep << args, sep = ","), ...);
    out << ')';
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(out.str());
    }
    const auto it = failures.find(name);
    return it != failures.end() && !setError(it->second);
}

std::vector<std::string> FakeAudioLibrary::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> FakeAudioLibrary::callsNamed(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& c : calls())
        if (c.rfind(prefix, 0) == 0)
            out.push_back(c);
    return out;
}

void FakeAudioLibrary::clearCalls()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

FakeDrive* FakeAudioLibrary::drive(DWORD index)
{
    if (index < drives.size() && drives[index].present)
        return &drives[index];
    setError(BASS_ERROR_DEVICE);
    return nullptr;
}

FakeDrive* FakeAudioLibrary::disc(DWORD index)
{
    FakeDrive* d = drive(index);
    if (d && (!d->ready || d->doorOpen))
        return setError(BASS_ERROR_NOCD), nullptr;
    return d;
}

FakeAudioLibrary::Stream* FakeAudioLibrary::stream(HSTREAM handle)
{
    auto it = m_streams.find(handle);
    return it == m_streams.end() ? nullptr : &it->second;
}

FakeAudioLibrary::Stream* FakeAudioLibrary::live(DWORD handle)
{
    Stream* s = stream(handle);
    if (s && !s->freed)
        return s;
    setError(BASS_ERROR_HANDLE);
    return nullptr;
}

HSTREAM FakeAudioLibrary::addStream(DWORD drive, DWORD track, DWORD flags, QWORD length)
{
    Stream s;
    s.drive = drive, s.track = track, s.flags = flags, s.length = length;
    // Decoding streams are active from creation; playing ones once started.
    s.state = (s.flags & BASS_STREAM_DECODE) ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
    m_streams[m_nextHandle] = std::move(s);
    ok();
    return m_nextHandle++;
}

int FakeAudioLibrary::fireSync(HSTREAM handle, DWORD type, DWORD data)
{
    Stream* s = stream(handle);
    if (!s || s->freed)
        return 0;
    std::vector<Stream::Sync> due;
    std::copy_if(s->syncs.begin(), s->syncs.end(), std::back_inserter(due), [&](auto& y) { return y.type == type; });
    if (type & BASS_SYNC_ONETIME)
        std::erase_if(s->syncs, [&](auto& y) { return y.type == type; });
    for (const auto& sync : due)
        sync.proc(sync.handle, handle, data, sync.user);
    return static_cast<int>(due.size());
}

// Output.

bool FakeAudioLibrary::BASS_Init(int device, DWORD freq, DWORD flags, std::uintptr_t window, const void* clsid)
{
    if (enter(__func__, device, freq, flags, window, clsid ? "clsid" : "null"))
        return false;
    if (m_initialised)
        return setError(BASS_ERROR_ALREADY);
    return m_initialised = true, ok();
}

bool FakeAudioLibrary::BASS_Stop()
{
    return !enter(__func__) && (m_initialised ? ok() : setError(BASS_ERROR_INIT));
}

bool FakeAudioLibrary::BASS_Free()
{
    if (enter(__func__))
        return false;
    if (!m_initialised)
        return setError(BASS_ERROR_INIT);
    return m_initialised = false, ok();
}

DWORD FakeAudioLibrary::BASS_SetConfig(DWORD option, DWORD value)
{
    return enter(__func__, option, value) ? DWORD(-1) : (ok(), value);
}

int FakeAudioLibrary::BASS_GetVolume()
{
    if (enter(__func__) || (!m_initialised && !setError(BASS_ERROR_INIT)))
        return -1;
    return ok(), volume;
}

// Drives and discs.

const char* FakeAudioLibrary::BASS_CD_GetDriveDescription(DWORD index)
{
    const FakeDrive* d = enter(__func__, index) ? nullptr : drive(index);
    return d && ok() ? d->description.c_str() : nullptr;
}

const char* FakeAudioLibrary::QM_CD_GetDriveName(DWORD index)
{
    const FakeDrive* d = enter(__func__, index) ? nullptr : drive(index);
    return d && ok() ? d->name.c_str() : nullptr;
}

bool FakeAudioLibrary::BASS_CD_GetInfo(DWORD index, BASS_CD_INFO* info)
{
    FakeDrive* d = enter(__func__, index) ? nullptr : drive(index);
    if (!d || !info)
        return false;
    *info = d->info;
    info->size = 28;
    return ok();
}

bool FakeAudioLibrary::BASS_CD_IsReady(DWORD index)
{
    return !enter(__func__, index) && disc(index) && ok();
}

int FakeAudioLibrary::BASS_CD_GetTracks(DWORD index)
{
    FakeDrive* d = enter(__func__, index) ? nullptr : disc(index);
    return d ? (ok(), static_cast<int>(d->trackLengths.size())) : -1;
}

std::int32_t FakeAudioLibrary::BASS_CD_GetTrackLength(DWORD index, DWORD track)
{
    FakeDrive* d = enter(__func__, index, track) ? nullptr : disc(index);
    if (!d)
        return -1;
    const std::int32_t length = track < d->trackLengths.size() ? d->trackLengths[track] : -BASS_ERROR_CDTRACK;
    if (length <= 0)
        return setError(length ? -length : BASS_ERROR_NOTAUDIO), -1;
    return ok(), length;
}

const char* FakeAudioLibrary::BASS_CD_GetID(DWORD index, DWORD id)
{
    FakeDrive* d = enter(__func__, index, id) ? nullptr : drive(index);
    if (!d || id != BASS_CDID_TEXT || !d->cdText)
        return setError(BASS_ERROR_NOTAVAIL), nullptr;
    return ok(), d->cdText->c_str();
}

bool FakeAudioLibrary::QM_CD_GetTOC(DWORD index, QM_CD_TOC* toc)
{
    FakeDrive* d = enter(__func__, index) ? nullptr : disc(index);
    if (!d || !toc)
        return false;
    *toc = FakeToc(*d);
    return ok(), true;
}

bool FakeAudioLibrary::BASS_CD_Door(DWORD index, DWORD action)
{
    FakeDrive* d = enter(__func__, index, action) ? nullptr : drive(index);
    if (!d)
        return false;
    switch (action) {
    case BASS_CD_DOOR_CLOSE: d->doorOpen = false; return ok();
    case BASS_CD_DOOR_OPEN: return d->doorLocked ? setError(BASS_ERROR_NOTAVAIL) : (d->doorOpen = true, ok());
    case BASS_CD_DOOR_LOCK: return !d->info.canlock ? setError(BASS_ERROR_NOTAVAIL) : (d->doorLocked = true, ok());
    case BASS_CD_DOOR_UNLOCK: d->doorLocked = false; return ok();
    default: return setError(BASS_ERROR_ILLPARAM);
    }
}

bool FakeAudioLibrary::BASS_CD_DoorIsOpen(DWORD index)
{
    FakeDrive* d = enter(__func__, index) ? nullptr : drive(index);
    return d && ok() && d->doorOpen;
}

bool FakeAudioLibrary::BASS_CD_DoorIsLocked(DWORD index)
{
    FakeDrive* d = enter(__func__, index) ? nullptr : drive(index);
    return d && ok() && d->doorLocked;
}

HSTREAM FakeAudioLibrary::BASS_CD_StreamCreate(DWORD index, DWORD track, DWORD flags)
{
    FakeDrive* d = enter(__func__, index, track, flags) ? nullptr : disc(index);
    if (!d)
        return 0;
    if (track >= d->trackLengths.size())
        return setError(BASS_ERROR_CDTRACK), 0;
    if (d->trackLengths[track] <= 0)
        return setError(BASS_ERROR_NOTAUDIO), 0;
    if (!(flags & BASS_STREAM_DECODE) && !m_initialised)
        return setError(BASS_ERROR_INIT), 0;
    const HSTREAM handle = addStream(index, track, flags, QWORD(d->trackLengths[track]));
    Stream& s = m_streams[handle];
    s.cd = true;
    s.readOffset = d->readOffset;
    if (d->unstableTracks.count(track))
        s.unstableRead = ++m_unstableReads[{index, track}];
    return handle;
}

bool FakeAudioLibrary::QM_CD_IsImage(DWORD index)
{
    const FakeDrive* d = enter(__func__, index) ? nullptr : drive(index);
    return d && ok() && d->image;
}

bool FakeAudioLibrary::QM_CD_SetReadOffset(DWORD index, int samples)
{
    FakeDrive* d = enter(__func__, index, samples) ? nullptr : drive(index);
    if (!d)
        return false;
    if (std::abs(samples) > kMaxReadOffset)
        return setError(BASS_ERROR_ILLPARAM);
    d->readOffset = samples;
    return ok();
}

bool FakeAudioLibrary::QM_CD_GetReadErrors(HSTREAM handle, QM_CD_READ_ERRORS* errors)
{
    if (enter(__func__, handle))
        return false;
    const Stream* s = stream(handle);
    const bool ended = s && s->position >= s->length;
    if (!s || (s->freed && !(ended && (s->flags & BASS_STREAM_AUTOFREE))))
        return setError(BASS_ERROR_HANDLE);
    if (!s->cd)
        return setError(BASS_ERROR_NOTAVAIL);
    if (!errors)
        return setError(BASS_ERROR_ILLPARAM);
    *errors = {};
    if (ended && s->drive < drives.size()) {
        const auto& counted = drives[s->drive].readErrors;
        if (const auto it = counted.find(s->track); it != counted.end())
            *errors = it->second;
    }
    return ok();
}

void FakeAudioLibrary::fill(const Stream& s, std::uint8_t* out, DWORD length) const
{
    if (s.readOffset == 0 || s.drive >= drives.size()) {
        for (DWORD i = 0; i < length; ++i)
            out[i] = FakePcmByte(s.track, s.position + i);
    } else {
        const FakeDrive& d = drives[s.drive];
        const QM_CD_TOC toc = FakeToc(d);
        const std::int64_t start = s.track < toc.tracks.size() ? std::int64_t{toc.tracks[s.track].start} * 2352 : 0;
        DiscBytes(d, toc, start + static_cast<std::int64_t>(s.position) + std::int64_t{s.readOffset} * 4, out, length);
    }
    // An unstable track's reads each differ in one byte from the one before.
    const QWORD flip = s.length / 2;
    if (s.unstableRead && flip >= s.position && flip < s.position + length)
        out[flip - s.position] ^= static_cast<std::uint8_t>(s.unstableRead % 255 + 1);
}

// Channels.

bool FakeAudioLibrary::BASS_StreamPlay(HSTREAM handle, bool flush, DWORD flags)
{
    Stream* s = enter(__func__, handle, flush ? 1 : 0, flags) ? nullptr : live(handle);
    if (!s)
        return false;
    if (s->flags & BASS_STREAM_DECODE)
        return setError(BASS_ERROR_DECODE);
    if (flush)
        s->position = 0;
    s->state = BASS_ACTIVE_PLAYING;
    return ok();
}

// Moves a live stream from state `from` (any when 0) to `to`, freeing it when asked.
bool FakeAudioLibrary::move(const char* name, DWORD handle, DWORD from, DWORD to, bool free, int error)
{
    Stream* s = enter(name, handle) ? nullptr : live(handle);
    if (!s)
        return false;
    if (from && s->state != from)
        return setError(error);
    s->state = to;
    s->freed = free;
    return ok();
}

bool FakeAudioLibrary::BASS_ChannelPause(DWORD handle)
{
    return move(__func__, handle, BASS_ACTIVE_PLAYING, BASS_ACTIVE_PAUSED, false, BASS_ERROR_NOPLAY);
}

bool FakeAudioLibrary::BASS_ChannelResume(DWORD handle)
{
    return move(__func__, handle, BASS_ACTIVE_PAUSED, BASS_ACTIVE_PLAYING, false, BASS_ERROR_NOPAUSE);
}

bool FakeAudioLibrary::BASS_ChannelStop(DWORD handle)
{
    const Stream* s = stream(handle);
    return move(__func__, handle, 0, BASS_ACTIVE_STOPPED, s && (s->flags & BASS_STREAM_AUTOFREE), 0);
}

bool FakeAudioLibrary::BASS_StreamFree(HSTREAM handle)
{
    return move(__func__, handle, 0, BASS_ACTIVE_STOPPED, true, 0);
}

DWORD FakeAudioLibrary::BASS_ChannelIsActive(DWORD handle)
{
    Stream* s = enter(__func__, handle) ? nullptr : live(handle);
    return s ? (ok(), s->state) : BASS_ACTIVE_STOPPED;
}

bool FakeAudioLibrary::BASS_ChannelSetAttributes(DWORD handle, int freq, int vol, int pan)
{
    Stream* s = enter(__func__, handle, freq, vol, pan) ? nullptr : live(handle);
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
    Stream* s = enter(__func__, handle) ? nullptr : live(handle);
    if (!s || !freq || !vol || !pan)
        return s ? setError(BASS_ERROR_ILLPARAM) : false;
    *freq = 44100, *vol = static_cast<DWORD>(s->volume), *pan = s->pan;
    return ok();
}

bool FakeAudioLibrary::BASS_ChannelSlideAttributes(DWORD handle, int freq, int vol, int pan, DWORD time)
{
    return !enter(__func__, handle, freq, vol, pan, time) && live(handle) && ok();
}

bool FakeAudioLibrary::BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info)
{
    Stream* s = enter(__func__, handle) ? nullptr : live(handle);
    if (!s || !info)
        return s ? setError(BASS_ERROR_ILLPARAM) : false;
    *info = BASS_CHANNELINFO{44100, 2, s->flags, 0x10000};
    return ok();
}

QWORD FakeAudioLibrary::BASS_ChannelGetPosition(DWORD handle)
{
    Stream* s = enter(__func__, handle) ? nullptr : live(handle);
    return s ? (ok(), s->position) : BASS_POSITION_ERROR;
}

bool FakeAudioLibrary::BASS_ChannelSetPosition(DWORD handle, QWORD pos)
{
    Stream* s = enter(__func__, handle, pos) ? nullptr : live(handle);
    if (!s)
        return false;
    return pos > s->length ? setError(BASS_ERROR_POSITION) : (s->position = pos, ok());
}

QWORD FakeAudioLibrary::BASS_StreamGetLength(HSTREAM handle)
{
    Stream* s = enter(__func__, handle) ? nullptr : live(handle);
    return s ? (ok(), s->length) : BASS_POSITION_ERROR;
}

float FakeAudioLibrary::BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    if (enter(__func__, handle, pos) || !live(handle))
        return -1.0f;
    return ok(), static_cast<float>(static_cast<double>(pos) / 176400.0);
}

DWORD FakeAudioLibrary::BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length)
{
    const char* name = __func__; // a lambda's own is "operator()"
    const DWORD n = [&]() -> DWORD {
        Stream* s = enter(name, handle, length) ? nullptr : live(handle);
        if (!s)
            return BASS_DATA_ERROR;
        if (!(s->flags & BASS_STREAM_DECODE))
            return setError(BASS_ERROR_NOTAVAIL), BASS_DATA_ERROR;
        if (s->state == BASS_ACTIVE_STOPPED)
            return setError(BASS_ERROR_NOPLAY), BASS_DATA_ERROR;
        const DWORD got = static_cast<DWORD>(std::min<QWORD>(s->length - s->position, length));
        fill(*s, static_cast<std::uint8_t*>(buffer), got);
        s->position += got;
        if (s->position >= s->length) {
            s->state = BASS_ACTIVE_STOPPED;
            s->freed = s->flags & BASS_STREAM_AUTOFREE;
            if (Encoder* e = attached(handle); e && !encoderStalls)
                endInput(*e); // the end of a stream ends its encoder's input
        }
        return ok(), got;
    }();
    if (++blocks; onBlock)
        onBlock(blocks);
    return n;
}

HSYNC FakeAudioLibrary::BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC proc, DWORD user)
{
    Stream* s = enter(__func__, handle, type, param, user) ? nullptr : live(handle);
    if (!s)
        return 0;
    s->syncs.push_back({m_nextSync, type, std::move(proc), user});
    return ok(), m_nextSync++;
}

HSTREAM FakeAudioLibrary::BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags)
{
    if (enter(__func__, mem ? 1 : 0, str(file), offset, length, flags))
        return 0;
    const auto it = file ? files.find(file) : files.end();
    return it == files.end() ? (setError(BASS_ERROR_FILEOPEN), HSTREAM(0)) : addStream(0, 99, flags, it->second);
}

// WMA: a fake file is a 16-byte header, written when the tags end and again
// at the close, then the PCM as it came.

const DWORD* FakeAudioLibrary::BASS_WMA_EncodeGetRates(DWORD freq, DWORD flags)
{
    return enter(__func__, freq, flags) ? nullptr : (ok(), wmaRates.data());
}

HWMENCODE FakeAudioLibrary::QM_WMA_EncodeOpenWriter(DWORD freq, DWORD flags, DWORD bitrate, QM_WMWRITEPROC proc)
{
    if (enter(__func__, freq, flags, bitrate))
        return 0;
    const HWMENCODE handle = 0x1000 + m_nextHandle++;
    m_wmaFiles[handle] = {std::move(proc), 0};
    return ok(), handle;
}

bool FakeAudioLibrary::writeWma(HWMENCODE handle, QWORD offset, const void* data, DWORD length)
{
    const auto it = m_wmaFiles.find(handle);
    if (it == m_wmaFiles.end())
        return false;
    it->second.second = std::max(it->second.second, offset + length);
    return it->second.first(offset, data, length);
}

bool FakeAudioLibrary::BASS_WMA_EncodeSetTag(HWMENCODE handle, const char* tag, const char* text)
{
    if (enter(__func__, handle, str(tag), str(text)))
        return false;
    return tag && !*tag && !writeWma(handle, 0, kFakeWmaHeader, 16) ? setError(BASS_ERROR_CREATE) : ok();
}

bool FakeAudioLibrary::BASS_WMA_EncodeWrite(HWMENCODE handle, const void* buffer, DWORD length)
{
    if (enter(__func__, handle, length))
        return false;
    const auto it = m_wmaFiles.find(handle);
    const QWORD end = it == m_wmaFiles.end() ? 0 : it->second.second;
    return writeWma(handle, end, buffer, length) ? ok() : setError(BASS_ERROR_CREATE);
}

bool FakeAudioLibrary::BASS_WMA_EncodeClose(HWMENCODE handle)
{
    const bool failed = enter(__func__, handle);
    const bool written = failed || writeWma(handle, 0, kFakeWmaHeader, 16);
    m_wmaFiles.erase(handle);
    return !failed && (written ? ok() : setError(BASS_ERROR_CREATE));
}

// Encoders.

FakeAudioLibrary::Encoder* FakeAudioLibrary::attached(DWORD handle)
{
    const auto it = m_encoders.find(handle);
    return it != m_encoders.end() && it->second.attached ? &it->second : nullptr;
}

void FakeAudioLibrary::endInput(Encoder& e)
{
    e.inputEnded = true;
    if (!encoderStalls)
        endEncoder(e, encoderStatus);
}

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
    if (enter(__func__, handle, str(cmdline), flags) || !live(handle))
        return 0;
    Encoder e;
    const std::string line = str(cmdline);
    const auto close = line.rfind('"');
    const auto open = close == std::string::npos || close == 0 ? std::string::npos : line.rfind('"', close - 1);
    if (open != std::string::npos)
        e.output = line.substr(open + 1, close - open - 1);
    m_encoders[handle] = std::move(e);
    return ok(), handle;
}

bool FakeAudioLibrary::BASS_Encode_Stop(DWORD handle)
{
    Encoder* e = enter(__func__, handle) ? nullptr : attached(handle);
    return e ? (endEncoder(*e, encoderStatus), e->attached = false, ok()) : setError(BASS_ERROR_HANDLE);
}

bool FakeAudioLibrary::QM_Encode_GetStatus(DWORD handle, QM_ENCODE_STATUS* status)
{
    if (enter(__func__, handle))
        return false;
    const auto it = m_encoders.find(handle);
    if (it == m_encoders.end() || !status)
        return setError(status ? BASS_ERROR_HANDLE : BASS_ERROR_ILLPARAM);
    *status = it->second.status;
    return ok();
}

bool FakeAudioLibrary::QM_Encode_Flush(DWORD handle, DWORD ms, bool* empty)
{
    Encoder* e = enter(__func__, handle, ms) ? nullptr : attached(handle);
    if (!e)
        return setError(BASS_ERROR_HANDLE);
    const bool stalled = encoderStalls && !e->inputEnded;
    if (stalled) // as a real flush waits for the queue
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<DWORD>(ms, 20)));
    if (empty)
        *empty = !stalled;
    return ok();
}

bool FakeAudioLibrary::QM_Encode_EndInput(DWORD handle)
{
    Encoder* e = enter(__func__, handle) ? nullptr : attached(handle);
    return e ? (endInput(*e), ok()) : setError(BASS_ERROR_HANDLE);
}

bool FakeAudioLibrary::QM_Encode_Kill(DWORD handle)
{
    Encoder* e = enter(__func__, handle) ? nullptr : attached(handle);
    return e ? (endEncoder(*e, QM_ENCODE_STATUS{true, true, -1, 9}), ok()) : setError(BASS_ERROR_HANDLE);
}

} // namespace qm::test
