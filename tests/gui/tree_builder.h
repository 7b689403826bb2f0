#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace quellomir::testing {

// A real folder tree in a temporary folder, with files written at chosen times.
class TreeBuilder {
  public:
    TreeBuilder() = default;

    // The folder's path as a slot holds it, with its trailing separator.
    QString slotText() const { return m_dir.path() + QLatin1Char('/'); }
    QString path(const QString& relative) const { return m_dir.path() + QLatin1Char('/') + relative; }

    // Writes `relative` (creating its folders) with `content`, last written at
    // `secondsSince1970` when given.
    void file(const QString& relative, const QByteArray& content = "x",
              qint64 secondsSince1970 = 1600000000) const {
        const QString full = path(relative);
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        if (!file.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write " + full.toStdString());
        file.write(content);
        file.flush(); // a write after the time is set would move the time again
        file.setFileTime(QDateTime::fromSecsSinceEpoch(secondsSince1970), QFileDevice::FileModificationTime);
    }
    void folder(const QString& relative) const { QDir().mkpath(path(relative)); }

  private:
    QTemporaryDir m_dir;
};

} // namespace quellomir::testing
