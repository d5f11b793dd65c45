#include "platform/MachineFolder.h"
#include "platform/ProfileWriter.h"
#include "platform/Registry.h"

#include "support/FileFixtures.h"
#include "support/RegistryValues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace testing;

// Velmora writes the same file as a rival process does: a second Velmora, or another program
// that saves by writing a file of its own and renaming it over the old one. Nothing the rival
// wrote may be lost. Parameters: system.reg through the registry (else WIN.INI through the
// profile call), and another program as the rival (else a second Velmora).
class ConcurrentWrites : public ::testing::TestWithParam<std::tuple<bool, bool>> {
protected:
    const bool registry = std::get<0>(GetParam());
    QTemporaryDir dir;
    MachineFolder machine{dir.path()};
    const QString file =
        registry ? machine.registryFile() : machine.driveC() + QStringLiteral("/WINDOWS/WIN.INI");
    // What write i of a Velmora (writer 0 or 1) or of the other program (writer 2) leaves in the file.
    QByteArray proof(int writer, int i) const
    {
        const QByteArray n = QByteArray::number(i), name = "w" + QByteArray::number(writer) + "k" + n;
        if (writer == 2)
            return registry ? "\r\n[HKEY_LOCAL_MACHINE\\Outside\\O" + n + "]\r\n" : "o" + n + "=1\r\n";
        return registry ? "\"" + name + "\"=\"v\"" : "\r\n" + name + "=v\r\n";
    }
    // One write through Velmora, in whichever process calls it.
    bool velmoraWrite(int writer, int i) const
    {
        const QByteArray name = "w" + QByteArray::number(writer) + "k" + QByteArray::number(i);
        if (!registry)
            return ProfileWriter(machine).WritePrivateProfileStringA("Ports", name, "v",
                                                                     "c:\\windows\\win.ini") != 0;
        RegistryApi api(file);
        return putValue(api, "Velmora", name, REG_SZ, "v") == ERROR_SUCCESS;
    }
};

TEST_P(ConcurrentWrites, NoWriterLosesTheOthersChanges)
{
    constexpr int kVelmoraWrites = 150, kOutsideEdits = 40;
    const bool outside = std::get<1>(GetParam());
    ASSERT_TRUE(writeBytes(file, registry ? crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Velmora]\n\"a\"=\"1\"\n")
                                          : QByteArray("[Ports]\r\nCOM1:=9600,n,8,1\r\n\r\n[Outside]\r\n")));
    const int rivalWrites = outside ? kOutsideEdits : kVelmoraWrites;
    const pid_t rival = ::fork();
    if (rival == 0) {
        int failures = 0;
        for (int i = 0; i < rivalWrites; ++i) {
            if (!outside) {
                failures += !velmoraWrite(1, i);
                continue;
            }
            // Another program's save: read, change, write a file of its own, rename it over the old one.
            const QByteArray text = readBytes(file) + proof(2, i);
            ::usleep(300);
            writeBytes(file + ".editor", text);
            ::rename(QFile::encodeName(file + ".editor").constData(), QFile::encodeName(file).constData());
            ::usleep(1000);
        }
        ::_exit(failures);
    }
    ASSERT_GT(rival, 0);
    // Back to back while the rival works; against another program, for as long as it works.
    int status = 0, written = 0;
    for (int i = 0; outside ? ::waitpid(rival, &status, WNOHANG) != rival : i < kVelmoraWrites; ++i)
        written += velmoraWrite(0, i);
    if (!outside)
        ::waitpid(rival, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    // Another program does not lock, so only what it wrote must survive; two Velmoras keep both.
    const QByteArray text = readBytes(file);
    int lost = 0;
    for (int i = 0; i < rivalWrites; ++i)
        lost += !text.contains(proof(outside ? 2 : 1, i)) + (!outside && !text.contains(proof(0, i)));
    EXPECT_EQ(lost, 0);
    EXPECT_TRUE(outside || written == kVelmoraWrites);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConcurrentWrites, ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Registry" : "IniFile") +
                                    (std::get<1>(info.param) ? "AndAnotherProgram" : "AndASecondVelmora");
                         });

} // namespace
} // namespace velmora
