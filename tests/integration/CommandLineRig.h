#pragma once
// The built program run from a test: private folders and settings, a small
// generated disc image, and its terminal commands' outcome.
#include "DiscImageWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace qm::test {

inline const QString kProgram = QStringLiteral(QUILLMERE_BIN_DIR "/quillmere");

struct Outcome {
    int status = -1;
    QByteArray out, err;
};

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        runtime = home.filePath("runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env = QProcessEnvironment::systemEnvironment();
        for (const char* folder : {"XDG_RUNTIME_DIR", "QUILLMERE_LOCK_DIR"})
            env.insert(folder, runtime);
        for (const QString kind : {"CONFIG", "STATE", "CACHE", "DATA"})
            env.insert("XDG_" + kind + "_HOME", home.filePath(kind.toLower()));
        env.insert("HOME", home.path());
        // The terminal commands need no display of their own.
        for (const char* name : {"QUILLMERE_IMAGES", "QUILLMERE_REGISTRY_DIR", "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(name);
        DiscLayout layout{.title = "Quiet Hours", .performer = "Zoë Ensemble"};
        layout.tracks = {{PatternPcm(176400 * 3 + 1000, 1)}, {PatternPcm(176400 * 2, 2), 75}, {PatternPcm(176400 * 4 + 588, 3)}};
        QDir().mkpath(home.filePath("disc"));
        image = WriteDiscImage(home.filePath("disc"), "album", layout);
    }

    // Relative paths start at home unless workDir says otherwise; program may
    // be a shell that runs kProgram.
    Outcome run(const QStringList& args, int timeoutMs = 60000, const QString& program = kProgram)
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(workDir.isEmpty() ? home.path() : workDir);
        if (!stdoutFile.isEmpty())
            p.setStandardOutputFile(stdoutFile);
        p.start(program, args);
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "timed out: " << args.join(' ').toStdString();
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

    // The files a rip wrote, but for its log, which has tests of its own.
    QStringList filesIn(const QString& folder) const
    {
        QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        names.removeIf([](const QString& name) { return name.endsWith(QLatin1String(".log")); });
        return names;
    }

    QTemporaryDir home;
    QString runtime, workDir, stdoutFile;
    QProcessEnvironment env;
    WrittenImage image;
};

} // namespace qm::test
