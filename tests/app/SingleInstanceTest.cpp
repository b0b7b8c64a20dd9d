#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace qm;

namespace {
QString uniqueName()
{
    static int n = 0;
    return QStringLiteral("QuillmereTest-%1-%2").arg(QCoreApplication::applicationPid()).arg(++n);
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
