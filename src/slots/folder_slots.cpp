#include "app/form1.h"
#include "handler/numbered_handler.h"
#include "scan/folder_picker.h"

namespace quellomir {

void Form1::PushButton3_Click() {
    if (m_running) return;
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.PushButton3_Click ");
    if (h.test(100, [&] { return m_cursor != CursorSetting::Busy; })) h.run(100, [&] { m_folder1.clear(); });
    chooseFolderInto(h, m_folder1, QStringLiteral("ListView1"));
}

void Form1::PushButton1_Click() {
    if (m_running) return;
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.PushButton1_Click ");
    // Unlike the Folder 1 side, this slot is emptied whatever the cursor shows.
    h.run(100, [&] { m_folder2.clear(); });
    chooseFolderInto(h, m_folder2, QStringLiteral("ListView2"));
}

// The steps both choose buttons share after emptying their slot: pick a folder, store it
// as picked, then with one trailing separator in the slot and under the slot's key.
void Form1::chooseFolderInto(NumberedHandler& h, FolderSlotModel& slot, const QString& key) {
    QString chosen;
    h.run(102, [&] {
        chosen = ChooseFolder(m_env.dialogs, this, QStringLiteral("Please select folder"), QString());
    });
    if (h.testLeave(104, [&] { return chosen.isEmpty(); })) return;
    h.run(106, [&] { setCursorSetting(CursorSetting::Busy); });
    h.run(108, [&] { m_env.settings.save(QStringLiteral("LastFolderDot"), chosen); });
    if (h.test(108, [&] { return !chosen.endsWith(QLatin1Char('/')); }))
        h.run(110, [&] { chosen += QLatin1Char('/'); });
    h.run(112, [&] { slot.add(chosen); });
    h.run(114, [&] { m_env.settings.save(key, chosen); });
    h.run(116, [&] { setCursorSetting(CursorSetting::Default); });
}

void Form1::PushButton2_Click() {
    if (m_running) return;
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.PushButton2_Click ");
    if (h.test(100, [&] { return m_cursor != CursorSetting::Busy; })) h.run(100, [&] { m_folder1.clear(); });
    h.run(102, [&] { m_env.settings.save(QStringLiteral("ListView1"), QString()); });
}

void Form1::PushButton4_Click() {
    if (m_running) return;
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.PushButton4_Click ");
    h.run(100, [&] { m_folder2.clear(); });
    h.run(102, [&] { m_env.settings.save(QStringLiteral("ListView2"), QString()); });
}

} // namespace quellomir
