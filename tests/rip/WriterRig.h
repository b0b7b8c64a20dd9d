#pragma once
// A main window over the fake library with one drive, for the writers' tests.

#include "FakeAudioLibrary.h"
#include "RecordingFrontEnd.h"
#include "ScriptedDialogs.h"
#include "app/frmMain.h"
#include "rip/ErrorLog.h"
#include "settings/OptionsPanels.h"

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace qm::test {

// The fake library with a hook after every block read.
class BlockWatchingLibrary : public FakeAudioLibrary {
public:
    std::function<void(int block)> onBlock;
    int blocks = 0;
    DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) override
    {
        const DWORD n = FakeAudioLibrary::BASS_ChannelGetData(handle, buffer, length);
        ++blocks;
        if (onBlock)
            onBlock(blocks);
        return n;
    }
    // Calls of interest, without the per-block polling.
    std::vector<std::string> callsWithout(std::initializer_list<const char*> skip) const
    {
        std::vector<std::string> out;
        for (const std::string& c : calls()) {
            bool keep = true;
            for (const char* s : skip)
                keep &= c.rfind(s, 0) != 0;
            if (keep)
                out.push_back(c);
        }
        return out;
    }
};

struct WriterRig : ::testing::Test {
    BlockWatchingLibrary audio;
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<frmMain> window;
    QString folder;

    void SetUp() override { QFile::remove(ErrorLogPath()); }

    frmMain& start(int tracks = 5, std::int32_t bytesPerTrack = 600000)
    {
        FakeDrive drive;
        drive.info.canlock = 1;
        drive.info.canopen = 1;
        drive.trackLengths.assign(static_cast<std::size_t>(tracks), bytesPerTrack);
        audio.drives = {drive};
        window = std::make_unique<frmMain>(audio, dialogs, std::make_unique<RecordingFrontEnd>(),
                                           QStringLiteral(QUILLMERE_BIN_DIR));
        EXPECT_EQ(window->Form_Load(), frmMain::LoadResult::Running);
        // The playback timer's polling would mix into the call logs.
        window->tmrPlaybackPosition->stop();
        folder = dir.path();
        window->options->txtExtractPath->setText(folder);
        audio.clearCalls();
        dialogs.boxes.clear();
        return *window;
    }
    bool doorLocked() const { return audio.drives[0].doorLocked; }
    QStringList logLines() const
    {
        QFile f(ErrorLogPath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
        EXPECT_EQ(lines.takeLast(), QString()) << "every line ends in CR LF";
        return lines;
    }
};

} // namespace qm::test
