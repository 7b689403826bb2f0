#include "app/form1.h"
#include "handler/numbered_handler.h"

namespace quellomir {

void Form1::PushButton9_Click() {
    if (m_running) return;
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.PushButton9_Click ");
    if (h.test(100, [&] { return m_cursor != CursorSetting::Busy; })) h.run(100, [&] { m_folder1.clear(); });
    h.run(102, [&] { m_folder2.clear(); });
    // A plain joining: a program in the root folder gives "//Samples/...", shown and
    // stored that way.
    QString sample1;
    h.run(104, [&] { sample1 = m_env.programFolder + QStringLiteral("/Samples/Folder1/"); });
    h.run(106, [&] { m_folder1.add(sample1); });
    h.run(108, [&] { m_env.settings.save(QStringLiteral("ListView1"), sample1); });
    QString sample2;
    h.run(110, [&] { sample2 = m_env.programFolder + QStringLiteral("/Samples/Folder2/"); });
    h.run(112, [&] { m_folder2.add(sample2); });
    h.run(114, [&] { m_env.settings.save(QStringLiteral("ListView2"), sample2); });
}

} // namespace quellomir
