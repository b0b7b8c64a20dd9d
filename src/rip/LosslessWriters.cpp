#include "LosslessWriters.h"

#include "diag/ErrorReport.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <opus/opusenc.h>

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <vector>

namespace qm {

namespace {

constexpr int kErrEncodedFile = 75; // the file cannot be opened or written
const QString kFlacRoutine = QStringLiteral("ExtractAudioTrackToFLAC");
const QString kOpusRoutine = QStringLiteral("ExtractAudioTrackToOpus");
constexpr unsigned kSeekPointSeconds = 10;
// Room for tags added later without moving the audio; the cover's bytes come
// on top of it.
constexpr unsigned kFlacPadding = 8192;

PcmFormat FormatOf(AudioLibrary& audio, HSTREAM stream)
{
    BASS_CHANNELINFO info;
    PcmFormat f;
    if (!audio.BASS_ChannelGetInfo(stream, &info))
        return f;
    f.rate = info.freq;
    f.channels = info.chans;
    f.sixteenBit = (info.flags & BASS_SAMPLE_8BITS) == 0;
    const QWORD length = audio.BASS_StreamGetLength(stream);
    if (length != BASS_POSITION_ERROR && f.channels > 0)
        f.frames = length / f.frameBytes();
    return f;
}

RipFailure StreamFailure(int code)
{
    return {RipFailure::Box::Plain, QStringLiteral("Unable to Create CD Stream!"), 0, QString(),
            QStringLiteral("the track could not be opened (%1)").arg(AudioErrorText(code))};
}

RipFailure ReadFailure(int code, const QString& routine)
{
    const QString what = QStringLiteral("The disc could not be read (%1, code %2)").arg(AudioErrorText(code)).arg(code);
    return {RipFailure::Box::Report, what, kErrRead, routine, what};
}

// The system's words when our file failed, else the encoder's.
RipFailure WriteFailure(const OutputFile& file, const QString& routine, const QString& encoder, const QString& words)
{
    if (!file.errorString().isEmpty())
        return {RipFailure::Box::Report, QStringLiteral("Path/File access error: %1").arg(file.errorString()),
                kErrEncodedFile, routine, file.errorString()};
    const QString what = QStringLiteral("The %1 encoder failed: %2").arg(encoder, words);
    return {RipFailure::Box::Warning, what, 0, QString(), what};
}

const QString kNotWritten = QStringLiteral("its file could not be written");

QString Unsupported(const PcmFormat& f)
{
    return QStringLiteral("the track's audio (%1 Hz, %2 channels%3) cannot be encoded")
        .arg(f.rate)
        .arg(f.channels)
        .arg(f.sixteenBit ? QString() : QStringLiteral(", not 16-bit"));
}

} // namespace

InProcessWriter::InProcessWriter(AudioLibrary& audio, const QString& path, std::optional<TrackTags> tags,
                                 TagFormat format, QString encoder, QString routine)
    : m_audio(audio), m_file(path), m_tags(std::move(tags)), m_format(format), m_encoder(std::move(encoder)),
      m_routine(std::move(routine))
{
}

std::optional<PcmFormat> InProcessWriter::begin(HSTREAM stream, unsigned maxChannels)
{
    const PcmFormat format = FormatOf(m_audio, stream);
    const bool taken = format.sixteenBit && format.channels >= 1 && format.channels <= maxChannels && format.rate > 0;
    if (!taken || !m_file.create()) {
        failed(taken ? kNotWritten : Unsupported(format));
        return std::nullopt;
    }
    return format;
}

bool InProcessWriter::failed(const QString& words)
{
    return fail(WriteFailure(m_file, m_routine, m_encoder, words));
}

void InProcessWriter::streamFailed(int code)
{
    fail(StreamFailure(code));
}

void InProcessWriter::readFailed(int code)
{
    fail(ReadFailure(code, m_routine));
}

RipResult InProcessWriter::finish(bool failedBefore, bool cancelled)
{
    bool ok = !failedBefore && complete();
    // Tags are written by name: what is still buffered must be in the file.
    if (ok && m_file.size() < 0)
        ok = failed(kNotWritten);
    if (QString why; ok && m_tags && !WriteTags(m_file.tempPath(), m_format, *m_tags, &why))
        ok = failed(QStringLiteral("the tags could not be written: %1").arg(why));
    if (ok && !m_file.commit())
        ok = failed(kNotWritten);
    close();
    if (!ok) {
        m_file.discard();
        return RipResult::Failed;
    }
    return cancelled ? RipResult::Cancelled : RipResult::Ripped;
}

// ---------------------------------------------------------------- FLAC

struct FlacWriter::Encoder {
    explicit Encoder(OutputFile& out) : file(out) {}
    ~Encoder()
    {
        // Deleting an encoder that was not finished writes nothing more.
        if (flac)
            FLAC__stream_encoder_delete(flac);
        if (seekTable)
            FLAC__metadata_object_delete(seekTable);
        if (padding)
            FLAC__metadata_object_delete(padding);
    }

    // libFLAC writes the stream in order, then goes back to complete the
    // STREAMINFO block and the seek table.
    static FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                                uint32_t, uint32_t, void* self)
    {
        auto& e = *static_cast<Encoder*>(self);
        const bool ok = e.pos == e.end ? e.file.append(buffer, bytes) : e.file.writeAt(e.pos, buffer, bytes);
        if (!ok)
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        e.pos += bytes;
        e.end = std::max(e.end, e.pos);
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }
    static FLAC__StreamEncoderSeekStatus Seek(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* self)
    {
        auto& e = *static_cast<Encoder*>(self);
        if (offset > e.end)
            return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        e.pos = offset;
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    }
    static FLAC__StreamEncoderTellStatus Tell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* self)
    {
        *offset = static_cast<Encoder*>(self)->pos;
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    // Points past what was encoded (after a Stop) become placeholders, which
    // players skip, rather than points into audio that is not there.
    void trimSeekTable() const
    {
        if (!seekTable)
            return;
        for (uint32_t i = 0; i < seekTable->data.seek_table.num_points; ++i) {
            FLAC__StreamMetadata_SeekPoint& p = seekTable->data.seek_table.points[i];
            if (p.sample_number != FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER && p.sample_number >= sent)
                p = {FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER, 0, 0};
        }
    }

    OutputFile& file;
    FLAC__StreamEncoder* flac = nullptr;
    FLAC__StreamMetadata* seekTable = nullptr;
    FLAC__StreamMetadata* padding = nullptr;
    std::uint64_t pos = 0, end = 0; // in the file
    std::uint64_t sent = 0;         // sample frames handed to the encoder
    unsigned channels = 2;
    std::vector<FLAC__int32> samples; // one block, widened
};

FlacWriter::FlacWriter(AudioLibrary& audio, const QString& path, Settings settings, std::optional<TrackTags> tags)
    : InProcessWriter(audio, path, std::move(tags), TagFormat::Flac, QStringLiteral("FLAC"), kFlacRoutine),
      m_settings(settings)
{
}

FlacWriter::~FlacWriter() = default;

bool FlacWriter::open(HSTREAM stream)
{
    const std::optional<PcmFormat> begun = begin(stream, 8);
    if (!begun)
        return false;
    const PcmFormat& format = *begun;
    m_encoder = std::make_unique<Encoder>(m_file);
    Encoder& e = *m_encoder;
    e.channels = format.channels;
    e.flac = FLAC__stream_encoder_new();
    if (!e.flac) {
        m_file.discard();
        return failed(QStringLiteral("out of memory"));
    }
    FLAC__stream_encoder_set_channels(e.flac, format.channels);
    FLAC__stream_encoder_set_bits_per_sample(e.flac, 16);
    FLAC__stream_encoder_set_sample_rate(e.flac, format.rate);
    FLAC__stream_encoder_set_compression_level(e.flac, unsigned(std::clamp(m_settings.level, 0, 8)));
    FLAC__stream_encoder_set_verify(e.flac, m_settings.verify);
    FLAC__StreamMetadata* metadata[2];
    unsigned blocks = 0;
    if (format.frames > 0) {
        FLAC__stream_encoder_set_total_samples_estimate(e.flac, format.frames);
        // A template: libFLAC fills each point in as it encodes that frame.
        e.seekTable = FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE);
        if (e.seekTable
            && FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
                e.seekTable, kSeekPointSeconds * format.rate, format.frames)
            && FLAC__metadata_object_seektable_template_sort(e.seekTable, true))
            metadata[blocks++] = e.seekTable;
    }
    e.padding = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
    if (e.padding) {
        const auto cover = m_tags ? std::min<qsizetype>(m_tags->cover.size(), 1 << 23) : 0;
        e.padding->length = kFlacPadding + unsigned(cover);
        metadata[blocks++] = e.padding;
    }
    FLAC__stream_encoder_set_metadata(e.flac, metadata, blocks);
    const FLAC__StreamEncoderInitStatus init = FLAC__stream_encoder_init_stream(
        e.flac, &Encoder::Write, &Encoder::Seek, &Encoder::Tell, nullptr, m_encoder.get());
    if (init != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        const QString words = init == FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR
                                  ? QString::fromLatin1(FLAC__stream_encoder_get_resolved_state_string(e.flac))
                                  : QString::fromLatin1(FLAC__StreamEncoderInitStatusString[init]);
        m_file.discard();
        return failed(words);
    }
    return true;
}

bool FlacWriter::write(const char* data, DWORD bytes)
{
    Encoder& e = *m_encoder;
    // The stream delivers whole sample frames, little-endian; one pass
    // widens them into the buffer every block reuses.
    const std::size_t count = bytes / 2;
    if (e.samples.size() < count)
        e.samples.resize(count);
    FLAC__int32* out = e.samples.data();
    for (std::size_t i = 0; i < count; ++i)
        out[i] = qFromLittleEndian<qint16>(data + 2 * i);
    const auto frames = static_cast<uint32_t>(count / e.channels);
    if (!FLAC__stream_encoder_process_interleaved(e.flac, out, frames))
        return failed(QString::fromLatin1(FLAC__stream_encoder_get_resolved_state_string(e.flac)));
    e.sent += frames;
    return true;
}

bool FlacWriter::complete()
{
    if (!m_encoder)
        return false;
    // Also after a Stop: the shorter stream gets its own length and MD5.
    Encoder& e = *m_encoder;
    e.trimSeekTable();
    if (!FLAC__stream_encoder_finish(e.flac))
        return failed(QString::fromLatin1(FLAC__stream_encoder_get_resolved_state_string(e.flac)));
    return true;
}

void FlacWriter::close()
{
    m_encoder.reset();
}

// ---------------------------------------------------------------- Opus

struct OpusWriter::Encoder {
    explicit Encoder(OutputFile& out) : file(out) {}
    ~Encoder()
    {
        if (opus)
            ope_encoder_destroy(opus);
    }

    static int Write(void* self, const unsigned char* data, opus_int32 length)
    {
        auto& e = *static_cast<Encoder*>(self);
        e.writeFailed = e.writeFailed || !e.file.append(data, std::size_t(length));
        return e.writeFailed ? 1 : 0;
    }
    // The file is closed when it is put in place.
    static int Close(void*) { return 0; }

    OutputFile& file;
    OggOpusEnc* opus = nullptr;
    unsigned channels = 2;
    bool writeFailed = false;
    std::vector<opus_int16> samples; // where the block must be copied to be read as samples
};

OpusWriter::OpusWriter(AudioLibrary& audio, const QString& path, int kbps, std::optional<TrackTags> tags)
    : InProcessWriter(audio, path, std::move(tags), TagFormat::Opus, QStringLiteral("Opus"), kOpusRoutine), m_kbps(kbps)
{
}

OpusWriter::~OpusWriter() = default;

bool OpusWriter::open(HSTREAM stream)
{
    const std::optional<PcmFormat> begun = begin(stream, 2);
    if (!begun)
        return false;
    const PcmFormat& format = *begun;
    m_encoder = std::make_unique<Encoder>(m_file);
    Encoder& e = *m_encoder;
    e.channels = format.channels;
    const OpusEncCallbacks callbacks{&Encoder::Write, &Encoder::Close};
    // The tags come later, from TagLib, as for every format.
    OggOpusComments* comments = ope_comments_create();
    int error = OPE_ALLOC_FAIL;
    // libopusenc resamples anything but 48 kHz itself.
    if (comments) {
        e.opus = ope_encoder_create_callbacks(&callbacks, &e, comments, opus_int32(format.rate), int(format.channels),
                                              0, &error);
        ope_comments_destroy(comments);
    }
    QString words = QString::fromUtf8(ope_strerror(error));
    if (e.opus && error == OPE_OK) {
        error = ope_encoder_ctl(e.opus, OPUS_SET_BITRATE(m_kbps * 1000));
        words = QStringLiteral("%1 kbps (%2)").arg(m_kbps).arg(QString::fromUtf8(ope_strerror(error)));
    }
    if (!e.opus || error != OPE_OK) {
        m_file.discard();
        return failed(words);
    }
    return true;
}

bool OpusWriter::write(const char* data, DWORD bytes)
{
    Encoder& e = *m_encoder;
    const std::size_t count = bytes / 2;
    const opus_int16* in = nullptr;
    // The block is already the samples libopusenc takes, except on a
    // big-endian machine or when it is not aligned for them.
    if constexpr (std::endian::native == std::endian::little) {
        if (reinterpret_cast<std::uintptr_t>(data) % alignof(opus_int16) == 0)
            in = reinterpret_cast<const opus_int16*>(data);
    }
    if (!in) {
        if (e.samples.size() < count)
            e.samples.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            e.samples[i] = qFromLittleEndian<qint16>(data + 2 * i);
        in = e.samples.data();
    }
    const int error = ope_encoder_write(e.opus, in, int(count / e.channels));
    if (error != OPE_OK || e.writeFailed)
        return failed(QString::fromUtf8(ope_strerror(error)));
    return true;
}

bool OpusWriter::complete()
{
    if (!m_encoder)
        return false;
    // Also after a Stop: the last packets and the stream's end.
    Encoder& e = *m_encoder;
    const int error = ope_encoder_drain(e.opus);
    if (error != OPE_OK || e.writeFailed)
        return failed(QString::fromUtf8(ope_strerror(error)));
    return true;
}

void OpusWriter::close()
{
    m_encoder.reset();
}

} // namespace qm
