#pragma once
// WMA: the track through the library's WMA encoder, with the plan's tags;
// the encoded bytes come back to us and go into our own file. Also the text
// of a WMA rate in the rate list.

#include "OutputFile.h"
#include "RipWriter.h"

#include <QLocale>
#include <utility>
#include <vector>

namespace qm {

// A WMA rate as the rate list shows it: kilobits per second, halves to the
// even neighbour, grouped as the locale groups thousands, then " Kbps".
QString WmaRateText(DWORD bitsPerSecond, const QLocale& locale);

class WmaWriter : public RipWriter {
public:
    using Tags = std::vector<std::pair<QString, QString>>;
    // A bitrate of 0 means no rate was offered: the track is refused.
    WmaWriter(AudioLibrary& audio, const QString& path, DWORD bitrate, Tags tags, int trackNumber);
    ~WmaWriter() override;

    DWORD blockSize() const override { return 20000; }
    bool clearsStopFlag() const override { return true; }
    bool prepare() override;
    void streamFailed(int code) override;
    bool open(HSTREAM stream) override;
    bool write(const char* data, DWORD bytes) override;
    void readFailed(int code) override;
    RipResult finish(bool failed, bool cancelled) override;

private:
    bool failed(const QString& message, int code);
    bool close();

    AudioLibrary& m_audio;
    OutputFile m_file;
    DWORD m_bitrate;
    Tags m_tags;
    int m_trackNumber;
    HWMENCODE m_encoder = 0;
};

} // namespace qm
