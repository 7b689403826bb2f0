#pragma once

#include "fs/file_system.h"
#include "handler/yielder.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quellomir {

// Lists folders ahead of the scan on a few threads of its own, so that a drive that makes
// each request wait (a network share, a FUSE drive, a cold disk) has several in flight at
// once. The scan still takes each folder's listing where it would have listed the folder
// itself, entries in the order the file system gave them, so its result is the same; a
// folder nobody listed ahead in time is listed on the spot. The threads only wait on the
// drive: the two cores stay the scan's.
//
// Going out of scope (a run ended, or the window closed during one) drops what is queued
// and waits only for the listings under way; no thread outlives it.
class ListingPrefetch {
  public:
    // With no threads, every folder is listed on the spot.
    ListingPrefetch(FileSystem& fs, unsigned statKinds, unsigned threads);
    ~ListingPrefetch();
    ListingPrefetch(const ListingPrefetch&) = delete;
    ListingPrefetch& operator=(const ListingPrefetch&) = delete;

    // Queues `folder` to be listed, in the order the scan is to ask for it.
    void ahead(const std::string& folder);
    // Lists `root`, and breadth first as the scan goes every folder below it, before any scan
    // asks: for the side compared second, whose drive then works while the first side is
    // scanned. It goes no deeper once `entries` entries are held; the scan lists the rest.
    void walkAhead(const std::string& root, std::size_t entries);
    // Drops `folder`'s listing: the scan will not ask for it.
    void forget(const std::string& folder);
    // listFolder as the file system would answer it, the window getting its turn while the
    // listing is under way on another thread.
    int list(const std::string& folder, const FileSystem::EntryVisitor& visit, Yielder& yielder);

    // How many threads list ahead, on any drive: a network or FUSE drive makes each request
    // wait, and a local disk whose caches are cold reads its inode tables faster with many
    // requests in flight too. On a warm one the threads cost next to nothing.
    static constexpr unsigned Threads = 16;

  private:
    struct Listing;

    void work();
    void walkInto(const Listing& listing);
    // Queues `folder`'s listing unless it is queued or listed already; with the lock held.
    bool queue(const std::string& folder, bool walked);
    static void fill(FileSystem& fs, unsigned statKinds, Listing& listing);

    FileSystem& m_fs;
    const unsigned m_statKinds;
    const std::size_t m_maxAhead; // listings done and not taken yet, at the most
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Listing*> m_queue;
    std::unordered_map<std::string, std::unique_ptr<Listing>> m_listings;
    std::size_t m_done = 0;       // listed, not taken yet
    std::size_t m_walkBudget = 0; // entries the walk ahead may hold
    std::size_t m_walkedHeld = 0; // entries of walked listings done and not taken yet
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace quellomir
