#pragma once
// The main window for tests: over the fake engine (or a real one given to
// make), with scripted dialogs and a recording front end. make() builds it,
// start() also runs the start-up and then stops the playback timer, whose
// ticks tests run by hand.

#include "FakeAudioLibrary.h"
#include "RecordingFrontEnd.h"
#include "ScriptedDialogs.h"
#include "app/frmMain.h"
#include "cd/DrivePanel.h"
#include "cd/TrackList.h"
#include "player/Player.h"
#include "rip/RipController.h"
#include "settings/OptionsPanels.h"
#include "settings/SettingsPanel.h"

#include <QCoreApplication>
#include <QDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace qm::test {

constexpr std::int32_t kSecond = static_cast<std::int32_t>(kCdBytesPerSecond);

struct WindowRig {
    FakeAudioLibrary audio;
    ScriptedDialogs dialogs;
    RecordingFrontEnd* frontEnd = nullptr;
    std::unique_ptr<frmMain> window;
    QTemporaryDir dir;
    QStringList ripWindows; // "ripStop=N" for each rip window opened, when watched
    meta::LookupConfig lookup; // what make() gives the window: by default no lookups

    virtual ~WindowRig()
    {
        if (window)
            window->close();
        window.reset();
    }

    // A drive that can open and lock, holding `tracks` tracks of `bytes` each.
    FakeDrive& addDrive(int tracks = 3, std::int32_t bytes = 10 * kSecond)
    {
        FakeDrive d;
        d.info.canopen = 1;
        d.info.canlock = 1;
        d.trackLengths.assign(static_cast<std::size_t>(tracks), bytes);
        audio.drives.push_back(d);
        return audio.drives.back();
    }

    // With a recording front end unless `scene` is given.
    frmMain& make(AudioLibrary* engine = nullptr, std::unique_ptr<FrontEnd> scene = nullptr,
                  const QString& resources = QStringLiteral(QUILLMERE_BIN_DIR))
    {
        if (!scene) {
            auto fe = std::make_unique<RecordingFrontEnd>();
            frontEnd = fe.get();
            // Each variable and scene load names the audio call made just before it.
            frontEnd->stamp = [this] {
                const auto calls = audio.calls();
                return calls.empty() ? QString() : QString::fromStdString(calls.back());
            };
            scene = std::move(fe);
        }
        window = std::make_unique<frmMain>(engine ? *engine : audio, dialogs, std::move(scene), resources, lookup);
        // Tests tick faster than a door moves and want each tick to look.
        window->drives().doorPollMs = 0;
        return *window;
    }

    frmMain& start(AudioLibrary* engine = nullptr, std::unique_ptr<FrontEnd> scene = nullptr)
    {
        make(engine, std::move(scene));
        if (window->Form_Load() != frmMain::LoadResult::Running)
            ADD_FAILURE() << "start-up failed";
        window->player().tmrPlaybackPosition->stop();
        window->settings().options->txtExtractPath->setText(dir.path());
        audio.clearCalls();
        return *window;
    }

    // Rip windows are noted and closed before their job starts.
    void watchRipWindows()
    {
        QObject::connect(&window->rip(), &RipController::ripWindowOpening, window.get(), [this](QWidget* w) {
            ripWindows << QStringLiteral("ripStop=%1").arg(int(window->state().ripStop));
            QTimer::singleShot(0, w, [w] { static_cast<QDialog*>(w)->done(0); });
        });
    }

    QTreeWidget* list() const { return window->tracks().lsTracks; }
    QStringList calls() const { return texts(audio.calls()); }
    QStringList callsNamed(const char* prefix) const { return texts(audio.callsNamed(prefix)); }
    // The tracks started since the calls were last cleared.
    QStringList started() const { return callsNamed("BASS_CD_StreamCreate"); }

    int selectedRow() const { return window->tracks().SelectedRow(); }
    void select(int row)
    {
        list()->clearSelection();
        if (row > 0)
            list()->topLevelItem(row - 1)->setSelected(true);
    }
    void check(const std::vector<int>& rows)
    {
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            list()->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
        for (int row : rows)
            list()->topLevelItem(row - 1)->setCheckState(0, Qt::Checked);
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

struct PlayerRig : WindowRig {
    explicit PlayerRig(int tracks = 3) { addDrive(tracks); }
};

} // namespace qm::test
