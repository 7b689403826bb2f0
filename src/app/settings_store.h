#pragma once

#include <QString>

namespace quellomir {

// The per-user store of the two chosen folders: $XDG_CONFIG_HOME/Venmarro.conf, group
// "Quellomir" (the registry on Windows). Nothing is cached: every read looks at the
// file; a read of a file that cannot be read or parsed, and a save that does not reach
// the disk, throw naming the file and the reason. A file that is not a regular one once
// links are followed (a FIFO, a device, a folder) is neither read nor written: it counts
// as one that cannot be read.
class SettingsStore {
  public:
    QString read(const QString& key, const QString& defaultValue) const;
    void save(const QString& key, const QString& value);

    // Where the store lives, for messages and for tests.
    static QString filePath();

  private:
    mutable QString m_unparsed; // the file, size and time of a file that could not be parsed
};

} // namespace quellomir
