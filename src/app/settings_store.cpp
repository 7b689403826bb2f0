#include "app/settings_store.h"

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

QString readBack(const QString& key) {
    QSettings store = openStore();
    store.beginGroup(Group);
    return store.value(key, QStringLiteral("\x01absent")).toString();
}

} // namespace

QString SettingsStore::read(const QString& key, const QString& defaultValue) const {
    // A file that cannot be parsed reads as empty: a damaged store must not stop the start.
    QSettings store = openStore();
    store.beginGroup(Group);
    return store.value(key, defaultValue).toString();
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
