#pragma once

#include <ctime>
#include <string>

namespace quellomir {

// Writes date values (days since 30 December 1899) in the user's general date format:
// short date, a blank, long time, to the nearest second. Midnight gives the date
// alone and the value 0 the time alone. The locale is read once, when the object is
// made, so one run writes one time the same way throughout.
class DateTextFormat {
  public:
    DateTextFormat();
    ~DateTextFormat();
    DateTextFormat(const DateTextFormat&) = delete;
    DateTextFormat& operator=(const DateTextFormat&) = delete;

    std::string text(double dateValue) const;

  private:
    // `time` in the locale's short date, its long time, or the two with a blank between.
    std::string written(const std::tm& time, bool date, bool timeOfDay) const;

    void* m_locale; // LC_TIME's locale_t; on Windows the user's locale name
};

} // namespace quellomir
