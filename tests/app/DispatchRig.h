#pragma once
// The main window with its doubles, for tests of the scene's commands. The
// operations owned by other parts of the window are replaced by recorders so
// that each command's calls can be seen in order.

#include "FakeAudioLibrary.h"
#include "RecordingFrontEnd.h"
#include "ScriptedDialogs.h"
#include "app/WindowDrag.h"
#include "app/frmMain.h"

#include <QFrame>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>

// Readable failure messages for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace qm::test {

class WatchedWindow : public frmMain {
public:
    using frmMain::frmMain;
    QStringList ops;
    void PlayTrack(int track) override { ops << QStringLiteral("PlayTrack(%1)").arg(track); }
    void ShowRipWindow() override { ops << QStringLiteral("ShowRipWindow(ripStop=%1)").arg(int(ripStop)); }
    void LoadSettings() override { ops << QStringLiteral("LoadSettings"); }
    bool SaveSettings(QString*) override
    {
        ops << QStringLiteral("SaveSettings");
        return true;
    }
    void ShowDriveInfo() override { ops << QStringLiteral("ShowDriveInfo"); }
    void LoadTrackList() override { ops << QStringLiteral("LoadTrackList"); }
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
        window->lsTracks->clear();
        for (int i = 1; i <= rows; ++i) {
            auto* item = new QTreeWidgetItem(window->lsTracks, {QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'))});
            item->setCheckState(0, checked.contains(i) ? Qt::Checked : Qt::Unchecked);
        }
        window->lsTracks->clearSelection();
        if (selected > 0 && selected <= rows)
            window->lsTracks->topLevelItem(selected - 1)->setSelected(true);
        window->currentStream = audio.BASS_CD_StreamCreate(0, 0, 0);
        audio.BASS_StreamPlay(window->currentStream, false, 0);
        window->ripStop = true;
        setFrames(false);
    }

    void setFrames(bool visible)
    {
        for (QFrame* f : {window->frMain, window->frCDInfo, window->frFileFormat, window->frGeneralOptions})
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
    }

    QStringList calls() const
    {
        QStringList list;
        for (const std::string& c : audio.calls())
            list << QString::fromStdString(c);
        return list;
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
            if (f && (f == window->frMain || f == window->frCDInfo || f == window->frFileFormat ||
                      f == window->frGeneralOptions) && f->isVisibleTo(window.get()))
                names << f->objectName();
        }
        return "frames:" + names.join(',');
    }

    int selectedRow() const
    {
        const auto items = window->lsTracks->selectedItems();
        return items.isEmpty() ? 0 : window->lsTracks->indexOfTopLevelItem(items.first()) + 1;
    }

    // Everything the last command did, grouped: operations, audio calls,
    // variables, boxes, documents, window state, frames (when changed) and
    // the selected row.
    QStringList observe() const
    {
        QStringList seen = window->ops + calls();
        for (const auto& v : fe->variables)
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
