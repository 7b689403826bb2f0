#include "drive_conditions.h"

#include "measure.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quellomir::bench {
namespace {

std::string commonParent(const std::string& one, const std::string& two) {
    std::size_t same = 0;
    while (same < one.size() && same < two.size() && one[same] == two[same])
        ++same;
    return one.substr(0, one.rfind('/', same == one.size() ? same - 1 : same) + 1);
}

} // namespace

DriveConditions::DriveConditions(bool cold, long latencyMicroseconds, double attributeSeconds,
                                 const std::string& one, const std::string& two)
    : m_cold(cold), m_latency(latencyMicroseconds), m_attributeSeconds(attributeSeconds),
      m_parent(commonParent(one, two)) {
    if (m_latency > 0) m_mountPoint = makeEmptyFolder();
}

DriveConditions::~DriveConditions() {
    unmount();
    if (!m_mountPoint.empty()) ::rmdir(m_mountPoint.c_str());
}

void DriveConditions::unmount() {
    if (!m_mounted) return;
    commandSeconds({"fusermount3", "-u", m_mountPoint});
    m_mounted = false;
}

void DriveConditions::prepare() {
    if (m_latency > 0) {
        unmount();
        commandSeconds({besideThisProgram("quellomir-latency-drive"), m_parent, m_mountPoint, "--delay-us",
                        std::to_string(m_latency), "--attr-timeout", std::to_string(m_attributeSeconds)});
        m_mounted = true;
    }
    if (m_cold && m_canDrop) {
        ::sync();
        std::ofstream drop("/proc/sys/vm/drop_caches");
        m_canDrop = static_cast<bool>(drop << "3\n" << std::flush);
    }
}

std::string DriveConditions::path(const std::string& original) const {
    if (m_latency <= 0) return original;
    return withSlash(m_mountPoint) + original.substr(m_parent.size());
}

std::string DriveConditions::description() const {
    std::string text = m_cold ? (m_canDrop ? "page cache dropped before each run"
                                           : "warm: the page cache cannot be dropped (not root)")
                              : "warm page cache";
    if (m_latency > 0)
        text += "; through the latency drive, " + std::to_string(m_latency) +
                " us a request, attributes kept " + std::to_string(m_attributeSeconds) + " s";
    return text;
}

} // namespace quellomir::bench
