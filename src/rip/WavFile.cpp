#include "WavFile.h"

#include <QFileInfo>
#include <QtEndian>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace qm {

namespace {
void put32(QByteArray& out, std::uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
void put16(QByteArray& out, std::uint16_t v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}
} // namespace

QByteArray WavHeader(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                     std::uint32_t dataSize)
{
    const auto blockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
    QByteArray h;
    h.reserve(44);
    h += "RIFF";
    put32(h, dataSize == 0 ? 0 : dataSize + 36);
    h += "WAVE";
    h += "fmt ";
    put32(h, 16);
    put16(h, 1); // PCM
    put16(h, channels);
    put32(h, sampleRate);
    put32(h, blockAlign * sampleRate);
    put16(h, blockAlign);
    put16(h, bitsPerSample);
    h += "data";
    put32(h, dataSize);
    return h;
}

OutputFile::OutputFile(QString finalPath) : m_final(std::move(finalPath))
{
    // Written beside its final name, so the rename that completes it stays on
    // one file system.
    m_file.setFileName(m_final + QStringLiteral(".part"));
}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::fail()
{
    if (m_error.isEmpty())
        m_error = m_file.errorString();
    return false;
}

bool OutputFile::open()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("%1: %2").arg(m_final, m_file.errorString());
        return false;
    }
    return true;
}

bool OutputFile::write(const char* data, qint64 size)
{
    if (m_pending.capacity() < kBatch)
        m_pending.reserve(kBatch);
    m_pending.insert(m_pending.end(), data, data + size);
    return m_pending.size() < kBatch || writePending();
}

bool OutputFile::writePending()
{
    if (m_pending.empty())
        return true;
    const auto size = qint64(m_pending.size());
    const bool written = m_file.write(m_pending.data(), size) == size;
    m_pending.clear();
    if (!written)
        return fail();
    // Start the disk writing what is written as the track goes, so the sync
    // that completes the file finds little left to wait for. Only a hint: a
    // write error still shows at that sync.
    const qint64 end = m_file.pos();
    if (end - m_writeBehind >= kWriteBehindStep) {
        if (!m_file.flush())
            return fail();
        ::sync_file_range(m_file.handle(), m_writeBehind, end - m_writeBehind, SYNC_FILE_RANGE_WRITE);
        m_writeBehind = end;
    }
    return true;
}

bool OutputFile::writeAt(qint64 offset, const QByteArray& bytes)
{
    return (writePending() && m_file.seek(offset) && m_file.write(bytes) == bytes.size()) || fail();
}

bool OutputFile::commit()
{
    // A file that replaces an earlier one reaches the disk before the rename,
    // so a crash leaves the old file or the new one, never an empty one. A
    // new name risks nothing of the user's, and is left to the kernel's
    // write-back like any other program's output.
    const bool replacing = QFileInfo::exists(m_final);
    if (!writePending() || !m_file.flush() || (replacing && ::fsync(m_file.handle()) != 0))
        return fail();
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        return fail();
    if (std::rename(QFile::encodeName(m_file.fileName()).constData(), QFile::encodeName(m_final).constData()) != 0) {
        m_error = QStringLiteral("%1: cannot be put in place").arg(m_final);
        return false;
    }
    return true;
}

void OutputFile::discard()
{
    m_pending.clear();
    if (m_file.isOpen())
        m_file.close();
    if (QFileInfo::exists(m_file.fileName()))
        QFile::remove(m_file.fileName());
}

} // namespace qm
