#pragma once

// The outside tools that make and judge the test volumes (dosfstools, mtools).
#include "support/FileDevice.h"
#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora::testing {

inline const QString kSystemDat = QStringLiteral(VELMORA_TEST_DATA "/SYSTEM.DAT");

// An mtools command on the image, which must succeed: mcopy, mmd, mdel, mattrib...
inline QByteArray mtool(const QString& image, const QString& tool, QStringList args)
{
    args.prepend(image);
    args.prepend(QStringLiteral("-i"));
    const Ran r = run(tool, args);
    EXPECT_EQ(r.code, 0) << tool.toStdString() << " " << args.join(' ').toStdString() << ": "
                         << r.err.toStdString();
    return r.out;
}

// A new volume of kib KiB: mkfs.fat -F bits, one sector per cluster unless told.
inline void makeVolume(const QString& image, int bits, int kib, const QStringList& extra = {})
{
    QFile::remove(image);
    const Ran r = run(QStringLiteral("mkfs.fat"),
                      QStringList{QStringLiteral("-C"), QStringLiteral("-F"), QString::number(bits),
                                  QStringLiteral("-s"), QStringLiteral("1")} +
                          extra + QStringList{image, QString::number(kib)});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
}

inline void expectFsckClean(const QString& image)
{
    const Ran r = run(QStringLiteral("fsck.fat"), {QStringLiteral("-n"), image});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
}

// What mtools reads of a file: its bytes and its attribute letters ("A  SHR").
inline QByteArray mtype(const QString& image, const QString& path)
{
    return mtool(image, QStringLiteral("mtype"), {QStringLiteral("::/") + path});
}
inline QByteArray mattrib(const QString& image, const QString& path)
{
    const QByteArray out = mtool(image, QStringLiteral("mattrib"), {QStringLiteral("::/") + path});
    return out.left(out.indexOf("::")).trimmed();
}

} // namespace velmora::testing
