#pragma once

#include "app/form1.h"
#include "fs/posix_file_system.h"
#include "gui/qstring_printer.h"
#include "gui/recording_dialogs.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

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
    std::unique_ptr<Form1> m_window;
};

} // namespace quellomir::testing
