#pragma once
// The main window with its doubles, built but not started: tests call the
// drive and disc operations directly.

#include "FakeAudioLibrary.h"
#include "RecordingFrontEnd.h"
#include "ScriptedDialogs.h"
#include "MainWindow.h"

#include <QLocale>
#include <memory>

namespace qm::test {

struct WindowRig {
    FakeAudioLibrary audio;
    ScriptedDialogs dialogs;
    RecordingFrontEnd* frontEnd = nullptr;
    std::unique_ptr<frmMain> window;

    frmMain& make()
    {
        auto fe = std::make_unique<RecordingFrontEnd>();
        frontEnd = fe.get();
        window = std::make_unique<frmMain>(audio, dialogs, std::move(fe), QStringLiteral(QUILLMERE_BIN_DIR));
        return *window;
    }
    // The eight variables of the last list load, as "name=value".
    QStringList lastLoadVariables() const
    {
        QStringList out;
        const auto& v = frontEnd->variables;
        for (qsizetype i = std::max<qsizetype>(0, v.size() - 8); i < v.size(); ++i)
            out << v[i].first + QLatin1Char('=') + v[i].second;
        return out;
    }
};

inline QStringList LoadVariables(const QString& flag)
{
    QStringList out;
    for (const char* name : {"PlayEnabled", "PreviousEnabled", "NextEnabled", "BeginEnabled", "EndEnabled",
                             "StopEnabled", "PauseEnabled"})
        out << QStringLiteral("_root.") + QLatin1String(name) + QLatin1Char('=') + flag;
    out << QStringLiteral("_root.ChangeStatus=1");
    return out;
}

} // namespace qm::test
