#pragma once

#include "app/form1.h"
#include "fs/posix_file_system.h"
#include "fs/watched_file_system.h"
#include "gui/qstring_printer.h"
#include "gui/recording_dialogs.h"
#include "support/unanswering_file_system.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace quellomir::testing {

// A main window on the offscreen platform with recorded dialogs, a settings file of its
// own in a temporary folder, and a program folder the test chooses.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_configDir.isValid());
        ASSERT_TRUE(m_programDir.isValid());
        useSettingsFolder(m_configDir.path());
        programFolder = m_programDir.path();
    }

    static void useSettingsFolder(const QString& folder) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    }

    // Loads a fresh window, as a new start of the program would.
    Form1& start() {
        Form1Environment environment{dialogs,      settings,      windowFs ? *windowFs : fs,
                                     codePage,     programFolder, [this] { return draw; },
                                     yieldInterval};
        environment.unansweredAfter = unansweredAfter;
        environment.endProgram = endProgram;
        m_window = std::make_unique<Form1>(std::move(environment));
        m_window->Form_Load();
        return *m_window;
    }

    QString configPath() const { return m_configDir.path(); }

    // A plain file where the settings folder should be: no save can succeed, not even as root.
    void makeSettingsUnwritable() {
        const QString blocker = m_configDir.path() + QStringLiteral("/not-a-folder");
        QFile file(blocker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        useSettingsFolder(blocker + QStringLiteral("/config"));
    }

    QString stored(const QString& key) const {
        QSettings store(m_configDir.path() + QStringLiteral("/Venmarro.conf"), QSettings::NativeFormat);
        return store.value(QStringLiteral("Quellomir/") + key, QStringLiteral("<absent>")).toString();
    }
    void store(const QString& key, const QString& value) {
        QSettings store(m_configDir.path() + QStringLiteral("/Venmarro.conf"), QSettings::NativeFormat);
        store.setValue(QStringLiteral("Quellomir/") + key, value);
    }

    // The window's drive stops answering under `folder` (only for writes, with `writesOnly`),
    // and a call counts as unanswered after 50 ms. Ending the program notes whether a call
    // still hung, then lets it go, as the end of the process does to the waiting thread.
    struct Unanswered {
        Unanswered(FileSystem& fs, std::string folder, bool writesOnly)
            : unanswering(fs, std::move(folder), writesOnly), watched(unanswering) {}
        UnansweringFileSystem unanswering;
        WatchedFileSystem watched;
        bool endedWhileHanging = false;
    };
    Unanswered& stopAnsweringUnder(std::string folder, bool writesOnly = false) {
        m_unanswered = std::make_unique<Unanswered>(fs, std::move(folder), writesOnly);
        windowFs = &m_unanswered->watched;
        unansweredAfter = std::chrono::milliseconds(50);
        endProgram = [drive = m_unanswered.get()] {
            drive->endedWhileHanging = drive->unanswering.reached();
            drive->unanswering.release();
        };
        return *m_unanswered;
    }
    // Closes `window` once its caption says that a drive has not answered, keeping that caption.
    void closeOnceUnanswered(Form1& window) {
        QObject::connect(&m_watch, &QTimer::timeout, &window, [this, &window] {
            if (!window.windowTitle().contains(QStringLiteral("has not answered"))) return;
            captionWhileHanging = window.windowTitle();
            m_watch.stop();
            window.close();
        });
        m_watch.start(10);
    }
    QString captionWhileHanging;

    RecordingDialogs dialogs;
    SettingsStore settings;
    PosixFileSystem fs;
    CodePage codePage;
    QString programFolder;
    int draw = 50;
    std::chrono::milliseconds yieldInterval{20};
    FileSystem* windowFs = nullptr; // another file system for the window than `fs`
    std::chrono::milliseconds unansweredAfter{3000};
    std::function<void()> endProgram{};

  private:
    QTemporaryDir m_configDir;
    QTemporaryDir m_programDir;
    QTimer m_watch;
    std::unique_ptr<Unanswered> m_unanswered; // outlives the window that uses it
    std::unique_ptr<Form1> m_window;
};

} // namespace quellomir::testing
