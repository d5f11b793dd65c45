#include "buffers/FifoSizes.h"
#include "buffers/PortBuffer.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(PortBufferTest, EmptyBoxesAreRefusedInOrder)
{
    const struct {
        const char *port, *irq, *buffer, *refusal;
    } cases[] = {{"2", "", "", "You Must Enter an Irq #"},
                 {"2", "3", "", "You Must Enter a Buffer!"},
                 {"", "3", "1024", "You Must Enter a Com Port!"},
                 {"2", "3", "1024", nullptr}};
    for (const auto& c : cases) {
        const auto refusal = portBufferRefusal(c.port, c.irq, c.buffer);
        EXPECT_EQ(refusal, c.refusal ? std::optional<QString>(c.refusal) : std::nullopt) << c.port << c.irq;
    }
}

// "4MB" and "8MB" store 4098 and 8196; only those exact numbers read back as list texts.
TEST(FifoSizesTest, ListTextsAndStoredNumbersMapBothWays)
{
    const std::pair<const char*, qint32> sizes[] = {{"16k", 16},   {"64k", 64},    {"512k", 512},
                                                    {"1MB", 1024}, {"2MB", 2048},  {"4MB", 4098},
                                                    {"8MB", 8196}, {"16MB", 16384}};
    QStringList texts;
    for (const auto& [listText, stored] : sizes) {
        texts << listText;
        EXPECT_EQ(fifoSizeForListText(listText), stored);
        EXPECT_EQ(fifoListTextForStoredText(QString::number(stored)), QString(listText));
    }
    EXPECT_EQ(fifoListTexts(), texts);
    EXPECT_EQ(fifoSizeForListText("4mb"), 0);
    for (const char* stored : {"4096", "04098"})
        EXPECT_EQ(fifoListTextForStoredText(stored), std::nullopt) << stored;
}

TEST(FifoSizesTest, APickWritesBothSizesUnderBothKeysAndNoPickWritesNothing)
{
    const QString serial = QStringLiteral("System\\CurrentControlSet\\Services\\Serial\\");
    const QString adapter = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000\\");
    const QList<FifoWrite> writes = {
        {serial, "RxFIFO", 0}, {serial, "TxFIFO", 8196}, {adapter, "RxFIFO", 0}, {adapter, "TxFIFO", 8196}};
    EXPECT_EQ(fifoWrites("8MB", "32k"), writes);
    for (const auto& [send, receive] : {std::pair{"Select Size", "16k"}, {"16k", "Select Size"}})
        EXPECT_EQ(fifoWrites(send, receive), std::nullopt) << send << receive;
}

} // namespace
} // namespace velmora
