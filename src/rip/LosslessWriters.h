#pragma once
// FLAC and Opus, encoded in-process from the track's PCM as it is read, into
// the rip's temporary file, tagged and put in place like every other format.

#include "OutputFile.h"
#include "RipWriter.h"
#include "TrackTags.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace qm {

// The stream's layout; both encoders take 16-bit samples only.
struct PcmFormat {
    unsigned rate = 0;
    unsigned channels = 0;
    bool sixteenBit = false;
    std::uint64_t frames = 0; // per channel; 0 when the stream does not tell
    unsigned frameBytes() const { return 2 * channels; }
};

// What the two share: the file, the tags, how failures are told, and the end
// of a track (the encoder completes its stream, after a Stop too; then the
// tags; then the rename).
class InProcessWriter : public RipWriter {
public:
    DWORD blockSize() const override { return 20000; }
    bool clearsStopFlag() const override { return true; }
    void streamFailed(int code) override;
    void readFailed(int code) override;
    RipResult finish(bool failed, bool cancelled) override;

protected:
    InProcessWriter(AudioLibrary& audio, const QString& path, std::optional<TrackTags> tags, TagFormat format,
                    QString encoder, QString routine);
    // The stream's layout once it is one the encoder takes (at most
    // maxChannels) and the file is created; otherwise failed() has said why.
    std::optional<PcmFormat> begin(HSTREAM stream, unsigned maxChannels);
    // Completes the encoded stream; false when there is none or once
    // failed() has said why it could not be.
    virtual bool complete() = 0;
    // Drops the encoder.
    virtual void close() = 0;
    // The system's words when the file failed, else the encoder's; always false.
    bool failed(const QString& words);

    AudioLibrary& m_audio;
    OutputFile m_file;
    std::optional<TrackTags> m_tags;

private:
    TagFormat m_format;
    QString m_encoder; // for messages
    QString m_routine; // for failure reports
};

class FlacWriter : public InProcessWriter {
public:
    struct Settings {
        int level = 5;       // compression level, 0-8
        bool verify = false; // decode while encoding and compare
    };
    FlacWriter(AudioLibrary& audio, const QString& path, Settings settings, std::optional<TrackTags> tags);
    ~FlacWriter() override;

    bool open(HSTREAM stream) override;
    bool write(const char* data, DWORD bytes) override;

private:
    bool complete() override;
    void close() override;

    struct Encoder;
    Settings m_settings;
    std::unique_ptr<Encoder> m_encoder;
};

class OpusWriter : public InProcessWriter {
public:
    // kbps: 64, 96, 128, 160, 192 or 256.
    OpusWriter(AudioLibrary& audio, const QString& path, int kbps, std::optional<TrackTags> tags);
    ~OpusWriter() override;

    bool open(HSTREAM stream) override;
    bool write(const char* data, DWORD bytes) override;

private:
    bool complete() override;
    void close() override;

    struct Encoder;
    int m_kbps;
    std::unique_ptr<Encoder> m_encoder;
};

} // namespace qm
