#include "tweaks/MtuChoice.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

const QString kDialUp = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000\\");

TEST(MtuChoiceTest, EachOptionWritesItsSizeForBothClients)
{
    const auto ipmtu = [](const char* text) {
        return MtuWrite{kDialUp, "IPMTU", 1, QString::fromLatin1(text)};
    };
    const auto mtu = [](const char* key, qint32 size) {
        return MtuWrite{QStringLiteral("Software\\America%1Online\\AOL\\aolsock\\").arg(key), "mtu", 4, size};
    };
    const struct {
        int option;
        const char* typed;
        MtuWrite dialUp; // a typed text is written as it stands, even when empty
        std::optional<MtuWrite> aol;
    } cases[] = {
        {0, "", ipmtu("0"), mtu(" ", 0)},       {1, "9", ipmtu("576"), mtu(" ", 576)},
        {2, "", ipmtu("1000"), mtu(" ", 1000)}, {3, "", ipmtu("1500"), mtu(" ", 1500)},
        {4, "-1", ipmtu("-1"), mtu("%20", -1)}, // stored as the number 0xFFFFFFFF
        {4, "", ipmtu(""), std::nullopt},       {4, "4294967296", ipmtu("4294967296"), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dialUpMtuWrite(c.option, QString::fromLatin1(c.typed)), c.dialUp) << c.option << c.typed;
        EXPECT_EQ(aolMtuWrite(c.option, QString::fromLatin1(c.typed)), c.aol) << c.option << c.typed;
    }
    for (const auto& [stored, option] : {std::pair{"0", 0}, {"1500", 3}, {"0576", 4}})
        EXPECT_EQ(mtuOptionForStoredText(QString::fromLatin1(stored)), option) << stored;
}

} // namespace
} // namespace velmora
