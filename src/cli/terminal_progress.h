#pragma once

#include "handler/yielder.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace quellomir {

// Thrown out of a run that Ctrl+C stopped; no std::exception, so that no numbered
// statement takes it for a failure of its own.
struct Interrupted {};

// The command line's turn during a long run: a progress line on a terminal that rewrites
// itself (files listed, then row n of N and the bytes copied), and the place where a run
// that was interrupted stops, once.
class TerminalProgress final : public Yielder {
  public:
    TerminalProgress(std::FILE* err, bool shown, const std::atomic<bool>* interrupted)
        : m_err(err), m_shown(shown), m_interrupted(interrupted) {}

    void showListing(const std::size_t& listed) { m_listed = &listed; }
    void showRow(std::size_t row, std::size_t rows);
    void addBytes(std::int64_t bytes) { m_bytes += bytes; }
    // Takes the progress line away before other text is written.
    void clear();

    // Makes the next turn stop the run, as Ctrl+C does.
    void stop() { m_stopAsked = true; }

    void tick() override;

  private:
    void draw();

    std::FILE* m_err;
    bool m_shown;
    const std::atomic<bool>* m_interrupted;
    bool m_stopAsked = false;
    bool m_stopped = false;
    bool m_drawn = false;
    const std::size_t* m_listed = nullptr;
    std::size_t m_row = 0;
    std::size_t m_rows = 0;
    std::int64_t m_bytes = 0;
    std::chrono::steady_clock::time_point m_lastDrawn{};
};

} // namespace quellomir
