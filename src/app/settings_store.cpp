#include "app/settings_store.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace quellomir {
namespace {

const QString Group = QStringLiteral("Quellomir");

QSettings openStore() {
    // The organisation alone names the file Venmarro.conf in the user's config folder.
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Venmarro"));
}

// The store's file, named as the store names it, without reading it (a store reads its file as
// soon as it is made): a store of another name in the same folder reads only a file that is
// not there.
QString storeFile() {
    const QSettings sibling(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Venmarro.unread"));
    return QFileInfo(sibling.fileName()).path() + QStringLiteral("/Venmarro.conf");
}

std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "a socket";
}

// Why the file is none to read or write: empty for a regular file (links followed) and for no
// file at all, where the store says what it makes of it. Reading a FIFO would wait for a writer
// for ever, and a save would write through a link to a device. The look opens nothing that
// could block; the open that follows it makes sure that it saw what is opened.
std::string notARegularFile(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    struct stat facts;
    if (::stat(path.constData(), &facts) != 0) return {};
    if (!S_ISREG(facts.st_mode)) return "it is " + kindOf(facts.st_mode) + ", not a settings file";
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {};
    const bool regular = ::fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode);
    ::close(fd);
    return regular ? std::string() : "it is " + kindOf(facts.st_mode) + ", not a settings file";
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
    // The caller reports the failure and goes on: a damaged store must not stop the start.
    const QString file = storeFile();
    if (const std::string reason = notARegularFile(file); !reason.empty())
        throw std::runtime_error("Could not read the setting \"" + key.toStdString() + "\" from " +
                                 file.toStdString() + ": " + reason);
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
    if (!failure.empty())
        throw std::runtime_error("Could not read the setting \"" + key.toStdString() + "\" from " +
                                 store.fileName().toStdString() + ": " + failure);
    return value;
}

void SettingsStore::save(const QString& key, const QString& value) {
    const QString file = storeFile();
    if (const std::string reason = notARegularFile(file); !reason.empty())
        throw std::runtime_error("Could not save the setting \"" + key.toStdString() + "\" to " +
                                 file.toStdString() + ": " + reason);
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
    return storeFile();
}

} // namespace quellomir
