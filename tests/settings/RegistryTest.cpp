#include "settings/CRegister.h"
#include "settings/RegistryFileStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qm;

namespace {

const QString kSection = QStringLiteral("Software\\Brellvox Quillmere\\Settings");

struct Registry : ::testing::Test {
    QTemporaryDir dir;
    RegistryFileStore store{dir.path() + "/registry"};
    CRegister reg{store};

    QByteArray fileText() const
    {
        QFile f(store.fileFor(HKEY_LOCAL_MACHINE));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFile(const QByteArray& text)
    {
        QDir().mkpath(store.folder());
        QFile f(store.fileFor(HKEY_LOCAL_MACHINE));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    void TearDown() override { EXPECT_EQ(store.openHandles(), 0) << "a call left a key open"; }
};

} // namespace

TEST_F(Registry, ReadsFallBackToTheDefaultAndNamesMatchInAnyCase)
{
    auto get = [&](const QString& section, const QString& name) {
        return reg.REGGetSetting(HKEY_LOCAL_MACHINE, section, name, "d");
    };
    EXPECT_EQ(get(kSection, "Extract Path"), "d");
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path", "a"));
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "SOFTWARE\\brellvox quillmere\\SETTINGS", "EXTRACT PATH", "b"));
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "\\" + kSection + "\\", "*", "unnamed"));
    EXPECT_EQ(get(kSection, "extract path"), "b");
    EXPECT_EQ(get("Software\\Nowhere", "Extract Path"), "d");
    EXPECT_EQ(reg.REGGetSetting(0x12345678, kSection, "Extract Path", "d"), "d"); // not a root
    const QByteArray text = fileText();
    for (const char* line : {"[HKEY_LOCAL_MACHINE\\Software\\Brellvox Quillmere\\Settings]\n", "\n\"Extract Path\"=\"b\"\n",
                             "\n@=\"unnamed\"\n"})
        EXPECT_TRUE(text.contains(line)) << line << " in " << text.constData();
    EXPECT_EQ(text.count("Extract"), 1);
    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, kSection, "*"));
    EXPECT_EQ(get(kSection, "*"), "d");
}

// Each is left exactly as it was, said once, and every write to it refused
// with the reason.
TEST_F(Registry, UnreadableFilesAreToldOnceAndNeverOverwritten)
{
    const QString file = store.fileFor(HKEY_LOCAL_MACHINE);
    auto text = [&](const QByteArray& bytes) { return [this, bytes] { writeFile(bytes); }; };
    const struct {
        const char* name;
        std::function<void()> make;
        const char* says;
    } cases[] = {
        {"binary", text(QByteArray("\x7f" "ELF\x01\x02\x00\xff\xfe", 9)), "does not start with REGEDIT4"},
        {"cut short", text("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Brellvox Quillmere\\Settings]\n\"Extract Path\"=\"/home/ann/Mu"),
         "line 4: a string value is not closed"},
        {"value outside a key", text("REGEDIT4\n\"orphan\"=\"value\"\n"), "outside any key"},
        {"nested 100,000 deep", text("REGEDIT4\n[HKEY_LOCAL_MACHINE" + QByteArray("\\k").repeated(100000) + "]\n"),
         "deeper than 64 levels"},
        {"over 64 MiB", [&] { writeFile("REGEDIT4\n"); QFile::resize(file, 64 * 1024 * 1024 + 1); }, "larger than 64 MiB"},
        {"a folder", [&] { QDir().mkpath(file); }, "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(store.folder()).removeRecursively();
        c.make();
        const QByteArray before = fileText();
        RegistryFileStore mine(store.folder());
        CRegister r(mine);
        QString why;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(r.REGSaveSettings(HKEY_LOCAL_MACHINE, kSection, {{"Extract Path", "new"}}, &why));
        EXPECT_EQ(r.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path", "d"), "d");
        const QString err = QString::fromStdString(testing::internal::GetCapturedStderr());
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(err.contains("cannot be read (") && err.contains(c.says)) << err.toStdString();
        EXPECT_TRUE(why.contains(c.says)) << why.toStdString();
        EXPECT_EQ(fileText(), before);
    }
}

// The file is parsed once and kept until it changes: another process's
// saves are seen even quicker than the file times tick.
TEST_F(Registry, ReadsSeeAnotherProcessesSaves)
{
    auto get = [&] { return reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "v", ""); };
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "v", "0"));
    EXPECT_EQ(get(), "0");
    // Each as long as the last.
    RegistryFileStore other(store.folder());
    CRegister theirs(other);
    for (int i = 1; i <= 10; ++i) {
        ASSERT_TRUE(theirs.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "v", QString::number(i % 10)));
        ASSERT_EQ(get(), QString::number(i % 10)) << i;
    }
}

// Two processes save their own names and a shared set at once: the saves
// take turns, so no name is lost and the set left is one save's whole.
TEST_F(Registry, ConcurrentSavesNeitherMixNorLoseValues)
{
    pid_t writers[2];
    for (const int w : {0, 1}) {
        const QString who = w == 0 ? "a" : "b";
        if ((writers[w] = ::fork()) == 0) {
            RegistryFileStore mine(store.folder());
            CRegister r(mine);
            for (int round = 0; round < 25; ++round) {
                // A name of its own each round: a save that overwrote another's loses one.
                QList<std::pair<QString, QString>> values{{who + QString::number(round), who}};
                for (int i = 0; i < 20; ++i)
                    values << std::pair{QString("shared%1").arg(i), who};
                if (!r.REGSaveSettings(HKEY_LOCAL_MACHINE, kSection, values))
                    ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (const pid_t pid : writers) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const QString last = reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "shared0", "");
    for (int i = 0; i < 25; ++i)
        for (const QString who : {"a", "b"})
            EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, who + QString::number(i), ""), who) << i;
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, QString("shared%1").arg(i), ""), last);
}

TEST_F(Registry, KilledWhileSavingNeverLeavesAnUnreadableFile)
{
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "Keep", "me"));
    for (int round = 0; round < 12; ++round) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            RegistryFileStore mine(store.folder());
            CRegister r(mine);
            for (int i = 0;; ++i)
                r.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, QString("n%1").arg(i % 50), QString(i % 300, 'x'));
        }
        ::usleep(static_cast<useconds_t>(2000 + round * 1700));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        QString why;
        ASSERT_TRUE(ParseRegistry(fileText(), "HKEY_LOCAL_MACHINE", &why)) << why.toStdString();
        EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "Keep", ""), "me");
    }
}
