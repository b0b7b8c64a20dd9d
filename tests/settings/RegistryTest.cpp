#include "settings/CRegister.h"
#include "settings/RegistryFileStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
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

// Runs body in a child process and answers its exit status (0 = all held).
int inChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

} // namespace

TEST_F(Registry, ReadsFallBackToTheDefault)
{
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path", "dflt"), "dflt");
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "Other", "x"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path", "dflt"), "dflt");
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "Software\\Nowhere", "Other", "d2"), "d2");
    EXPECT_EQ(reg.REGGetSetting(0x12345678, kSection, "Other", "d3"), "d3"); // not a root
}

TEST_F(Registry, TextsRoundTripExactly)
{
    const QString texts[] = {"C:\\Ripped Audio", "/home/ann/Music/Ripped Audio", "", "Éà ü 日本 \"q\" \\",
                             QString(200000, QChar('x'))};
    for (const QString& text : texts) {
        ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "Value", text));
        EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "Value", "default"), text);
    }
}

TEST_F(Registry, NamesMatchInAnyCaseKeepTheirCaseAndLoseOuterBackslashes)
{
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path", "a"));
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "SOFTWARE\\brellvox quillmere\\SETTINGS", "EXTRACT PATH", "b"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "extract path", ""), "b");
    const QByteArray text = fileText();
    EXPECT_TRUE(text.contains("[HKEY_LOCAL_MACHINE\\Software\\Brellvox Quillmere\\Settings]")) << text.constData();
    EXPECT_TRUE(text.contains("\"Extract Path\"=\"b\"")) << text.constData();
    EXPECT_EQ(text.count("Extract"), 1);

    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "\\Software\\Trim\\", "v", "1"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "Software\\Trim", "v", ""), "1");
}

TEST_F(Registry, StarIsTheUnnamedValue)
{
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "*", "unnamed"));
    EXPECT_TRUE(fileText().contains("@=\"unnamed\""));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "*", ""), "unnamed");
    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, kSection, "*"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "*", "gone"), "gone");
    EXPECT_FALSE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, kSection, "*"));
}

TEST_F(Registry, SavingCreatesParentsAndDeletingASectionNeedsNoSubkeys)
{
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "A\\B\\C", "v", "1"));
    EXPECT_FALSE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "A\\B", "")); // has C below
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A\\B\\C", "v", ""), "1");
    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "A\\B\\C", ""));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A\\B\\C", "v", "gone"), "gone");
    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "A\\B", ""));
    EXPECT_FALSE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "A\\B", ""));
    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "A", ""));
}

TEST_F(Registry, UnreadableFilesAreNeverOverwritten)
{
    const QByteArray bad[] = {
        QByteArray("\x7f" "ELF\x01\x02\x00\xff\xfe", 9),
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Brellvox Quillmere\\Settings]\n\"Extract Path\"=\"/home/ann/Mu",
        "REGEDIT4\n\"orphan\"=\"value\"\n",
        "REGEDIT4\n[HKEY_USERS\\Wrong\\Root]\n",
    };
    for (const QByteArray& text : bad) {
        writeFile(text);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path", "new"));
        EXPECT_FALSE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "Other", "new"));
        EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path", "d"), "d");
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(fileText(), text);
    }
}

TEST_F(Registry, OddButReadableFilesLoadAndSurviveARewrite)
{
    writeFile("\r\nREGEDIT4\r\n; a comment\r\n[HKEY_LOCAL_MACHINE\\S]\r\n\"v\"=\"1\"\r\n"
              "[HKEY_LOCAL_MACHINE\\s]\r\n\"V\"=\"2\"\r\n\"bad utf8\"=\"\xff\xfe\"\r\n"
              "\"Nothing\"=hex(1):\r\n\"Empty\"=\"\"\r\n");
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "S", "v", ""), "2"); // the later one holds
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "S", "Nothing", "d"), "d"); // no data: the default
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "S", "Empty", "d"), "");
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "S", "w", "3"));
    // Bytes that are not UTF-8, and a value without data, survive untouched.
    const QByteArray text = fileText();
    EXPECT_TRUE(text.contains("\"bad utf8\"=hex(1):ff,fe,00")) << text.constData();
    EXPECT_TRUE(text.contains("\"Nothing\"=hex(1):\n")) << text.constData();
}

TEST_F(Registry, StoreFolderThatIsAFileReadsDefaultsAndRefusesWrites)
{
    QFile f(dir.path() + "/registry");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a folder");
    f.close();
    EXPECT_FALSE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "v", "1"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "v", "d"), "d");
}

// Root ignores file permissions, so the read-only store is tried as nobody.
TEST_F(Registry, ReadOnlyStoreStillReadsAndRefusesWrites)
{
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path", "/music"));
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    ::chmod(QFile::encodeName(store.folder()).constData(), 0755);
    ::chmod(QFile::encodeName(store.fileFor(HKEY_LOCAL_MACHINE)).constData(), 0644);
    const QByteArray before = fileText();
    const int status = inChild([&] {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 10;
        RegistryFileStore mine(store.folder());
        CRegister r(mine);
        if (r.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path", "d") != "/music")
            return 1;
        if (r.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path", "/elsewhere"))
            return 2;
        if (r.REGDeleteSetting(HKEY_LOCAL_MACHINE, kSection, "Extract Path"))
            return 3;
        return mine.openHandles() == 0 ? 0 : 4;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(fileText(), before);
}

TEST_F(Registry, TwoProcessesSavingAtOnceLoseNothing)
{
    auto writer = [&](const char* prefix) {
        return [this, prefix] {
            RegistryFileStore mine(store.folder());
            CRegister r(mine);
            for (int i = 0; i < 40; ++i) {
                if (!r.REGSaveSetting(HKEY_LOCAL_MACHINE, kSection, QString("%1%2").arg(prefix).arg(i), "v"))
                    return 1;
            }
            return 0;
        };
    };
    const pid_t a = ::fork();
    if (a == 0)
        ::_exit(writer("a")());
    const int b = inChild(writer("b"));
    int statusA = 0;
    ::waitpid(a, &statusA, 0);
    ASSERT_EQ(b, 0);
    ASSERT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, QString("a%1").arg(i), ""), "v");
        EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSection, QString("b%1").arg(i), ""), "v");
    }
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
