#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
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

TEST(SingleInstance, EveryStartOfOneUserMeetsTheSameLockWhateverItsRuntimeFolder)
{
    EnvGuard lockDir("QUILLMERE_LOCK_DIR", QByteArray());
    const QString name = uniqueName();
    std::optional<SingleInstance> first;
    {
        EnvGuard runtime("XDG_RUNTIME_DIR", QDir::tempPath().toLocal8Bit());
        first.emplace(name);
        ASSERT_FALSE(first->AnotherInstanceRunning());
    }
    EXPECT_EQ(first->lockPath(), QStringLiteral("/tmp/quillmere-%1/%2.lock").arg(::getuid()).arg(name));
    struct stat folder{};
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(first->lockPath()).path()).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EnvGuard noRuntime("XDG_RUNTIME_DIR", QByteArray());
    SingleInstance second(name);
    EXPECT_TRUE(second.AnotherInstanceRunning());
    first.reset();
    QFile::remove(QStringLiteral("/tmp/quillmere-%1/%2.lock").arg(::getuid()).arg(name));
}

TEST(SingleInstance, ALockFolderOthersControlIsNotUsedAndNeverStopsTheProgram)
{
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QString good = base.filePath("good");
    ASSERT_TRUE(QDir().mkdir(good));
    struct Case { const char* name; std::function<void(const QString&)> make; bool usable; };
    const Case cases[] = {
        {"made here", [](const QString&) {}, true},
        {"open to others", [](const QString& f) { QDir().mkdir(f); ::chmod(QFile::encodeName(f), 0777); }, false},
        {"a link", [&](const QString& f) { QFile::link(good, f); }, false},
        {"a file", [](const QString& f) { QFile(f).open(QIODevice::WriteOnly); }, false},
        {"another user's", [](const QString& f) { QDir().mkdir(f); (void)::chown(QFile::encodeName(f), 65534, 65534); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string_view(c.name) == "another user's" && ::getuid() != 0)
            continue; // only root can give a folder away
        const QString folder = base.filePath(c.name);
        c.make(folder);
        SingleInstance one(uniqueName(), folder);
        EXPECT_FALSE(one.AnotherInstanceRunning());
        EXPECT_EQ(one.held(), c.usable);
    }
}

// The real program: a second start leaves at once, silently, with status 0,
// and the first goes on; the kernel frees the lock when the first dies.
TEST(SingleInstanceProcess, SecondStartExitsSilentlyWhileTheFirstRuns)
{
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUILLMERE_LOCK_DIR", runtime.path());
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
    SingleInstance after(QStringLiteral("BrellvoxAudioCDRipper"), runtime.path());
    EXPECT_FALSE(after.AnotherInstanceRunning());
    EXPECT_TRUE(after.held());
}
