#pragma once
// FLAC and Opus, encoded in-process from the track's PCM as it is read, into
// the rip's temporary file, tagged and put in place like every other format.

#include "OutputFile.h"
#include "RipWriter.h"
#include "TrackTags.h"

#include <memory>
#include <optional>

namespace qm {

class FlacWriter : public RipWriter {
public:
    struct Settings {
        int level = 5;       // compression level, 0-8
        bool verify = false; // decode while encoding and compare
    };
    FlacWriter(AudioLibrary& audio, const QString& path, Settings settings, std::optional<TrackTags> tags);
    ~FlacWriter() override;

    DWORD blockSize() const override { return 20000; }
    bool clearsStopFlag() const override { return true; }
    void streamFailed(int code) override;
    bool open(HSTREAM stream) override;
    bool write(const char* data, DWORD bytes) override;
    void readFailed(int code) override;
    RipResult finish(bool failed, bool cancelled) override;

private:
    struct Encoder;
    bool failed(const QString& words);

    AudioLibrary& m_audio;
    OutputFile m_file;
    Settings m_settings;
    std::optional<TrackTags> m_tags;
    std::unique_ptr<Encoder> m_encoder;
};

class OpusWriter : public RipWriter {
public:
    // kbps: 64, 96, 128, 160, 192 or 256.
    OpusWriter(AudioLibrary& audio, const QString& path, int kbps, std::optional<TrackTags> tags);
    ~OpusWriter() override;

    DWORD blockSize() const override { return 20000; }
    bool clearsStopFlag() const override { return true; }
    void streamFailed(int code) override;
    bool open(HSTREAM stream) override;
    bool write(const char* data, DWORD bytes) override;
    void readFailed(int code) override;
    RipResult finish(bool failed, bool cancelled) override;

private:
    struct Encoder;
    bool failed(const QString& words);

    AudioLibrary& m_audio;
    OutputFile m_file;
    int m_kbps;
    std::optional<TrackTags> m_tags;
    std::unique_ptr<Encoder> m_encoder;
};

} // namespace qm
