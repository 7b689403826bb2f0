#include "scan/listing_prefetch.h"

#include "files/path_text.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>

namespace quellomir {
namespace {

// Listings done ahead and not taken yet, at the most, per thread: enough to keep every
// thread busy however the folders' sizes vary, without holding a whole tree's entries twice.
constexpr std::size_t AheadPerThread = 8;
// And in all: the threads only wait on the drive, and need no more than that.
constexpr std::size_t MostAhead = 64;

// How often the window gets its turn while the scan waits for a listing.
constexpr std::chrono::milliseconds TurnInterval{20};

// The threads allocate each listing and the scan frees it. glibc gives every thread an
// arena of its own, which keeps the most it ever held: with 16 threads a fifth more
// memory for the same tree. The threads wait on the drive, not on each other, so they
// can share one arena beside the main one.
void shareOneArenaAmongThreads() {
#if defined(__GLIBC__)
    static const bool limited = mallopt(M_ARENA_MAX, 2) == 1;
    (void)limited;
#endif
}

} // namespace

// One folder's listing: its entries with the names in one buffer, and the listing's errno.
struct ListingPrefetch::Listing {
    enum class State { Queued, Running, Done, Dropped };
    // An entry as the listing gave it, without the facts nobody asks for once it is
    // listed: half the size of a FolderEntry.
    struct Entry {
        std::uint32_t nameAt = 0;
        std::uint32_t nameLength = 0;
        EntryKind kind = EntryKind::Other;
        EntryKind followedKind = EntryKind::Other;
        bool statted = false;
        bool mountRoot = false;
        std::int32_t statError = 0;
        FileTime modified;
        std::int64_t size = 0; // the FAT hour rule and the plan's byte counts need it
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
    };
    std::string folder;
    State state = State::Queued;
    bool walked = false; // queued by the walk ahead, which counts its entries apart
    int error = 0;
    std::vector<Entry> entries;
    std::string names;
};

ListingPrefetch::ListingPrefetch(FileSystem& fs, unsigned statKinds, unsigned threads)
    : m_fs(fs), m_statKinds(statKinds),
      m_maxAhead(std::min<std::size_t>(MostAhead, AheadPerThread * threads)) {
    if (threads > 0) shareOneArenaAmongThreads();
    for (unsigned i = 0; i < threads; ++i) {
        try {
            m_threads.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break; // fewer threads, or none: the scan lists on the spot
        }
    }
}

ListingPrefetch::~ListingPrefetch() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void ListingPrefetch::ahead(const std::string& folder) {
    if (m_threads.empty()) return;
    {
        std::lock_guard lock(m_mutex);
        // Asked for twice: the second time lists on the spot.
        if (!queue(folder, false)) return;
    }
    m_changed.notify_one();
}

bool ListingPrefetch::queue(const std::string& folder, bool walked) {
    auto [place, added] = m_listings.try_emplace(folder);
    if (!added) return false;
    place->second = std::make_unique<Listing>();
    place->second->folder = folder;
    place->second->walked = walked;
    m_queue.push_back(place->second.get());
    return true;
}

void ListingPrefetch::walkAhead(const std::string& root, std::size_t entries) {
    if (m_threads.empty()) return;
    {
        std::lock_guard lock(m_mutex);
        m_walkBudget = entries;
        if (!queue(root, true)) return;
    }
    m_changed.notify_one();
}

void ListingPrefetch::forget(const std::string& folder) {
    if (m_threads.empty()) return;
    std::lock_guard lock(m_mutex);
    auto found = m_listings.find(folder);
    if (found == m_listings.end()) return;
    Listing& listing = *found->second;
    if (listing.state == Listing::State::Running) {
        listing.state = Listing::State::Dropped; // its thread throws it away when done
        found->second.release();
        m_listings.erase(found);
        return;
    }
    if (listing.state == Listing::State::Queued) std::erase(m_queue, &listing);
    if (listing.state == Listing::State::Done) {
        if (listing.walked)
            m_walkedHeld -= listing.entries.size();
        else
            --m_done;
    }
    m_listings.erase(found);
    m_changed.notify_all();
}

void ListingPrefetch::fill(FileSystem& fs, unsigned statKinds, Listing& listing) {
    listing.error = fs.listFolder(listing.folder, statKinds, [&](const FolderEntry& entry) {
        Listing::Entry kept;
        kept.nameAt = static_cast<std::uint32_t>(listing.names.size());
        kept.nameLength = static_cast<std::uint32_t>(entry.name.size());
        kept.kind = entry.kind;
        kept.statted = entry.statted;
        kept.statError = entry.statError;
        kept.followedKind = entry.facts.kind;
        kept.mountRoot = entry.facts.mountRoot;
        kept.modified = entry.facts.modified;
        kept.size = entry.facts.size;
        kept.device = entry.facts.device;
        kept.inode = entry.facts.inode;
        listing.names.append(entry.name);
        listing.names.push_back('\0');
        listing.entries.push_back(kept);
    });
}

// Queues the folders of a walked listing, named as the scan names them. Called with the lock held.
void ListingPrefetch::walkInto(const Listing& listing) {
    for (const Listing::Entry& entry : listing.entries) {
        const bool folder =
            entry.kind == EntryKind::Folder || (entry.kind == EntryKind::Link && entry.statError == 0 &&
                                                entry.followedKind == EntryKind::Folder);
        if (!folder) continue;
        std::string child =
            joinPath(listing.folder, std::string_view(listing.names.data() + entry.nameAt, entry.nameLength));
        child.push_back('/');
        queue(child, true);
    }
}

void ListingPrefetch::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] {
            return m_stopping || (!m_queue.empty() && (m_queue.front()->walked || m_done < m_maxAhead));
        });
        if (m_stopping) return;
        Listing* listing = m_queue.front();
        m_queue.pop_front();
        listing->state = Listing::State::Running;
        lock.unlock();
        fill(m_fs, m_statKinds, *listing);
        lock.lock();
        if (listing->state == Listing::State::Dropped) {
            delete listing;
            continue;
        }
        listing->state = Listing::State::Done;
        if (listing->walked) {
            m_walkedHeld += listing->entries.size();
            if (m_walkedHeld < m_walkBudget) walkInto(*listing);
        } else {
            ++m_done;
        }
        m_changed.notify_all();
    }
}

int ListingPrefetch::list(const std::string& folder, const FileSystem::EntryVisitor& visit,
                          Yielder& yielder) {
    std::unique_ptr<Listing> taken;
    if (!m_threads.empty()) {
        std::unique_lock lock(m_mutex);
        auto found = m_listings.find(folder);
        if (found != m_listings.end()) {
            Listing& listing = *found->second;
            if (listing.state == Listing::State::Queued) {
                // Its turn has come before any thread's: listed here, as without threads.
                std::erase(m_queue, &listing);
                m_listings.erase(found);
            } else {
                while (listing.state == Listing::State::Running) {
                    lock.unlock();
                    yielder.tick(); // may end the run; the listing is then dropped with the rest
                    lock.lock();
                    m_changed.wait_for(lock, TurnInterval,
                                       [&] { return listing.state != Listing::State::Running; });
                }
                taken = std::move(found->second);
                m_listings.erase(found);
                if (taken->walked)
                    m_walkedHeld -= taken->entries.size();
                else
                    --m_done;
                m_changed.notify_all();
            }
        }
    }
    if (!taken) return m_fs.listFolder(folder, m_statKinds, visit);
    FolderEntry entry;
    for (const Listing::Entry& kept : taken->entries) {
        entry.name = std::string_view(taken->names.data() + kept.nameAt, kept.nameLength);
        entry.kind = kept.kind;
        entry.statted = kept.statted;
        entry.statError = kept.statError;
        entry.facts = {};
        entry.facts.kind = kept.followedKind;
        entry.facts.mountRoot = kept.mountRoot;
        entry.facts.modified = kept.modified;
        entry.facts.size = kept.size;
        entry.facts.device = kept.device;
        entry.facts.inode = kept.inode;
        visit(entry);
    }
    return taken->error;
}

} // namespace quellomir
