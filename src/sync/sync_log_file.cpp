#include "sync/sync_log_file.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace quellomir {

QString syncLogFolder() {
    // A relative value is to be ignored, as the XDG base directory rules say.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quellomir");
}

QString writeSyncLog(const std::string& text, const QDateTime& now, QString& failure, int kept) {
    const QString folder = syncLogFolder();
    if (!QDir().mkpath(folder)) {
        failure = QStringLiteral("the folder %1 could not be made").arg(folder);
        return {};
    }
    // Two syncs within one second get a number, so that neither record replaces the other.
    const QString stem =
        folder + QStringLiteral("/sync-") + now.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString path = stem + QStringLiteral(".log");
    for (int n = 2; QFile::exists(path); ++n)
        path = stem + QStringLiteral("-%1.log").arg(n);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit()) {
        failure = file.errorString();
        return {};
    }
    // Newest first by their times, which a second record of the same second sorts right too.
    const QStringList records =
        QDir(folder).entryList({QStringLiteral("sync-*.log")}, QDir::Files, QDir::Time);
    for (qsizetype i = kept; i < records.size(); ++i)
        QFile::remove(folder + QLatin1Char('/') + records[i]);
    return path;
}

QString shownFromHome(const QString& path) {
    const QString home = QDir::homePath() + QLatin1Char('/');
    return path.startsWith(home) ? QStringLiteral("~/") + path.mid(home.size()) : path;
}

} // namespace quellomir
