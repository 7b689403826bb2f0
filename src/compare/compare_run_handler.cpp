#include "app/form1.h"
#include "compare/compare_run.h"
#include "files/readable_folder.h"
#include "handler/numbered_handler.h"

#include <QLocale>
#include <QStringList>

namespace quellomir {
namespace {

// The lines of unreadableFolders, as one message.
QString unreadableSlots(FileSystem& fs, const QString& folder1, const QString& folder2) {
    QStringList lines;
    for (const std::string& line : unreadableFolders(fs, folder1.toStdString(), folder2.toStdString()))
        lines.append(QString::fromStdString(line));
    return lines.join(QLatin1Char('\r'));
}

} // namespace

void Form1::PushButton5_Click() {
    carryOutRun(
        QStringLiteral("comparing"),
        [this] {
            return QLocale(QLocale::English).toString(qulonglong(m_filesListed)) + QStringLiteral(" files");
        },
        [this](Yielder& yielder) { compareSlotFolders(yielder); });
}

void Form1::compareSlotFolders(Yielder& yielder) {
    NumberedHandler h(m_errorReport, CompareRunLocation);
    h.run(104, [&] { m_plan.clear(); });
    if (h.test(106, [&] { return m_folder1.count() != 1 || m_folder2.count() != 1; })) {
        h.run(106, [&] { showMessage(QStringLiteral("Please select two folders to compare.")); });
        return;
    }
    QString unreadable;
    h.run(106, [&] { unreadable = unreadableSlots(m_env.fs, m_folder1.text(1), m_folder2.text(1)); });
    if (!unreadable.isEmpty()) {
        h.run(106, [&] { showMessage(unreadable); });
        return;
    }
    m_filesListed = 0;
    CompareContext context{m_env.fs, m_env.codePage, m_errorReport, yielder, m_filesListed};
    UnreadParts unread;
    context.unread = &unread;
    Plan plan = compareFolders(
        h, [&] { return m_folder1.text(1).toStdString(); }, [&] { return m_folder2.text(1).toStdString(); },
        context);
    h.run(182, [&] { m_plan.setPlan(std::move(plan)); });
    // The plan stays: what it holds is right, but it is not all there is.
    if (!unread.empty()) showMessage(QString::fromStdString(unreadMessage(unread)));
}

} // namespace quellomir
