#pragma once

#include "handler/error_report.h"

#include <exception>
#include <string>
#include <utility>

namespace quellomir {

// A handler whose statements carry numbers (100, 102, ...). A statement that throws is
// reported with the handler's location literal and its number, and the handler goes on
// with its next statement: nothing is abandoned, nothing retried.
//
//   NumberedHandler h(report, "in Quellomir2021/08/31.Form1.PushButton2_Click ");
//   h.run(100, [&] { slot1.clear(); });
//   if (h.test(102, [&] { return !text.isEmpty(); })) { ... }   // a failing test runs its guarded part
//   if (h.testLeave(104, [&] { return text.isEmpty(); })) return; // a failing test does not leave
class NumberedHandler {
  public:
    NumberedHandler(ErrorReport& report, std::string location)
        : m_report(report), m_location(std::move(location)) {}

    template <class Statement> void run(int line, Statement&& statement) {
        m_line = line;
        try {
            std::forward<Statement>(statement)();
        } catch (const std::exception& failure) {
            fail(failure);
        }
    }

    // The test of a conditional that guards ordinary statements: when the test itself
    // fails, the guarded statements run as if it had passed.
    template <class Predicate> bool test(int line, Predicate&& predicate) {
        m_line = line;
        try {
            return std::forward<Predicate>(predicate)();
        } catch (const std::exception& failure) {
            fail(failure);
            return true;
        }
    }

    // The test of a conditional whose only effect is to leave the handler: when the
    // test fails, the handler does not leave.
    template <class Predicate> bool testLeave(int line, Predicate&& predicate) {
        m_line = line;
        try {
            return std::forward<Predicate>(predicate)();
        } catch (const std::exception& failure) {
            fail(failure);
            return false;
        }
    }

    int line() const { return m_line; }
    const std::string& location() const { return m_location; }

    // Reports a failure that was caught elsewhere under the current statement number.
    void fail(const std::exception& failure) { m_report.report(failure.what(), m_location, m_line); }

  private:
    ErrorReport& m_report;
    std::string m_location;
    int m_line = 0;
};

} // namespace quellomir
