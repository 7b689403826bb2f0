#include "compare/compare_run.h"

#include "compare/build_plan.h"
#include "compare/noted_times.h"
#include "files/folder_listing.h"
#include "files/write_folder.h"
#include "fs/drive_kinds.h"
#include "fs/fat_times.h"
#include "scan/folder_list.h"
#include "scan/folder_scan.h"
#include "scan/listing_memo.h"
#include "scan/listing_prefetch.h"

#include <optional>
#include <string_view>
#include <unordered_set>

namespace quellomir {
namespace {

unsigned threadsOf(const CompareContext& context) {
    return context.ioThreads == CompareContext::DefaultThreads ? ListingPrefetch::Threads
                                                               : static_cast<unsigned>(context.ioThreads);
}

// Entries the second side's listings may hold before its scan takes them: about 40 MB.
constexpr std::size_t MostEntriesListedAhead = 500'000;

// Drops from the scanned `folders` of the chosen folder `top` those the exclusions leave out,
// with everything below them; how many were left out themselves.
std::size_t leaveOutFolders(FolderList& folders, const std::string& top, const Exclusions& exclusions) {
    std::unordered_set<std::string_view> leftOut; // paths below `top`, ending with '/'
    std::size_t count = 0;
    std::vector<bool> drop(folders.size(), false);
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string& path = folders[i];
        if (path.size() <= top.size() || !path.starts_with(top)) continue;
        const std::string_view below = std::string_view(path).substr(top.size());
        const std::size_t slash = below.rfind('/', below.size() - 2);
        const std::string_view parent =
            slash == std::string_view::npos ? std::string_view() : below.substr(0, slash + 1);
        const std::string_view name = below.substr(parent.size(), below.size() - parent.size() - 1);
        if (leftOut.contains(parent)) {
            drop[i] = true;
        } else if (exclusions.leavesOutFolder(parent, name)) {
            drop[i] = true;
            ++count;
        }
        if (drop[i]) leftOut.insert(below);
    }
    // Breadth first, a folder comes after its parent: the parent's word was in by then.
    FolderList kept;
    kept.reserve(folders.size());
    for (std::size_t i = 0; i < folders.size(); ++i)
        if (!drop[i]) kept.push_back(std::move(folders[i]));
    folders = std::move(kept);
    return count;
}

// One side: seed a folder list with the folder, scan it, list every folder's files.
// Side 1 numbers its statements from 110, side 2 from 134.
FileList listSide(NumberedHandler& h, int firstLine, const std::string& folder, CompareContext& context,
                  ListingPrefetch* listedAhead = nullptr, const std::string& leftOut = {}) {
    FileList files;
    FolderList folders;
    // The scan already read every folder; the listing takes the names from it instead
    // of reading each folder a second time.
    ListingMemo memo;
    h.run(firstLine, [&] { folders.push_back(folder); });
    h.run(firstLine + 2, [&] {
        GetSubDirectories2016(folders, true, context.fs, context.codePage, context.scanReport,
                              context.yielder, &memo, threadsOf(context), context.unread, listedAhead);
    });
    if (!leftOut.empty())
        std::erase_if(folders, [&](const std::string& listed) { return listed.starts_with(leftOut); });
    if (!context.exclusions.empty())
        files.leftOutFolders = leaveOutFolders(folders, folder, context.exclusions);
    files.folders = std::move(folders);
    files.reserve(memo.entries(), memo.nameBytes());
    for (std::size_t i = 0; i < files.folders.size(); ++i) {
        // A folder whose files cannot be listed contributes none; the run goes on.
        const std::size_t before = files.size();
        h.run(firstLine + 8, [&] {
            const std::string& path = files.folders[i];
            const std::string_view below = path.size() > folder.size()
                                               ? std::string_view(path).substr(folder.size())
                                               : std::string_view();
            appendFolderFiles(context.fs, context.codePage, files, std::uint32_t(i), NameFilter::NoTilde,
                              &memo, context.unread,
                              context.exclusions.empty() ? nullptr : &context.exclusions, below);
        });
        context.filesListed += files.size() - before;
        context.yielder.tick();
    }
    takeNotedTimes(context.fs, files);
    return files;
}

// The chosen folder itself, links followed, as the scan is about to read it. On a drive
// whose inode numbers may change before the sync, none: the sync then takes the folder's
// identity when it starts, and holds the folder open so that it keeps it.
FolderIdentity identityOf(FileSystem& fs, const std::string& folder) {
    if (inodeNumbersMayChange(fs, folder)) return {};
    FileFacts facts;
    if (fs.stat(folder, Follow::Yes, facts) != 0 || facts.kind != EntryKind::Folder) return {};
    return {facts.device, facts.inode, true};
}

// "12 files and 1 folder left out", or empty.
std::string leftOutText(std::size_t files, std::size_t folders) {
    if (files == 0 && folders == 0) return {};
    const auto counted = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::string text = files > 0 ? counted(files, "file", "files") : std::string();
    if (folders > 0) text += (text.empty() ? "" : " and ") + counted(folders, "folder", "folders");
    return text + " left out";
}

std::string withSeparator(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// Where the chosen folder `inner` lies inside the chosen folder `outer` (links followed): its
// path as the scan of `outer` reaches it; else empty.
std::string nestedFolder(FileSystem& fs, const std::string& outer, const std::string& inner) {
    if (outer.empty() || inner.empty()) return {};
    WriteFolder outerFolder, innerFolder;
    if (openWriteFolder(fs, outer, outerFolder) != 0 || openWriteFolder(fs, inner, innerFolder) != 0)
        return {};
    if (outerFolder.device == innerFolder.device && outerFolder.inode == innerFolder.inode) return {};
    bool within = false;
    if (liesWithin(fs, innerFolder, outerFolder.device, outerFolder.inode, within) != 0 || !within) return {};
    std::string outerReal, innerReal;
    if (fs.realPath(outerFolder.handle, outerReal) != 0 || fs.realPath(innerFolder.handle, innerReal) != 0)
        return {};
    outerReal = withSeparator(outerReal);
    innerReal = withSeparator(innerReal);
    if (!innerReal.starts_with(outerReal)) return {};
    return withSeparator(outer) + innerReal.substr(outerReal.size());
}

// One chosen folder inside the other: paired by place, every run would copy the outer one into
// the inner one a level deeper, without end, so the inner one is left out of the outer one's
// scan; paired by name, the inner files pair with themselves, which the user should know.
struct Nesting {
    std::string leftOutOf1; // the inner folder's path in Folder 1's scan, to leave out
    std::string leftOutOf2;
    std::string note;
};

Nesting nestingOf(FileSystem& fs, const std::string& folder1, const std::string& folder2, Pairing pairing) {
    Nesting nesting;
    const std::string in1 = nestedFolder(fs, folder1, folder2);
    const std::string in2 = in1.empty() ? nestedFolder(fs, folder2, folder1) : std::string();
    if (in1.empty() && in2.empty()) return nesting;
    const std::string which = in1.empty() ? "Folder 1 lies inside Folder 2" : "Folder 2 lies inside Folder 1";
    if (pairing == Pairing::ByPlace) {
        (in1.empty() ? nesting.leftOutOf2 : nesting.leftOutOf1) = in1.empty() ? in2 : in1;
        nesting.note = which + ", and is left out of its scan";
    } else {
        nesting.note = which + ": its files are in the plan on both sides";
    }
    return nesting;
}

} // namespace

Plan compareFolders(NumberedHandler& h, const std::function<std::string()>& folder1,
                    const std::function<std::string()>& folder2, CompareContext& context) {
    std::string folder1Text;
    h.run(108, [&] { folder1Text = folder1(); });
    // Folder 2's drive lists its folders while Folder 1 is scanned, so that on a cold disk or a
    // network both drives work at once. Its text is asked for again in its turn, which reports
    // what goes wrong; a text that changed meanwhile is scanned as its turn finds it.
    std::string folder2Ahead;
    try {
        folder2Ahead = folder2();
    } catch (...) {
        folder2Ahead.clear();
    }
    std::optional<ListingPrefetch> side2Ahead;
    if (!folder2Ahead.empty() && threadsOf(context) > 0) {
        side2Ahead.emplace(context.fs, statKindsOfScan(true), threadsOf(context));
        side2Ahead->walkAhead(folder2Ahead, MostEntriesListedAhead);
    }
    const FolderIdentity top1 = identityOf(context.fs, folder1Text);
    const Nesting nesting = nestingOf(context.fs, folder1Text, folder2Ahead, context.pairing);
    FileList files1 = listSide(h, 110, folder1Text, context, nullptr, nesting.leftOutOf1);

    std::string folder2Text;
    h.run(132, [&] { folder2Text = folder2(); });
    const FolderIdentity top2 = identityOf(context.fs, folder2Text);
    FileList files2 = listSide(h, 134, folder2Text, context,
                               side2Ahead && folder2Text == folder2Ahead ? &*side2Ahead : nullptr,
                               folder2Text == folder2Ahead ? nesting.leftOutOf2 : std::string());
    side2Ahead.reset();

    const std::string leftOutNote =
        leftOutText(files1.leftOutFiles + files2.leftOutFiles, files1.leftOutFolders + files2.leftOutFolders);
    // Each side's file system is asked once per comparison: a stick may be another one now.
    const FatTimes fat{onFatFileSystem(context.fs, folder1Text), onFatFileSystem(context.fs, folder2Text)};
    Plan plan =
        buildPlan(std::move(files1), std::move(files2), folder1Text, folder2Text, context.yielder, fat,
                  context.pairing, [&](int line, const std::function<void()>& step) { h.run(line, step); });
    h.run(182, [&] {
        plan.setTopFolder(Side::Folder1, top1);
        plan.setTopFolder(Side::Folder2, top2);
        if (!nesting.note.empty() && folder2Text == folder2Ahead) plan.addNote(nesting.note);
        if (!leftOutNote.empty()) plan.addNote(leftOutNote);
    });
    return plan;
}

} // namespace quellomir
