#pragma once
// WAV: the track sample for sample after a 44-byte header whose sizes are
// written when the data is complete.

#include "OutputFile.h"
#include "RipWriter.h"

namespace qm {

class WavWriter : public RipWriter {
public:
    WavWriter(AudioLibrary& audio, const QString& path);

    DWORD blockSize() const override { return 20000; }
    bool clearsStopFlag() const override { return true; }
    void streamFailed(int code) override;
    bool open(HSTREAM stream) override;
    bool write(const char* data, DWORD bytes) override;
    void readFailed(int code) override;
    RipResult finish(bool failed, bool cancelled) override;

private:
    bool fileFailed();

    AudioLibrary& m_audio;
    OutputFile m_file;
    HSTREAM m_stream = 0;
    QWORD m_written = 0; // the stream's position after the last block
};

} // namespace qm
