#include "cli/terminal_progress.h"

namespace quellomir {
namespace {

// Often enough to look alive, seldom enough to cost nothing.
constexpr std::chrono::milliseconds DrawInterval{100};

} // namespace

void TerminalProgress::showRow(std::size_t row, std::size_t rows) {
    m_listed = nullptr;
    m_row = row;
    m_rows = rows;
    tick();
}

void TerminalProgress::tick() {
    if (!m_stopped && (m_stopAsked || (m_interrupted && m_interrupted->load()))) {
        m_stopped = true; // once: what comes after (the flush of what was copied) goes on
        // The copies made are finished first, which on a slow stick takes a while: say so at
        // once, so that nobody takes the wait for a hang.
        if (m_rows > 0) {
            clear();
            std::fputs("quellomir: stopping once the copies made so far are on the drive; "
                       "a second stop ends the program at once\n",
                       m_err);
            std::fflush(m_err);
        }
        throw Interrupted{};
    }
    if (!m_shown) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastDrawn < DrawInterval) return;
    m_lastDrawn = now;
    draw();
}

void TerminalProgress::draw() {
    if (m_listed)
        std::fprintf(m_err, "\r\033[K%zu files listed", *m_listed);
    else if (m_rows > 0)
        std::fprintf(m_err, "\r\033[Krow %zu of %zu, %.1f MB copied", m_row, m_rows, double(m_bytes) / 1e6);
    else
        return;
    std::fflush(m_err);
    m_drawn = true;
}

void TerminalProgress::clear() {
    if (!m_drawn) return;
    std::fputs("\r\033[K", m_err);
    std::fflush(m_err);
    m_drawn = false;
}

} // namespace quellomir
