#pragma once
// A rip's output file, written under a temporary name beside its final one
// and put in place by a rename only when it is complete: an older file of
// the final name is replaced whole, or, when the rip fails, left as it was.
// The temporary file is created new (never through a link), and every
// failure carries the system's own words.

#include <QString>
#include <cstdint>
#include <sys/types.h>
#include <vector>

namespace qm {

class OutputFile {
public:
    explicit OutputFile(QString finalPath);
    ~OutputFile(); // an unfinished file is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Refuses a final name that holds a read-only file, a link or anything
    // but a file; then creates the temporary file.
    bool create();
    bool append(const void* data, std::size_t size);
    bool writeAt(std::uint64_t offset, const void* data, std::size_t size);
    // What the temporary file holds now; -1 when that cannot be told.
    qint64 size();
    // Flushes, closes and renames into place.
    bool commit();
    void discard();

    const QString& finalPath() const { return m_final; }
    const QString& tempPath() const { return m_temp; }
    const QString& errorString() const { return m_error; }

private:
    bool fail(int error);
    bool fail(const QString& what);
    bool writePending();
    bool writeAll(const char* data, std::size_t size, std::uint64_t* at);

    QString m_final;
    QString m_temp;
    QString m_error;
    int m_fd = -1;
    bool m_replacing = false; // an older file of the final name exists
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    // Blocks arrive small (a CD reader's size); the file gets them a
    // mebibyte at a time, which saves a system call per block.
    static constexpr std::size_t kBatch = 1 << 20;
    std::vector<char> m_pending;
    std::uint64_t m_end = 0; // where appended bytes go
    static constexpr std::uint64_t kWriteBehindStep = 8 << 20;
    std::uint64_t m_writeBehind = 0; // bytes already handed to the disk
};

} // namespace qm
