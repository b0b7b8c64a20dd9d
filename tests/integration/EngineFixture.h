#pragma once
// Shared set-up of the engine tests: a private folder for images and an
// engine that sees only the images a test names (never the machine's drives).

#include "DiscImageWriter.h"
#include "platform/audio/CdAudioEngine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace qm::test {

class EngineTest : public ::testing::Test {
protected:
    WrittenImage write(const DiscLayout& layout, const QString& name = QStringLiteral("disc"))
    {
        return WriteDiscImage(m_dir.path(), name, layout);
    }
    CdAudioEngine& open(const QStringList& images, const QString& demo = {})
    {
        m_engine = std::make_unique<CdAudioEngine>(images, demo, CdAudioEngine::DriveScan::ImagesOnly, m_config);
        return *m_engine;
    }
    CdAudioEngine& openImage(const WrittenImage& image) { return open(QStringList{image.cue}); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Everything a decoding stream delivers, in blocks of `block` bytes.
    static Pcm drain(AudioLibrary& lib, HSTREAM stream, DWORD block)
    {
        Pcm all, buf(block);
        while (lib.BASS_ChannelIsActive(stream) != BASS_ACTIVE_STOPPED) {
            const DWORD got = lib.BASS_ChannelGetData(stream, buf.data(), block);
            if (got == BASS_DATA_ERROR || got == 0)
                break;
            all.insert(all.end(), buf.begin(), buf.begin() + got);
        }
        return all;
    }

    QTemporaryDir m_dir;
    // What the next open() builds its engine with.
    EngineConfig m_config{.output = {.kind = "null:fast"}};
    std::unique_ptr<CdAudioEngine> m_engine;
};

} // namespace qm::test
