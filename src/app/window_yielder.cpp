#include "app/window_yielder.h"

#include <QCoreApplication>

namespace quellomir {

WindowYielder::WindowYielder(std::function<void()> beforeYield, std::function<bool()> cancelled,
                             std::chrono::milliseconds interval)
    : m_beforeYield(std::move(beforeYield)), m_cancelled(std::move(cancelled)), m_interval(interval),
      m_last(std::chrono::steady_clock::now()) {}

void WindowYielder::tick() {
    if (answer() && m_cancelled && m_cancelled()) throw RunCancelled{};
}

bool WindowYielder::answer() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_last < m_interval) return false;
    if (m_beforeYield) m_beforeYield();
    QCoreApplication::processEvents();
    m_last = std::chrono::steady_clock::now();
    return true;
}

} // namespace quellomir
