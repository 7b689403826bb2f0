#include "compare/compare_run.h"

#include "compare/build_plan.h"
#include "compare/noted_times.h"
#include "files/folder_listing.h"
#include "fs/drive_kinds.h"
#include "fs/fat_times.h"
#include "scan/folder_list.h"
#include "scan/folder_scan.h"
#include "scan/listing_memo.h"
#include "scan/listing_prefetch.h"

#include <optional>

namespace quellomir {
namespace {

unsigned threadsOf(const CompareContext& context) {
    return context.ioThreads == CompareContext::DefaultThreads ? ListingPrefetch::Threads
                                                               : static_cast<unsigned>(context.ioThreads);
}

// Entries the second side's listings may hold before its scan takes them: about 40 MB.
constexpr std::size_t MostEntriesListedAhead = 500'000;

// One side: seed a folder list with the folder, scan it, list every folder's files.
// Side 1 numbers its statements from 110, side 2 from 134.
FileList listSide(NumberedHandler& h, int firstLine, const std::string& folder, CompareContext& context,
                  ListingPrefetch* listedAhead = nullptr) {
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
    files.folders = std::move(folders);
    files.reserve(memo.entries(), memo.nameBytes());
    for (std::size_t i = 0; i < files.folders.size(); ++i) {
        // A folder whose files cannot be listed contributes none; the run goes on.
        const std::size_t before = files.size();
        h.run(firstLine + 8, [&] {
            appendFolderFiles(context.fs, context.codePage, files, std::uint32_t(i), NameFilter::NoTilde,
                              &memo, context.unread);
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
    FileList files1 = listSide(h, 110, folder1Text, context);

    std::string folder2Text;
    h.run(132, [&] { folder2Text = folder2(); });
    const FolderIdentity top2 = identityOf(context.fs, folder2Text);
    FileList files2 = listSide(h, 134, folder2Text, context,
                               side2Ahead && folder2Text == folder2Ahead ? &*side2Ahead : nullptr);
    side2Ahead.reset();

    // Each side's file system is asked once per comparison: a stick may be another one now.
    const FatTimes fat{onFatFileSystem(context.fs, folder1Text), onFatFileSystem(context.fs, folder2Text)};
    Plan plan;
    h.run(156, [&] {
        plan = buildPlan(std::move(files1), std::move(files2), folder1Text, folder2Text, context.yielder, fat,
                         context.pairing);
        plan.setTopFolder(Side::Folder1, top1);
        plan.setTopFolder(Side::Folder2, top2);
    });
    return plan;
}

} // namespace quellomir
