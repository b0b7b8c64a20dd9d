#pragma once
// The 44-byte header of a PCM WAV file, and a file that becomes visible under
// its final name only when it is complete: an existing file of that name is
// replaced whole, or, when the rip fails, left as it was.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <vector>

namespace qm {

// RIFF record, format record and data-chunk header, little-endian.
QByteArray WavHeader(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                     std::uint32_t dataSize);

// Byte offsets of the two sizes patched when the data is complete.
constexpr qint64 kWavRiffSizeOffset = 4;
constexpr qint64 kWavDataSizeOffset = 40;

class OutputFile {
public:
    explicit OutputFile(QString finalPath);
    ~OutputFile(); // an unfinished file is removed

    bool open();
    bool write(const char* data, qint64 size);
    bool writeAt(qint64 offset, const QByteArray& bytes);
    // Flush, close and move into place.
    bool commit();
    void discard();
    QString errorString() const { return m_error; }
    bool isOpen() const { return m_file.isOpen(); }

private:
    bool fail();
    bool writePending();
    QString m_final;
    QFile m_file;
    QString m_error;
    // Blocks arrive small (a CD reader's size); the file gets them a
    // mebibyte at a time, which saves a system call per block.
    static constexpr std::size_t kBatch = 1 << 20;
    std::vector<char> m_pending;
    static constexpr qint64 kWriteBehindStep = 8 << 20;
    qint64 m_writeBehind = 0; // bytes already handed to the disk
};

} // namespace qm
