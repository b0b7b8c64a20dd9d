#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qm;

namespace {
QString uniqueName()
{
    static int n = 0;
    return QStringLiteral("QuillmereTest-%1-%2").arg(QCoreApplication::applicationPid()).arg(++n);
}

// Sets an environment variable for one scope.
struct EnvGuard {
    EnvGuard(const char* name, const QByteArray& value) : m_name(name), m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~EnvGuard() { qputenv(m_name, m_old); }
    const char* m_name;
    QByteArray m_old;
};
// Whether process pid holds a flock on path, read from /proc/locks so that
// looking never takes the lock itself.
bool holdsFlock(qint64 pid, const QString& path)
{
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    QFile locks("/proc/locks");
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    const QByteArray suffix = ":" + QByteArray::number(quint64(st.st_ino));
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 6 && f[1] == "FLOCK" && f[4] == QByteArray::number(pid) && f[5].endsWith(suffix))
            return true;
    }
    return false;
}
} // namespace

TEST(SingleInstance, SecondHolderSeesTheFirstUntilItReleases)
{
    const QString name = uniqueName();
    SingleInstance first(name);
    SingleInstance second(name);
    EXPECT_FALSE(first.AnotherInstanceRunning());
    EXPECT_TRUE(first.held());
    EXPECT_TRUE(second.AnotherInstanceRunning());
    EXPECT_FALSE(second.held());
    first.Release();
    EXPECT_FALSE(second.AnotherInstanceRunning());
    EXPECT_TRUE(second.held());
}

TEST(SingleInstance, UnusableRuntimeFolderFallsBackToTheTempFolder)
{
    // A path below a regular file cannot be created, not even by root.
    for (const QByteArray& runtime : {QByteArray("/dev/null/sub"), QByteArray("relative/dir"), QByteArray()}) {
        SCOPED_TRACE(runtime.constData());
        EnvGuard env("XDG_RUNTIME_DIR", runtime);
        const QString name = uniqueName();
        SingleInstance one(name);
        EXPECT_FALSE(one.AnotherInstanceRunning());
        ASSERT_TRUE(one.held());
        EXPECT_TRUE(one.lockPath().startsWith(QDir::tempPath()));
        EXPECT_TRUE(one.lockPath().contains(QString::number(::getuid())));
        SingleInstance two(name);
        EXPECT_TRUE(two.AnotherInstanceRunning());
    }
}

TEST(SingleInstance, NoPlaceForALockNeverStopsTheProgram)
{
    EnvGuard env("XDG_RUNTIME_DIR", "/dev/null/sub");
    EnvGuard tmp("TMPDIR", "/dev/null/tmp");
    SingleInstance one(uniqueName());
    EXPECT_FALSE(one.AnotherInstanceRunning());
}

// The real program: a second start leaves at once, silently, with status 0,
// and the first goes on; the kernel frees the lock when the first dies.
TEST(SingleInstanceProcess, SecondStartExitsSilentlyWhileTheFirstRuns)
{
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const QString program = QStringLiteral(QUILLMERE_BIN_DIR "/quillmere");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted(10000));

    // Wait until the first holds the lock.
    const QString lockFile = runtime.filePath("BrellvoxAudioCDRipper.lock");
    QElapsedTimer waited;
    waited.start();
    bool held = false;
    while (!held && waited.elapsed() < 30000 && first.state() == QProcess::Running) {
        held = holdsFlock(first.processId(), lockFile);
        if (!held)
            QThread::msleep(50);
    }
    ASSERT_TRUE(held) << first.readAllStandardError().toStdString();

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(program, {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardOutput(), QByteArray());
    EXPECT_EQ(second.readAllStandardError(), QByteArray());

    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    EnvGuard guard("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    SingleInstance after(QStringLiteral("BrellvoxAudioCDRipper"));
    EXPECT_FALSE(after.AnotherInstanceRunning());
    EXPECT_TRUE(after.held());
}
