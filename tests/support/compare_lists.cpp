#include "support/compare_lists.h"

#include <algorithm>

namespace quellomir::testing {

FileList fileList(std::initializer_list<PathAndTime> files) {
    FileList list;
    for (const PathAndTime& file : files) {
        const std::size_t cut = file.path.rfind('/') + 1;
        const std::string folder = file.path.substr(0, cut);
        auto found = std::find(list.folders.begin(), list.folders.end(), folder);
        if (found == list.folders.end()) found = list.folders.insert(list.folders.end(), folder);
        list.add(std::string_view(file.path).substr(cut),
                 static_cast<std::uint32_t>(found - list.folders.begin()), file.modified, false, file.size);
    }
    return list;
}

FileTime timeOfDay(int hours, int minutes, int seconds, std::int32_t nanoseconds) {
    constexpr std::int64_t Day = 1'630'368'000; // 2021-08-31 00:00 UTC
    return {Day + hours * 3600 + minutes * 60 + seconds, nanoseconds};
}

} // namespace quellomir::testing
