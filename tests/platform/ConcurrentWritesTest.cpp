#include "platform/MachineFolder.h"
#include "platform/ProfileWriter.h"
#include "platform/Registry.h"

#include "support/FileFixtures.h"
#include "support/RegistryValues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::readBytes;
using testing::writeBytes;

// Velmora writes the same file as a rival process does: a second Velmora, or another program
// that saves by writing a file of its own and renaming it over the old one. Nothing the rival
// wrote may be lost.
struct RaceCase {
    const char* name;
    bool registry;     // system.reg through the registry, else WIN.INI through the profile call
    bool outsideRival; // another program, else a second Velmora
    friend void PrintTo(const RaceCase& c, std::ostream* os) { *os << c.name; }
};

class ConcurrentWrites : public ::testing::TestWithParam<RaceCase> {
protected:
    QString file() const
    {
        return GetParam().registry ? machine.registryFile()
                                   : machine.driveC() + QStringLiteral("/WINDOWS/WIN.INI");
    }
    static QByteArray nameOf(int writer, int i)
    {
        return "w" + QByteArray::number(writer) + "k" + QByteArray::number(i);
    }
    // What write i of a Velmora (writer 0 or 1) or of the other program (writer 2) leaves in the file.
    QByteArray proof(int writer, int i) const
    {
        const QByteArray n = QByteArray::number(i);
        if (writer == 2)
            return GetParam().registry ? "\r\n[HKEY_LOCAL_MACHINE\\Outside\\O" + n + "]\r\n"
                                       : "o" + n + "=1\r\n";
        return GetParam().registry ? "\"" + nameOf(writer, i) + "\"=\"v\""
                                   : "\r\n" + nameOf(writer, i) + "=v\r\n";
    }
    // One write through Velmora, in whichever process calls it.
    bool velmoraWrite(int writer, int i) const
    {
        if (GetParam().registry) {
            RegistryApi api(file());
            return testing::putValue(api, "Velmora", nameOf(writer, i), REG_SZ, "v") == ERROR_SUCCESS;
        }
        return ProfileWriter(machine).WritePrivateProfileStringA("Ports", nameOf(writer, i), "v",
                                                                 "c:\\windows\\win.ini") != 0;
    }
    // Another program's save: read, change, write a file of its own, rename it over the old one.
    void outsideEdit(int i) const
    {
        const QByteArray text = readBytes(file()) + proof(2, i);
        ::usleep(300);
        writeBytes(file() + ".editor", text);
        ::rename(QFile::encodeName(file() + ".editor").constData(), QFile::encodeName(file()).constData());
    }

    QTemporaryDir dir;
    MachineFolder machine{dir.path()};
};

TEST_P(ConcurrentWrites, NoWriterLosesTheOthersChanges)
{
    constexpr int kVelmoraWrites = 150;
    constexpr int kOutsideEdits = 40;
    ASSERT_TRUE(
        writeBytes(file(), GetParam().registry
                               ? testing::crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Velmora]\n\"a\"=\"1\"\n")
                               : QByteArray("[Ports]\r\nCOM1:=9600,n,8,1\r\n\r\n[Outside]\r\n")));
    const pid_t rival = ::fork();
    if (rival == 0) {
        int failures = 0;
        for (int i = 0; i < (GetParam().outsideRival ? kOutsideEdits : kVelmoraWrites); ++i) {
            if (GetParam().outsideRival) {
                outsideEdit(i);
                ::usleep(1000);
            } else {
                failures += !velmoraWrite(1, i);
            }
        }
        ::_exit(failures);
    }
    ASSERT_GT(rival, 0);
    // Back to back while the rival works; against another program, for as long as it works.
    int status = 0;
    int written = 0;
    for (int i = 0; i < 100 * kVelmoraWrites; ++i) {
        if (GetParam().outsideRival ? ::waitpid(rival, &status, WNOHANG) == rival : i == kVelmoraWrites)
            break;
        written += velmoraWrite(0, i);
    }
    if (!GetParam().outsideRival)
        ::waitpid(rival, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    const QByteArray text = readBytes(file());
    // Another program does not lock, so only what it wrote must survive; two Velmoras keep both.
    const bool outside = GetParam().outsideRival;
    int lost = 0;
    for (int i = 0; i < (outside ? kOutsideEdits : kVelmoraWrites); ++i)
        lost += !text.contains(proof(outside ? 2 : 1, i)) + (!outside && !text.contains(proof(0, i)));
    EXPECT_EQ(lost, 0);
    EXPECT_TRUE(outside || written == kVelmoraWrites);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConcurrentWrites,
                         ::testing::Values(RaceCase{"IniFileAndASecondVelmora", false, false},
                                           RaceCase{"IniFileAndAnotherProgram", false, true},
                                           RaceCase{"RegistryAndASecondVelmora", true, false},
                                           RaceCase{"RegistryAndAnotherProgram", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
