#include "app/hand_cursor.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>

namespace quellomir {
namespace {

// A .cur file starts like an icon file (reserved, type 2, count) and its first directory
// entry keeps the hot spot where an icon keeps planes and bit count.
bool readHotSpot(const QByteArray& bytes, int& x, int& y) {
    if (bytes.size() < 6 + 16) return false;
    auto word = [&](int at) { return int(uchar(bytes[at])) | int(uchar(bytes[at + 1])) << 8; };
    if (word(0) != 0 || word(2) != 2 || word(4) < 1) return false;
    x = word(6 + 4);
    y = word(6 + 6);
    return true;
}

} // namespace

QCursor loadHandCursor(const QString& curFile) {
    QFile file(curFile);
    if (!file.open(QIODevice::ReadOnly)) return QCursor(Qt::PointingHandCursor);
    const QByteArray bytes = file.readAll();
    file.seek(0);
    QImageReader reader(&file, "cur");
    const QImage image = reader.read();
    int x = 0, y = 0;
    if (image.isNull() || !readHotSpot(bytes, x, y)) return QCursor(Qt::PointingHandCursor);
    return QCursor(QPixmap::fromImage(image), x, y);
}

} // namespace quellomir
