#pragma once

#include <QDateTime>
#include <QString>

#include <string>

namespace quellomir {

// Where the records of syncs go: $XDG_STATE_HOME/quellomir/, by default
// ~/.local/state/quellomir/.
QString syncLogFolder();

// Writes `text` as a new record named after `now` ("sync-2026-12-07-183012.log"), then
// removes all but the newest `kept` records. Returns the record's path, or an empty string
// and the reason in `failure`.
QString writeSyncLog(const std::string& text, const QDateTime& now, QString& failure, int kept = 20);

// A path as a message shows it: "~/…" below the home folder.
QString shownFromHome(const QString& path);

} // namespace quellomir
