#include "app/hand_cursor.h"

#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace quellomir {
namespace {

// A 16 x 16 Windows cursor, 32 bits a pixel, with its hot spot at (hotX, hotY).
QByteArray cursorFile(int hotX, int hotY) {
    QByteArray bytes;
    auto word = [&](quint16 v) { bytes.append(char(v & 0xff)).append(char(v >> 8)); };
    auto dword = [&](quint32 v) {
        word(quint16(v & 0xffff));
        word(quint16(v >> 16));
    };
    const int side = 16;
    const quint32 imageBytes = 40 + side * side * 4 + side * 4; // header, colours, AND mask
    word(0), word(2), word(1);                                  // reserved, cursor, one image
    bytes.append(char(side)).append(char(side)).append('\0').append('\0');
    word(quint16(hotX)), word(quint16(hotY));
    dword(imageBytes), dword(6 + 16);
    dword(40), dword(side), dword(side * 2), word(1), word(32), dword(0), dword(side * side * 4);
    dword(0), dword(0), dword(0), dword(0);
    for (int i = 0; i < side * side; ++i)
        dword(0xff202020);
    bytes.append(QByteArray(side * 4, '\0'));
    return bytes;
}

TEST(HandCursor, TakesItsImageAndHotSpotFromTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("HAND-M.CUR"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(cursorFile(5, 3));
    file.close();

    const QCursor cursor = loadHandCursor(path);
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), QPoint(5, 3));
    EXPECT_EQ(cursor.pixmap().size(), QSize(16, 16));
}

TEST(HandCursor, MissingFileGivesThePointingHand) {
    EXPECT_EQ(loadHandCursor(QStringLiteral("/no/such/HAND-M.CUR")).shape(), Qt::PointingHandCursor);
}

} // namespace
} // namespace quellomir
