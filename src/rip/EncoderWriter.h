#pragma once
// MP3 and OGG: the track pulled through lame or oggenc, which write the file
// themselves. The encoder is watched: one that stops reading, ends early,
// fails or writes nothing fails the track, and its file never takes the
// final name. Failures go to the error log; the window shows no box.

#include "OutputFile.h"
#include "RipWriter.h"
#include "TrackTags.h"

#include <QString>
#include <optional>

namespace qm {

// The encoder command line for a format code ("MP3C", "MP3V", "OGGC",
// "OGGV", compared case-sensitively); "" for any other code.
QString EncoderCommandLine(const QString& format, const QString& bitrate, const QString& outputFile);

class EncoderWriter : public RipWriter {
public:
    struct Settings {
        QString format;  // MP3C, MP3V, OGGC or OGGV
        QString bitrate; // kilobits per second
        QString output;  // the final file
        QString source;  // as the error log names it: a track's 0-based number or a file
        int watchdogMs = 30000;
    };
    // The library is restarted on `window`; `currentStream` is freed first,
    // and `stop` is the rip stop flag.
    // `tags` are written into the finished file before it takes its name.
    EncoderWriter(AudioLibrary& audio, std::uintptr_t window, HSTREAM& currentStream, const bool& stop,
                  Settings settings, std::optional<TrackTags> tags = std::nullopt);

    DWORD blockSize() const override { return 262144; }
    bool clearsStopFlag() const override { return false; }
    bool prepare() override;
    void streamFailed(int code) override;
    bool open(HSTREAM stream) override;
    bool write(const char* data, DWORD bytes) override;
    void readFailed(int code) override;
    RipResult finish(bool failed, bool cancelled) override;
    void release() override;

private:
    bool failed(const QString& reason, int code);
    bool drain();
    bool awaitExit();
    QString ended(const QM_ENCODE_STATUS& status) const;

    AudioLibrary& m_audio;
    std::uintptr_t m_window;
    HSTREAM& m_currentStream;
    const bool& m_stop;
    Settings m_settings;
    std::optional<TrackTags> m_tags;
    QString m_program; // the encoder's name, for messages
    OutputFile m_file;
    HSTREAM m_stream = 0;
    bool m_prepared = false; // the library was restarted: release shuts it down
};

} // namespace qm
