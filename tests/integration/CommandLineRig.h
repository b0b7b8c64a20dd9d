#pragma once
// The built program run from a test: private folders and settings, a small
// generated disc image, and its terminal commands' outcome.
#include "DiscImageWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>

namespace qm::test {

inline const QString kProgram = QStringLiteral(QUILLMERE_BIN_DIR "/quillmere");

struct Outcome {
    int status = -1;
    QByteArray out, err;
};

inline bool HasControlCharacters(const QByteArray& bytes)
{
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\n') || u == 0x7f)
            return true;
    }
    return false;
}

inline std::uint32_t Le32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<std::uint32_t>(bytes.constData() + at);
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        runtime = home.filePath("runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("QUILLMERE_LOCK_DIR", runtime);
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_STATE_HOME", home.filePath("state"));
        env.insert("XDG_CACHE_HOME", home.filePath("cache"));
        env.insert("HOME", home.path());
        env.remove("QUILLMERE_IMAGES");
        env.remove("QUILLMERE_REGISTRY_DIR");
        env.remove("QT_QPA_PLATFORM"); // the terminal commands need no display of their own
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");

        DiscLayout layout;
        layout.title = "Quiet Hours";
        layout.performer = "Zoë Ensemble";
        layout.tracks.push_back({PatternPcm(176400 * 3 + 1000, 1)});
        layout.tracks.push_back({PatternPcm(176400 * 2, 2), 75});
        layout.tracks.push_back({PatternPcm(176400 * 4 + 588, 3)});
        QDir().mkpath(home.filePath("disc"));
        image = WriteDiscImage(home.filePath("disc"), "album", layout);
    }

    // workDir and stdoutFile apply when set; program may be a shell that runs kProgram.
    Outcome run(const QStringList& args, int timeoutMs = 60000, const QString& program = kProgram)
    {
        QProcess p;
        p.setProcessEnvironment(env);
        // Relative paths of the run start at home unless a test says otherwise.
        p.setWorkingDirectory(workDir.isEmpty() ? home.path() : workDir);
        if (!stdoutFile.isEmpty())
            p.setStandardOutputFile(stdoutFile);
        p.start(program, args);
        Outcome r;
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "timed out: " << args.join(' ').toStdString();
        }
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

    QStringList filesIn(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // A WAV file whose header agrees with its size and whose data is `pcm`.
    void expectWav(const QString& path, const Pcm& pcm) const
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray bytes = f.readAll();
        ASSERT_EQ(bytes.size(), 44 + static_cast<qsizetype>(pcm.size())) << path.toStdString();
        EXPECT_EQ(bytes.left(4), QByteArray("RIFF"));
        EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);
        EXPECT_EQ(std::memcmp(pcm.data(), bytes.constData() + 44, pcm.size()), 0) << path.toStdString();
    }

    QTemporaryDir home;
    QString runtime, workDir, stdoutFile;
    QProcessEnvironment env;
    WrittenImage image;
};

} // namespace qm::test
