#pragma once
// The started main window with its doubles, for the player's tests. The
// playback timer is stopped after start-up; tests run its ticks by hand.

#include "FakeAudioLibrary.h"
#include "RecordingFrontEnd.h"
#include "ScriptedDialogs.h"
#include "MainWindow.h"

#include <QCoreApplication>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace qm::test {

constexpr std::int32_t kSecond = 176400; // bytes of CD audio per second

struct PlayerRig {
    FakeAudioLibrary audio;
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> window;

    // A drive that can open and lock, holding `tracks` ten-second tracks.
    explicit PlayerRig(int tracks = 3)
    {
        FakeDrive d;
        d.info.canopen = 1;
        d.info.canlock = 1;
        d.trackLengths.assign(static_cast<std::size_t>(tracks), 10 * kSecond);
        audio.drives.push_back(d);
    }

    frmMain& start()
    {
        window = std::make_unique<frmMain>(audio, dialogs, std::make_unique<RecordingFrontEnd>(),
                                           QStringLiteral(QUILLMERE_BIN_DIR));
        if (window->Form_Load() != frmMain::LoadResult::Running)
            ADD_FAILURE() << "start-up failed";
        window->player().tmrPlaybackPosition->stop();
        audio.clearCalls();
        return *window;
    }

    QStringList calls() const { return texts(audio.calls()); }
    QStringList callsNamed(const char* prefix) const { return texts(audio.callsNamed(prefix)); }
    // The tracks started since the calls were last cleared.
    QStringList started() const { return callsNamed("BASS_CD_StreamCreate"); }

    int selectedRow() const
    {
        const auto items = window->tracks().lsTracks->selectedItems();
        return items.isEmpty() ? 0 : window->tracks().lsTracks->indexOfTopLevelItem(items.first()) + 1;
    }
    void select(int row)
    {
        window->tracks().lsTracks->clearSelection();
        if (row > 0)
            window->tracks().lsTracks->topLevelItem(row - 1)->setSelected(true);
    }
    // Selects `row` and plays its track, as a double click does.
    HSTREAM playRow(int row)
    {
        select(row);
        window->PlayTrack(row - 1);
        return window->state().currentStream;
    }
    // Lets the window's thread run what the sync procedures posted.
    static void deliver() { QCoreApplication::processEvents(); }

private:
    static QStringList texts(const std::vector<std::string>& calls)
    {
        QStringList list;
        for (const std::string& c : calls)
            list << QString::fromStdString(c);
        return list;
    }
};

} // namespace qm::test
