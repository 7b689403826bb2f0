#include "app/form1.h"
#include "compare/compare_run.h"
#include "compare/row_details.h"
#include "files/readable_folder.h"
#include "fs/waiting_calls.h"
#include "handler/numbered_handler.h"

#include <QLocale>
#include <QStringList>

namespace quellomir {
namespace {

// The lines of unreadableFolders, as one message.
QString unreadableSlots(FileSystem& fs, const std::string& folder1, const std::string& folder2) {
    QStringList lines;
    for (const std::string& line : unreadableFolders(fs, folder1, folder2))
        lines.append(QString::fromStdString(line));
    return lines.join(QLatin1Char('\r'));
}

// How far the compare has got, and the folder it waits for when a drive has not answered
// for a while: "12,345 files", "12,345 files; /mnt/share/photos has not answered for 9 s".
QString compareProgress(std::size_t filesListed, std::chrono::milliseconds unansweredAfter) {
    return QLocale(QLocale::English).toString(qulonglong(filesListed)) + QStringLiteral(" files") +
           unansweredNote(unansweredAfter);
}

// Publishes the count of files listed so far to the window at each step of the run.
class PublishingYielder final : public Yielder {
  public:
    PublishingYielder(Yielder& inner, const std::size_t& listed, std::atomic<std::size_t>& shown)
        : m_inner(inner), m_listed(listed), m_shown(shown) {}
    void tick() override {
        m_shown.store(m_listed, std::memory_order_relaxed);
        m_inner.tick();
    }

  private:
    Yielder& m_inner;
    const std::size_t& m_listed;
    std::atomic<std::size_t>& m_shown;
};

} // namespace

void Form1::PushButton5_Click() {
    carryOutRun(
        tr("comparing"), [this] { return compareProgress(m_filesListed.load(), m_env.unansweredAfter); },
        [this](WindowYielder& yielder) { compareSlotFolders(yielder); });
    // A plan of no rows is summed up too: the folders are in step.
    if (!runInProgress() && !m_planSummary.isEmpty()) showPlanSummary();
}

void Form1::showPlanSummary() {
    endPlanSummary();
    m_captionBeforeSummary = windowTitle();
    setWindowTitle(m_captionBeforeSummary + QStringLiteral(" \u2014 ") + m_planSummary);
}

void Form1::endPlanSummary() {
    if (m_captionBeforeSummary.isNull()) return;
    setWindowTitle(m_captionBeforeSummary);
    m_captionBeforeSummary = QString();
}

void Form1::dropPlan() {
    m_plan.clear();
    endPlanSummary();
}

void Form1::compareSlotFolders(Yielder& yielder) {
    NumberedHandler h(m_errorReport, CompareRunLocation);
    h.run(104, [&] { m_plan.clear(); });
    m_planSummary.clear();
    if (h.test(106, [&] { return m_folder1.count() != 1 || m_folder2.count() != 1; })) {
        h.run(106, [&] { showMessage(QStringLiteral("Please select two folders to compare.")); });
        return;
    }
    // Everything that reaches the drives runs off the window's thread, down to the first
    // look at the chosen folders: a drive that never answers must not freeze the window.
    const std::string folder1 = m_folder1.text(1).toStdString();
    const std::string folder2 = m_folder2.text(1).toStdString();
    // A settings file that cannot be read is reported; files then pair by name. Part of the
    // look at what the comparison is given, before the first folder is read.
    Pairing pairing = Pairing::ByName;
    Exclusions exclusions;
    h.run(106, [&] {
        if (pairsByPlace()) pairing = Pairing::ByPlace;
        exclusions = Exclusions::fromSetting(exclusionsSetting().toStdString());
    });
    m_filesListed = 0;
    QString unreadable;
    UnreadParts unread;
    Plan plan;
    std::string summary;
    runOffWindow(yielder, [&](Yielder& runYielder) {
        std::size_t listed = 0;
        PublishingYielder publishing(runYielder, listed, m_filesListed);
        h.run(106, [&] { unreadable = unreadableSlots(m_env.fs, folder1, folder2); });
        if (!unreadable.isEmpty()) return;
        CompareContext context{m_env.fs, m_env.codePage, m_errorReport, publishing, listed};
        context.unread = &unread;
        context.pairing = pairing;
        context.exclusions = exclusions;
        plan = compareFolders(
            h, [&] { return folder1; }, [&] { return folder2; }, context);
        // A pass over every row, made here rather than on the window's thread.
        summary = summaryText(summarizePlan(plan));
        for (const std::string& note : plan.notes())
            summary += "; " + note;
    });
    if (!unreadable.isEmpty()) {
        h.run(106, [&] { showMessage(unreadable); });
        return;
    }
    h.run(182, [&] { m_plan.setPlan(std::move(plan)); });
    m_planSummary = QString::fromStdString(summary);
    // The plan stays: what it holds is right, but it is not all there is.
    if (!unread.empty()) showMessage(QString::fromStdString(unreadMessage(unread)));
}

} // namespace quellomir
