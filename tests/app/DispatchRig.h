#pragma once
// The main window with its doubles, for tests of the scene's commands. What
// each command did is read from its outcomes: the engine's calls (a track
// start summed up as PlayTrack(n)), the settings store and the rip window.

#include "FakeAudioLibrary.h"
#include "RecordingFrontEnd.h"
#include "ScriptedDialogs.h"
#include "app/WindowDrag.h"
#include "MainWindow.h"
#include "cd/DrivePanel.h"
#include "cd/TrackList.h"
#include "player/Player.h"
#include "rip/RipController.h"
#include "settings/CRegister.h"
#include "settings/OptionsPanels.h"
#include "settings/SettingsPanel.h"
#include "settings/modSettings.h"

#include <QDialog>
#include <QFrame>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

// Readable failure messages for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace qm::test {

// Sees whether the settings were loaded or saved since it was armed: a
// marker in a box that a load overwrites and a save stores.
class SettingsProbe {
public:
    void arm(frmMain& w)
    {
        m_box = w.settings().options->txtWMATags[7];
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QLatin1String(modSettings::kSection), kKey, QString());
        m_box->setText(kMarker);
    }
    bool loaded() const { return m_box && m_box->text() != kMarker; }
    bool saved() const
    {
        return CRegister().REGGetSetting(HKEY_LOCAL_MACHINE, QLatin1String(modSettings::kSection), kKey, {}) ==
               kMarker;
    }

private:
    static inline const QString kKey = QStringLiteral("WMA Tag#7");
    static inline const QString kMarker = QStringLiteral("@probe");
    QLineEdit* m_box = nullptr;
};

// A started window whose rip window, when one opens, is noted and closed
// before its job starts.
class WatchedWindow : public frmMain {
public:
    WatchedWindow(AudioLibrary& audio, Dialogs& dialogs, std::unique_ptr<FrontEnd> frontEnd, const QString& resources)
        : frmMain(audio, dialogs, std::move(frontEnd), resources)
    {
        QObject::connect(&rip(), &RipController::ripWindowOpening, this, [this](QWidget* window) {
            ops << QStringLiteral("ShowRipWindow(ripStop=%1)").arg(int(state().ripStop));
            QTimer::singleShot(0, window, [window] { static_cast<QDialog*>(window)->done(0); });
        });
    }
    QStringList ops;
};

// Notes each variable with the audio call made just before it.
class OrderedFrontEnd : public RecordingFrontEnd {
public:
    explicit OrderedFrontEnd(FakeAudioLibrary& audio) : m_audio(audio) {}
    void SetVariable(const QString& name, const QString& value) override
    {
        const auto calls = m_audio.calls();
        log << name + "=" + value + " after " + QString::fromStdString(calls.empty() ? "" : calls.back());
        RecordingFrontEnd::SetVariable(name, value);
    }
    QStringList log;

private:
    FakeAudioLibrary& m_audio;
};

class RigDialogs : public ScriptedDialogs {
public:
    MsgAnswer MessageBox(QWidget* owner, const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons) override
    {
        const MsgAnswer answer = ScriptedDialogs::MessageBox(owner, text, title, icon, buttons);
        if (duringBox)
            duringBox();
        return answer;
    }
    bool OpenDocument(const QString& path) override
    {
        ScriptedDialogs::OpenDocument(path);
        return documentOpens;
    }
    std::function<void()> duringBox; // runs while the box would be open
    bool documentOpens = true;
};

struct DispatchRig {
    FakeAudioLibrary audio;
    RigDialogs dialogs;
    OrderedFrontEnd* fe = nullptr;
    std::unique_ptr<WatchedWindow> window;
    QString framesAtClear;
    SettingsProbe settings;
    QTemporaryDir folder;

    // A started, shown window: `rows` rows, row `selected` selected (0: none),
    // the `checked` rows checked, stream 1 playing, every frame hidden.
    void start(int rows = 3, int selected = 2, const QList<int>& checked = {3})
    {
        if (audio.drives.empty())
            audio.drives.push_back(FakeDrive{});
        audio.drives[0].trackLengths = {176400, 176400, 176400, 176400};
        auto frontEnd = std::make_unique<OrderedFrontEnd>(audio);
        fe = frontEnd.get();
        window = std::make_unique<WatchedWindow>(audio, dialogs, std::move(frontEnd),
                                                 QStringLiteral(QUILLMERE_BIN_DIR));
        if (window->Form_Load() != frmMain::LoadResult::Running)
            ADD_FAILURE() << "start-up failed";
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            ADD_FAILURE() << "window not exposed";
        window->settings().options->txtExtractPath->setText(folder.path());
        window->tracks().lsTracks->clear();
        for (int i = 1; i <= rows; ++i) {
            auto* item = new QTreeWidgetItem(window->tracks().lsTracks, {QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'))});
            item->setData(0, Qt::UserRole, i - 1);
            item->setCheckState(0, checked.contains(i) ? Qt::Checked : Qt::Unchecked);
        }
        window->tracks().lsTracks->clearSelection();
        if (selected > 0 && selected <= rows)
            window->tracks().lsTracks->topLevelItem(selected - 1)->setSelected(true);
        window->state().currentStream = audio.BASS_CD_StreamCreate(0, 0, 0);
        audio.BASS_StreamPlay(window->state().currentStream, false, 0);
        window->state().ripStop = true;
        setFrames(false);
    }

    void setFrames(bool visible)
    {
        for (QFrame* f : {window->tracks().frMain, window->drives().frCDInfo, window->settings().frFileFormat,
                          window->settings().frGeneralOptions})
            f->setVisible(visible);
    }

    void clear()
    {
        audio.clearCalls();
        window->ops.clear();
        fe->variables.clear();
        fe->log.clear();
        dialogs.boxes.clear();
        dialogs.documents.clear();
        framesAtClear = frames();
        settings.arm(*window);
    }

    QStringList calls() const
    {
        QStringList list;
        for (const std::string& c : audio.calls())
            list << QString::fromStdString(c);
        return list;
    }

    // The calls with each track start (stop, create, attributes, play, syncs)
    // summed up as PlayTrack(track), a reading of the drive's abilities as
    // ShowDriveInfo and of its disc as LoadTrackList.
    QStringList summedCalls() const
    {
        QStringList out;
        const QStringList all = calls();
        auto skip = [&](qsizetype& i, std::initializer_list<const char*> names) {
            auto named = [&](const QString& c) {
                return std::any_of(names.begin(), names.end(), [&](const char* n) { return c.startsWith(n); });
            };
            while (i + 1 < all.size() && named(all[i + 1]))
                ++i;
        };
        for (qsizetype i = 0; i < all.size(); ++i) {
            const QString& c = all[i];
            if (c.startsWith("BASS_CD_GetInfo(")) {
                out << "ShowDriveInfo";
                skip(i, {"BASS_CD_DoorIsLocked("});
                continue;
            }
            if (c.startsWith("BASS_CD_IsReady(")) {
                out << "LoadTrackList";
                skip(i, {"BASS_CD_GetTracks(", "BASS_CD_GetID(", "BASS_CD_GetTrackLength(", "BASS_ErrorGetCode("});
                continue;
            }
            if (c.startsWith("BASS_CD_StreamCreate(")) {
                if (!out.isEmpty() && out.last().startsWith("BASS_ChannelStop("))
                    out.removeLast();
                out << "PlayTrack(" + c.section(',', 1, 1) + ")";
                while (i + 1 < all.size() && (all[i + 1].startsWith("BASS_ChannelSetAttributes(") ||
                                              all[i + 1].startsWith("BASS_StreamPlay(") ||
                                              all[i + 1].startsWith("BASS_ChannelSetSync(")))
                    ++i;
                continue;
            }
            out << c;
        }
        return out;
    }

    QString initCall() const
    {
        return QStringLiteral("BASS_Init(1,44100,0,%1,null)").arg(window->windowHandle());
    }

    // The visible frames, bottom to top.
    QString frames() const
    {
        QStringList names;
        for (QObject* child : window->children()) {
            auto* f = qobject_cast<QFrame*>(child);
            if (f && (f == window->tracks().frMain || f == window->drives().frCDInfo || f == window->settings().frFileFormat ||
                      f == window->settings().frGeneralOptions) && f->isVisibleTo(window.get()))
                names << f->objectName();
        }
        return "frames:" + names.join(',');
    }

    int selectedRow() const
    {
        const auto items = window->tracks().lsTracks->selectedItems();
        return items.isEmpty() ? 0 : window->tracks().lsTracks->indexOfTopLevelItem(items.first()) + 1;
    }

    // Everything the last command did, grouped: operations, audio calls,
    // variables, boxes, documents, window state, frames (when changed) and
    // the selected row.
    QStringList observe() const
    {
        QStringList seen = window->ops;
        if (settings.loaded())
            seen << "LoadSettings";
        if (settings.saved())
            seen << "SaveSettings";
        seen << summedCalls();
        const bool listLoaded = seen.contains("LoadTrackList");
        for (const auto& v : fe->variables)
            if (!listLoaded || (!v.first.endsWith("Enabled") && v.first != "_root.ChangeStatus"))
                seen << "var:" + v.first + "=" + v.second;
        for (const ShownBox& b : dialogs.boxes)
            seen << "box:" + b.title;
        for (const QString& d : dialogs.documents)
            seen << "doc:" + d;
        if (ManualDragActive())
            seen << "dragging";
        if (window->isMinimized())
            seen << "minimized";
        if (!window->isVisible())
            seen << "closed";
        if (frames() != framesAtClear)
            seen << frames();
        seen << QStringLiteral("selected:%1").arg(selectedRow());
        return seen;
    }
};

} // namespace qm::test
