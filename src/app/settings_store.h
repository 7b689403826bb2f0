#pragma once

#include <QString>

namespace quellomir {

// The per-user store of the two chosen folders: $XDG_CONFIG_HOME/Venmarro.conf, group
// "Quellomir" (the registry on Windows). Nothing is cached: every read looks at the
// file, and every save is on disk before it returns, or throws naming the file.
class SettingsStore {
  public:
    QString read(const QString& key, const QString& defaultValue) const;
    void save(const QString& key, const QString& value);

    // Where the store lives, for messages and for tests.
    static QString filePath();
};

} // namespace quellomir
