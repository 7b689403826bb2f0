#pragma once

#include <string>

namespace quellomir::bench {

// The state a drive is put in before each timed command of a benchmark: with its page
// cache dropped (a cold disk), and/or behind the latency drive (a network share), mounted
// afresh so that nothing of an earlier command is cached there.
class DriveConditions {
  public:
    // `latencyMicroseconds` 0: the folders as they are. Otherwise DIR1 and DIR2 are reached
    // through quellomir-latency-drive, beside this program, mounted over their common parent.
    DriveConditions(bool cold, long latencyMicroseconds, double attributeSeconds, const std::string& one,
                    const std::string& two);
    ~DriveConditions();
    DriveConditions(const DriveConditions&) = delete;
    DriveConditions& operator=(const DriveConditions&) = delete;

    // Puts the drive in its state; then `path` (DIR1, DIR2 or below) is where to reach it.
    void prepare();
    std::string path(const std::string& original) const;
    // A line saying what the timed runs went through.
    std::string description() const;

  private:
    void unmount();

    bool m_cold;
    bool m_canDrop = true;
    long m_latency;
    double m_attributeSeconds;
    std::string m_parent; // the common parent of DIR1 and DIR2, ending with '/'
    std::string m_mountPoint;
    bool m_mounted = false;
};

} // namespace quellomir::bench
