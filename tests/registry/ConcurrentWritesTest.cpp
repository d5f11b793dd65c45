#include "creg/HiveImage.h"
#include "machine/MachineFolder.h"
#include "profile/ProfileWriter.h"
#include "registry/HiveStore.h"
#include "registry/Registry.h"

#include "support/FileFixtures.h"
#include "support/HiveFixtures.h"
#include "support/RegistryValues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>

namespace velmora {
namespace {

using namespace testing;

enum class Store { IniFile, RegistryText, Hive };

// Velmora writes the same file as a rival process does: a second Velmora, or another program that
// writes a counter into the file where it stands and puts the file's time back, so that only the
// file's status time tells (one that saves by renaming a file of its own over it is found out by
// the same look, the atomic file's tests show). Nothing the rival wrote may be lost.
class ConcurrentWrites : public ::testing::TestWithParam<std::tuple<int, bool>> {
protected:
    const Store store = Store(std::get<0>(GetParam()));
    const bool program = std::get<1>(GetParam()); // the rival: another program, else a second Velmora
    // The one of three things that belongs to the store under test.
    template <typename T> T byStore(T iniFile, T registryText, T hive) const
    {
        return store == Store::IniFile ? iniFile : store == Store::RegistryText ? registryText : hive;
    }
    QTemporaryDir dir;
    MachineFolder machine{dir.path()};
    const QString file = byStore(machine.driveC() + "/WINDOWS/WIN.INI", machine.registryFile(),
                                 dir.path() + "/WINDOWS/SYSTEM.DAT");
    // Where the in-place rival's four-digit counter follows.
    const QByteArray counter = byStore<QByteArray>("\r\nc=", "\"c\"=\"", "counter");

    QByteArray initial() const
    {
        const HiveImage image = HiveImage::parse(hiveFile("SMALL98.DAT")).value();
        return byStore<QByteArray>(
            "[Ports]\r\nCOM1:=9600,n,8,1\r\n\r\n[Outside]\r\nc=0000\r\n",
            crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Velmora]\n\"a\"=\"1\"\n\"c\"=\"0000\"\n"),
            image.withValue(image.findKey("ports"), "counter", 1, "0000").value());
    }
    // The name of write i of a Velmora (writer 0 or 1), and what it leaves.
    static QByteArray nameOf(int writer, int i)
    {
        return "w" + QByteArray::number(writer) + "k" + QByteArray::number(i);
    }
    QByteArray proof(int writer, int i) const
    {
        const QByteArray name = nameOf(writer, i);
        return byStore("\r\n" + name + "=v\r\n", "\"" + name + "\"=\"v\"", name + "v");
    }
    // One write through Velmora, in whichever process calls it.
    bool velmoraWrite(int writer, int i) const
    {
        const QByteArray name = nameOf(writer, i);
        if (store == Store::IniFile)
            return ProfileWriter(machine).WritePrivateProfileStringA("Ports", name, "v",
                                                                     "c:\\windows\\win.ini") != 0;
        if (store == Store::Hive) {
            const Result<Written> written = HiveStore(file, dir.path()).setValue("ports", name, REG_SZ, "v");
            return written && *written == Written::Done;
        }
        RegistryApi api(file);
        return putValue(api, "Velmora", name, REG_SZ, "v") == ERROR_SUCCESS;
    }
    // The in-place program's write i of its counter: whether its write i - 1 was still there.
    // A write that went to a file Velmora had already replaced is made again; the file that
    // holds the earlier attempt may come back meanwhile (Velmora puts back a file written while
    // it replaced it), and then holds write i already.
    bool writeInPlace(int i) const
    {
        const QByteArray before = QByteArray::number(i - 1).rightJustified(4, '0'),
                         after = QByteArray::number(i).rightJustified(4, '0');
        bool keptEarlier = false;
        for (;;) {
            const int fd = ::open(QFile::encodeName(file).constData(), O_RDWR);
            struct stat opened = {}, now = {};
            QByteArray text(1 << 20, '\0');
            text.truncate(std::max<ssize_t>(::pread(fd, text.data(), size_t(text.size()), 0), 0));
            const qsizetype at = text.indexOf(counter) + counter.size();
            const bool kept = text.mid(at, 4) == before || (keptEarlier && text.mid(at, 4) == after);
            keptEarlier = keptEarlier || kept;
            ::fstat(fd, &opened);
            ::pwrite(fd, after.constData(), 4, at);
            const timespec times[2] = {{0, UTIME_OMIT}, opened.st_mtim};
            ::futimens(fd, times);
            ::close(fd);
            if (::stat(QFile::encodeName(file).constData(), &now) == 0 && now.st_ino == opened.st_ino)
                return kept;
        }
    }
};

TEST_P(ConcurrentWrites, NoWriterLosesTheOthersChanges)
{
    constexpr int kVelmoraWrites = 150, kOutsideEdits = 40;
    ASSERT_TRUE(writeBytes(file, initial()));
    const int rivalWrites = program ? kOutsideEdits : kVelmoraWrites;
    const pid_t child = ::fork();
    if (child == 0) {
        int failures = 0;
        for (int i = 1; i <= rivalWrites; ++i) {
            failures += !(program ? writeInPlace(i) : velmoraWrite(1, i));
            ::usleep(program ? 1000 : 0); // another program takes its time
        }
        ::_exit(failures);
    }
    ASSERT_GT(child, 0);
    // Back to back while the rival works; against another program, for as long as it works.
    int status = 0;
    for (int i = 1; program ? ::waitpid(child, &status, WNOHANG) != child : i <= kVelmoraWrites; ++i)
        velmoraWrite(0, i); // a write that fails loses its proof below
    if (!program)
        ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    // Another program does not lock, so only what it wrote must survive; two Velmoras keep both.
    const QByteArray text = readBytes(file);
    int lost = program && !text.contains(counter + QByteArray::number(kOutsideEdits).rightJustified(4, '0'));
    for (int i = 1; i <= rivalWrites && !program; ++i)
        lost += !text.contains(proof(1, i)) + !text.contains(proof(0, i));
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(store == Store::Hive ? hiveFaults(text) : QString(), QString());
}

// Every store against every rival, named as "IniFileAndASecondVelmora".
std::string caseName(const ::testing::TestParamInfo<std::tuple<int, bool>>& info)
{
    static const char* const stores[] = {"IniFile", "Registry", "Hive"};
    return std::string(stores[std::get<0>(info.param)]) +
           (std::get<1>(info.param) ? "AndAProgramWritingInPlace" : "AndASecondVelmora");
}
INSTANTIATE_TEST_SUITE_P(Cases, ConcurrentWrites,
                         ::testing::Combine(::testing::Range(0, 3), ::testing::Bool()), caseName);

} // namespace
} // namespace velmora
