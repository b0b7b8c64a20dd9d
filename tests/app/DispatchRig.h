#pragma once
// The started, shown window for tests of the scene's commands. What a command
// did is read from its outcomes: the engine's calls (summed up as PlayTrack,
// ShowDriveInfo, LoadTrackList), the settings store, the rip window opening,
// the scene's variables, the boxes, the frames and the selection.

#include "WindowRig.h"
#include "app/WindowDrag.h"
#include "settings/CRegister.h"
#include "settings/modSettings.h"

#include <QFrame>
#include <QTest>
#include <algorithm>

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

struct DispatchRig : WindowRig {
    QString framesAtClear;
    SettingsProbe settings;

    // `rows` rows, row `selected` selected (0: none), the `checked` rows
    // checked, stream 1 playing, every frame hidden, the rip stop flag raised.
    void start(int rows = 3, int selected = 2, const QList<int>& checked = {3})
    {
        if (audio.drives.empty())
            audio.drives.push_back(FakeDrive{});
        audio.drives[0].trackLengths = {kSecond, kSecond, kSecond, kSecond};
        WindowRig::start();
        watchRipWindows();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            ADD_FAILURE() << "window not exposed";
        list()->clear();
        for (int i = 1; i <= rows; ++i) {
            auto* item = new QTreeWidgetItem(list(), {QString::number(i)});
            item->setData(0, Qt::UserRole, i - 1);
            item->setCheckState(0, checked.contains(i) ? Qt::Checked : Qt::Unchecked);
        }
        select(selected <= rows ? selected : 0);
        window->state().currentStream = audio.BASS_CD_StreamCreate(0, 0, 0);
        audio.BASS_StreamPlay(window->state().currentStream, false, 0);
        window->state().ripStop = true;
        setFrames(false);
    }
    std::vector<QFrame*> allFrames() const
    {
        return {window->tracks().frMain, window->drives().frCDInfo, window->settings().frFileFormat,
                window->settings().frGeneralOptions};
    }
    void setFrames(bool visible)
    {
        for (QFrame* f : allFrames())
            f->setVisible(visible);
    }
    void clear()
    {
        audio.clearCalls();
        ripWindows.clear();
        frontEnd->variables.clear();
        frontEnd->log.clear();
        dialogs.boxes.clear();
        dialogs.documents.clear();
        framesAtClear = frames();
        settings.arm(*window);
    }
    void send(const QString& command, const QString& args = {}) { frontEnd->send(command, args); }

    // The calls, with a track start summed up as PlayTrack(track), a reading
    // of the drive's abilities as ShowDriveInfo and of its disc as LoadTrackList.
    QStringList summedCalls() const
    {
        // The call that starts each summary, and the calls that belong to it.
        static const std::map<QString, QStringList> sums{
            {"BASS_CD_StreamCreate", {"BASS_ChannelSetAttributes", "BASS_StreamPlay", "BASS_ChannelSetSync"}},
            {"BASS_CD_GetInfo", {"BASS_CD_DoorIsLocked"}},
            {"BASS_CD_IsReady", {"BASS_CD_GetTracks", "BASS_CD_GetID", "BASS_CD_GetTrackLength"}},
        };
        QStringList out, following;
        for (const QString& c : calls()) {
            const QString name = c.section('(', 0, 0);
            if (const auto sum = sums.find(name); sum != sums.end()) {
                following = sum->second;
                if (name == "BASS_CD_StreamCreate" && !out.isEmpty() && out.last().startsWith("BASS_ChannelStop("))
                    out.removeLast(); // a track start stops the stream before it
                out << (name == "BASS_CD_GetInfo"   ? QStringLiteral("ShowDriveInfo")
                        : name == "BASS_CD_IsReady" ? QStringLiteral("LoadTrackList")
                                                    : "PlayTrack(" + c.section(',', 1, 1) + ")");
            } else if (!following.contains(name)) {
                following.clear();
                out << c;
            }
        }
        return out;
    }

    // The visible frames, bottom to top.
    QString frames() const
    {
        QStringList names;
        const auto all = allFrames();
        for (QObject* child : window->children()) {
            auto* f = qobject_cast<QFrame*>(child);
            if (f && std::find(all.begin(), all.end(), f) != all.end() && f->isVisibleTo(window.get()))
                names << f->objectName();
        }
        return "frames:" + names.join(',');
    }

    // Everything the last command did.
    QStringList observe() const
    {
        QStringList seen;
        for (const QString& r : ripWindows)
            seen << "ShowRipWindow(" + r + ")";
        if (settings.loaded())
            seen << "LoadSettings";
        if (settings.saved())
            seen << "SaveSettings";
        seen << summedCalls();
        const bool listLoaded = seen.contains("LoadTrackList");
        for (const auto& v : frontEnd->variables)
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
