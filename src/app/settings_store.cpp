#include "app/settings_store.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <stdexcept>

namespace quellomir {
namespace {

const QString Group = QStringLiteral("Quellomir");

QSettings openStore() {
    // The organisation alone names the file Venmarro.conf in the user's config folder.
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Venmarro"));
}

std::string describe(QSettings::Status status) {
    return status == QSettings::AccessError ? "access denied" : "the value did not reach the file";
}

// What a file looked like when it was read, to know it again unchanged.
QString stampOf(const QString& fileName) {
    const QFileInfo info(fileName);
    return fileName + QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|') +
           QString::number(info.lastModified().toMSecsSinceEpoch());
}

std::string accessFailure(const QString& fileName) {
    // QSettings does not say why it could not read the file; the file itself does.
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return file.errorString().toStdString();
    return "access denied";
}

QString readBack(const QString& key) {
    QSettings store = openStore();
    store.beginGroup(Group);
    return store.value(key, QStringLiteral("\x01absent")).toString();
}

} // namespace

QString SettingsStore::read(const QString& key, const QString& defaultValue) const {
    QSettings store = openStore();
    store.beginGroup(Group);
    const QString value = store.value(key, defaultValue).toString();
    // QSettings parses an unchanged file once per run, and only that first reading says it
    // could not; a later read of the same file must say so as well.
    std::string failure;
    if (store.status() == QSettings::AccessError) {
        failure = accessFailure(store.fileName());
    } else if (store.status() == QSettings::FormatError || m_unparsed == stampOf(store.fileName())) {
        m_unparsed = stampOf(store.fileName());
        failure = "the file is not in the settings format";
    }
    // The caller reports the failure and goes on: a damaged store must not stop the start.
    if (!failure.empty())
        throw std::runtime_error("Could not read the setting \"" + key.toStdString() + "\" from " +
                                 store.fileName().toStdString() + ": " + failure);
    return value;
}

void SettingsStore::save(const QString& key, const QString& value) {
    QSettings store = openStore();
    store.beginGroup(Group);
    store.setValue(key, value);
    store.sync();
    // A file that could not be parsed still takes the save (its status keeps saying so),
    // so what counts is whether the value is there now.
    if (store.status() == QSettings::AccessError || readBack(key) != value)
        throw std::runtime_error("Could not save the setting \"" + key.toStdString() + "\" to " +
                                 store.fileName().toStdString() + ": " + describe(store.status()));
}

QString SettingsStore::filePath() {
    return openStore().fileName();
}

} // namespace quellomir
