#pragma once

#include <string>

namespace quellomir::testing {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when the
// test ends. Helpers create files, folders, links and FIFOs in it by relative path.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path with a trailing '/'.
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return m_path + relative; }

    // Each creates what it names (parents included) and returns its full path.
    std::string folder(const std::string& relative) const;
    std::string file(const std::string& relative, const std::string& contents = {}) const;
    std::string link(const std::string& relative, const std::string& target) const;
    std::string fifo(const std::string& relative) const;
    // A chain of folders under `relative`, then `count` folders side by side in its last one
    // whose paths (with their trailing '/') are longer than PATH_MAX allows; returns the
    // path of the last folder of the chain, which is within it.
    std::string beyondPathMax(const std::string& relative, int count) const;

  private:
    std::string m_path;
};

} // namespace quellomir::testing
