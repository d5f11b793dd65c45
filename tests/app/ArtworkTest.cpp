#include "app/Artwork.h"

#include <QDirIterator>
#include <QImage>

#include <gtest/gtest.h>

namespace velmora {
namespace {

// The pictures are compiled in (a missing file stops the build); here they must also be
// reachable at run time and decode at the sizes the windows are laid out for.
TEST(ArtworkTest, EveryPictureIsThereAndDecodes)
{
    registerArtwork();
    const struct {
        const char* path;
        QSize size;
    } expected[] = {
        {":/images/splash.jpg", {302, 393}}, {":/images/banner.jpg", {641, 86}},
        {":/icons/port.png", {32, 32}},      {":/icons/modem.png", {32, 32}},
        {":/icons/buffer.png", {32, 32}},    {":/icons/network.png", {32, 32}},
        {":/icons/info.png", {32, 32}},      {":/icons/port-small.png", {16, 16}},
        {":/icons/velmora.png", {256, 256}},
    };
    for (const auto& picture : expected) {
        const QImage image(QString::fromLatin1(picture.path));
        EXPECT_FALSE(image.isNull()) << picture.path;
        EXPECT_EQ(image.size(), picture.size) << picture.path;
    }

    int count = 0;
    for (QDirIterator it(QStringLiteral(":/images"), QDirIterator::Subdirectories); it.hasNext(); ++count)
        EXPECT_FALSE(QImage(it.next()).isNull()) << it.filePath().toStdString();
    for (QDirIterator it(QStringLiteral(":/icons"), QDirIterator::Subdirectories); it.hasNext(); ++count)
        EXPECT_FALSE(QImage(it.next()).isNull()) << it.filePath().toStdString();
    EXPECT_EQ(count, int(std::size(expected)));
}

} // namespace
} // namespace velmora
