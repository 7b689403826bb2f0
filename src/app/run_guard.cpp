#include "app/form1.h"
#include "app/window_yielder.h"

#include "fs/waiting_calls.h"
#include "handler/stop_signals.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>

#include <unistd.h>

#include <condition_variable>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace quellomir {

QString unansweredNote(std::chrono::milliseconds unansweredAfter) {
    const std::optional<WaitingCalls::Wait> wait = WaitingCalls::longest();
    if (!wait || wait->waited < unansweredAfter) return {};
    return QStringLiteral("; ") + QString::fromStdString(unansweredText(*wait));
}

void Form1::carryOutRun(const QString& activity, const std::function<QString()>& progress,
                        const std::function<void(WindowYielder&)>& run) {
    if (m_running) return;
    m_running = true;
    // Turning the pressed button off moves the keyboard focus on; it goes back after the
    // run unless the user has moved it meanwhile.
    const QPointer<QWidget> focusBefore = focusWidget();
    setRunControlsEnabled(false);
    const QPointer<QWidget> focusDuring = focusWidget();
    endPlanSummary();
    const QString caption = windowTitle();
    WindowYielder yielder(
        [&] {
            setWindowTitle(caption + QStringLiteral(" \u2014 ") + activity + QStringLiteral(": ") +
                           progress());
        },
        [this] { return m_closedDuringRun; }, m_env.yieldInterval);
    bool cancelled = false;
    try {
        run(yielder);
    } catch (const RunCancelled&) {
        cancelled = true;
    }
    setWindowTitle(caption);
    setRunControlsEnabled(true);
    if (focusBefore && focusBefore != focusDuring && focusWidget() == focusDuring) focusBefore->setFocus();
    m_running = false;
    if (cancelled) emit closedDuringRun();
}

namespace {

// The yielder of a run on a thread of its own: it only ends the run once the window was
// closed; the window's own thread shows the progress.
class StopWhenClosed final : public Yielder {
  public:
    explicit StopWhenClosed(const std::atomic<bool>& closed) : m_closed(closed) {}
    void tick() override {
        if (m_closed.load(std::memory_order_relaxed)) throw RunCancelled{};
    }

  private:
    const std::atomic<bool>& m_closed;
};

} // namespace

void Form1::runOffWindow(Yielder& windowYielder, const std::function<void(Yielder&)>& work) {
    std::atomic<bool> closed{false};
    StopWhenClosed stopWhenClosed(closed);
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;
    std::thread worker = startWithoutStopSignals([&] {
        try {
            work(stopWhenClosed);
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_all();
    });
    const auto waitForWorker = [&](std::chrono::milliseconds longest) {
        std::unique_lock lock(mutex);
        return finished.wait_for(lock, longest, [&] { return done; });
    };
    try {
        // The window gets its turn at least once, as it did when runs ran on its thread.
        do
            windowYielder.tick();
        while (!waitForWorker(std::chrono::milliseconds(5)));
    } catch (const RunCancelled&) {
        closed = true;
        // The run unwinds at its next step, unless a drive holds it in the kernel: then
        // nothing but the end of the process frees it.
        bool ended = false;
        while (!waitForWorker(std::chrono::milliseconds(20))) {
            QCoreApplication::processEvents(); // an error report the run is waiting to show
            endIfHeldAfterClosing(closed, ended);
        }
    }
    worker.join();
    if (failure) std::rethrow_exception(failure);
    if (m_closedDuringRun) throw RunCancelled{};
}

void Form1::answerWhileRowRuns(WindowYielder& window, std::atomic<bool>& closed, bool& ended) {
    window.answer();
    endIfHeldAfterClosing(closed, ended);
}

void Form1::endIfHeldAfterClosing(std::atomic<bool>& closed, bool& ended) {
    if (!m_closedDuringRun) return;
    closed = true;
    const std::optional<WaitingCalls::Wait> wait = WaitingCalls::longest();
    if (ended || !wait || wait->waited < m_env.unansweredAfter) return;
    ended = true;
    if (m_recordBeforeEnding) {
        // On a thread of its own, waited for a while only: the record's folder may be on the
        // very drive that holds the run.
        auto written = std::make_shared<std::promise<void>>();
        std::future<void> done = written->get_future();
        try {
            std::thread([record = m_recordBeforeEnding, written] {
                record();
                written->set_value();
            }).detach();
            done.wait_for(std::chrono::seconds(2));
        } catch (const std::system_error&) {
            // No thread to be had: the program ends without the record.
        }
    }
    if (m_env.endProgram)
        m_env.endProgram();
    else
        ::_exit(0);
}

void Form1::setRunControlsEnabled(bool enabled) {
    // "Help" stays: reading the instructions cannot disturb a run.
    for (QPushButton* button : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6,
                                PushButton7, PushButton8, PushButton9})
        button->setEnabled(enabled);
}

void Form1::closeEvent(QCloseEvent* event) {
    if (m_running) m_closedDuringRun = true;
    QWidget::closeEvent(event);
}

} // namespace quellomir
