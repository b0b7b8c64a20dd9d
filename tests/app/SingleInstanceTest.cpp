#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
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

// Whether process pid holds a flock on path, read from /proc/locks so that
// looking never takes the lock itself.
bool holdsFlock(qint64 pid, const QString& path)
{
    struct stat st{};
    QFile locks("/proc/locks");
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !locks.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 6 && f[1] == "FLOCK" && f[4] == QByteArray::number(pid) &&
            f[5].endsWith(":" + QByteArray::number(quint64(st.st_ino))))
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
    EXPECT_TRUE(second.AnotherInstanceRunning());
    first.Release();
    EXPECT_FALSE(second.AnotherInstanceRunning());
}

// The lock folder is made private; one others control is not used and never
// stops the program.
TEST(SingleInstance, ALockFolderOthersControlIsNotUsedAndNeverStopsTheProgram)
{
    QTemporaryDir base;
    const QString good = base.filePath("good");
    ASSERT_TRUE(QDir().mkdir(good));
    struct Case { const char* name; std::function<void(const QString&)> make; bool usable; };
    const Case cases[] = {
        {"made here", [](const QString&) {}, true},
        {"open to others", [](const QString& f) { QDir().mkdir(f); ::chmod(QFile::encodeName(f), 0777); }, false},
        {"a link", [&](const QString& f) { QFile::link(good, f); }, false},
        {"a file", [](const QString& f) { QFile(f).open(QIODevice::WriteOnly); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make(base.filePath(c.name));
        SingleInstance one(uniqueName(), base.filePath(c.name));
        EXPECT_FALSE(one.AnotherInstanceRunning());
        EXPECT_EQ(one.held(), c.usable);
        struct stat made{};
        EXPECT_TRUE(!c.usable || (::stat(QFile::encodeName(base.filePath(c.name)).constData(), &made) == 0 &&
                                  (made.st_mode & 0777) == 0700)) << "private to the user";
    }
}

// The window's start: a second leaves at once, silently, with status 0, and
// the first goes on; the kernel frees the lock when the first dies.
TEST(SingleInstanceProcess, SecondStartExitsSilentlyWhileTheFirstRuns)
{
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUILLMERE_LOCK_DIR", runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess first, second;
    for (QProcess* p : {&first, &second})
        p->setProcessEnvironment(env);
    first.start(QStringLiteral(QUILLMERE_BIN_DIR "/quillmere"), {});
    ASSERT_TRUE(first.waitForStarted(10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return holdsFlock(first.processId(), runtime.filePath("BrellvoxAudioCDRipper.lock")); }, 30000));
    second.start(QStringLiteral(QUILLMERE_BIN_DIR "/quillmere"), {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardOutput() + second.readAllStandardError(), QByteArray());
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    SingleInstance after(QStringLiteral("BrellvoxAudioCDRipper"), runtime.path());
    EXPECT_FALSE(after.AnotherInstanceRunning());
}
