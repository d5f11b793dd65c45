#include "buffers/FifoSizes.h"
#include "buffers/PortBuffer.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(PortBufferTest, EmptyBoxesAreRefusedInOrderAndTheIrqIsWrittenFirst)
{
    const struct {
        const char *port, *irq, *buffer, *refusal;
    } cases[] = {{"", "", "", "You Must Enter a Com Port!"},
                 {"2", "", "", "You Must Enter an Irq #"},
                 {"2", "3", "", "You Must Enter a Buffer!"},
                 {"", "3", "1024", "You Must Enter a Com Port!"},
                 {"2", "3", "1024", nullptr}};
    for (const auto& c : cases) {
        const auto refusal = portBufferRefusal(c.port, c.irq, c.buffer);
        EXPECT_EQ(refusal, c.refusal ? std::optional<QString>(c.refusal) : std::nullopt) << c.port << c.irq;
    }
    EXPECT_EQ(portBufferEntries("1", "4", "1638"),
              (std::array<IniEntry, 2>{IniEntry{"Com1Irq", "4"}, IniEntry{"Com1Buffer", "1638"}}));
}

// "4MB" and "8MB" store 4098 and 8196; only those exact numbers read back as list texts.
TEST(FifoSizesTest, ListTextsAndStoredNumbersMapBothWays)
{
    const struct {
        const char* listText;
        qint32 stored;
    } sizes[] = {{"16k", 16},   {"64k", 64},   {"512k", 512}, {"1MB", 1024},
                 {"2MB", 2048}, {"4MB", 4098}, {"8MB", 8196}, {"16MB", 16384}};
    QStringList texts;
    for (const auto& s : sizes) {
        texts << s.listText;
        EXPECT_EQ(fifoSizeForListText(s.listText), s.stored);
        EXPECT_EQ(fifoListTextForStoredText(QString::number(s.stored)), QString(s.listText));
    }
    EXPECT_EQ(fifoListTexts(), texts);
    for (const char* typed : {"32k", "", "4mb"})
        EXPECT_EQ(fifoSizeForListText(typed), 0) << typed;
    for (const char* stored : {"0", "4096", "04098", " 4098", "4MB"})
        EXPECT_EQ(fifoListTextForStoredText(stored), std::nullopt) << stored;
}

TEST(FifoSizesTest, APickWritesBothSizesUnderBothKeysAndNoPickWritesNothing)
{
    const QString serial = QStringLiteral("System\\CurrentControlSet\\Services\\Serial\\");
    const QString adapter = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000\\");
    EXPECT_EQ(fifoWrites("8MB", "32k"), (QList<FifoWrite>{{serial, "RxFIFO", 0},
                                                          {serial, "TxFIFO", 8196},
                                                          {adapter, "RxFIFO", 0},
                                                          {adapter, "TxFIFO", 8196}}));
    for (const auto& [send, receive] : {std::pair{"Select Size", "16k"}, {"16k", "Select Size"}})
        EXPECT_EQ(fifoWrites(send, receive), std::nullopt) << send << receive;
}

} // namespace
} // namespace velmora
