#include "files/contents.h"
#include "files/new_file.h"
#include "files/write_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#ifndef ESTALE
// Windows' C library has no number for a file that changed under its reader: one of its own,
// past the numbers the library has.
#define ESTALE 150
#endif

namespace quellomir {
namespace {

constexpr std::size_t PieceSize = 256 * 1024;

using ReadPiece = std::function<int(std::int64_t offset, char* buffer, std::size_t size, std::size_t& got)>;

int hashOf(const ReadPiece& read, std::uint64_t& hash) {
    auto buffer = std::make_unique<char[]>(PieceSize);
    ContentsHash sum;
    for (std::int64_t at = 0;;) {
        std::size_t got = 0;
        if (int error = read(at, buffer.get(), PieceSize, got)) return error;
        if (got == 0) break;
        sum.add(buffer.get(), got);
        at += static_cast<std::int64_t>(got);
    }
    hash = sum.value();
    return 0;
}

// Fills `buffer` as far as the file goes; short only at its end.
int readFully(const ReadPiece& read, std::int64_t at, char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    while (got < size) {
        std::size_t piece = 0;
        if (int error = read(at + static_cast<std::int64_t>(got), buffer + got, size - got, piece))
            return error;
        if (piece == 0) break;
        got += piece;
    }
    return 0;
}

// Whether the first `size` bytes of the two are the same; a file that ends before is not.
// Whether either holds more is for the caller to see in its facts after the reading: a small
// file then costs one read each.
int sameBytes(const ReadPiece& readOne, const ReadPiece& readOther, std::int64_t size, bool& same) {
    same = false;
    const auto total = static_cast<std::size_t>(std::max<std::int64_t>(size, 0));
    const std::size_t piece = std::max<std::size_t>(1, std::min(PieceSize, total));
    auto one = std::make_unique<char[]>(piece);
    auto other = std::make_unique<char[]>(piece);
    for (std::size_t at = 0; at < total;) {
        const std::size_t wanted = std::min(piece, total - at);
        std::size_t gotOne = 0, gotOther = 0;
        if (int error = readFully(readOne, std::int64_t(at), one.get(), wanted, gotOne)) return error;
        if (int error = readFully(readOther, std::int64_t(at), other.get(), wanted, gotOther)) return error;
        if (gotOne != wanted || gotOther != wanted || std::memcmp(one.get(), other.get(), wanted) != 0)
            return 0;
        at += wanted;
    }
    same = true;
    return 0;
}

ReadPiece readerOf(FileSystem& fs, Handle& file) {
    return [&fs, &file](std::int64_t at, char* buffer, std::size_t size, std::size_t& got) {
        return fs.readAt(file, at, buffer, size, got);
    };
}

// Whether the first `size` bytes of two files opened to read (`oneOpened`, `otherOpened` as
// they were opened) are the same, neither written to during the reading: what was read of a
// file written to meanwhile proves nothing.
int sameFirstBytes(FileSystem& fs, Handle& one, const FileFacts& oneOpened, Handle& other,
                   const FileFacts& otherOpened, std::int64_t size, bool& same) {
    same = false;
    bool read = false;
    if (int error = sameBytes(readerOf(fs, one), readerOf(fs, other), size, read)) return error;
    if (!read) return 0;
    FileFacts oneAfter, otherAfter;
    if (int error = fs.statAt(one, "", Follow::No, oneAfter)) return error;
    if (int error = fs.statAt(other, "", Follow::No, otherAfter)) return error;
    same = oneAfter.sameState(oneOpened) && otherAfter.sameState(otherOpened);
    return 0;
}

} // namespace

int readSmallFile(FileSystem& fs, Handle& folder, const std::string& name, std::size_t most,
                  std::string& contents, FileFacts& facts) {
    Handle file;
    if (int error = fs.openToRead(&folder, name, Follow::No, file, facts)) return error;
    contents.assign(most, '\0');
    std::size_t got = 0;
    const int error = readFully([&](std::int64_t at, char* buffer, std::size_t size,
                                    std::size_t& piece) { return fs.readAt(file, at, buffer, size, piece); },
                                0, contents.data(), most, got);
    contents.resize(got);
    return error;
}

void ContentsHash::mix(std::uint64_t word) {
    m_state = (m_state ^ word) * 0x9E3779B97F4A7C15ull;
    m_state ^= m_state >> 29;
}

void ContentsHash::add(const char* bytes, std::size_t size) {
    m_length += size;
    while (size > 0 && m_tailSize > 0 && m_tailSize < 8) {
        m_tail[m_tailSize++] = static_cast<unsigned char>(*bytes++);
        --size;
        if (m_tailSize == 8) {
            std::uint64_t word;
            std::memcpy(&word, m_tail, 8);
            mix(word);
            m_tailSize = 0;
        }
    }
    for (; size >= 8; bytes += 8, size -= 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        mix(word);
    }
    std::memcpy(m_tail, bytes, size);
    m_tailSize = size;
}

std::uint64_t ContentsHash::value() const {
    std::uint64_t word = 0;
    std::memcpy(&word, m_tail, m_tailSize);
    std::uint64_t state = (m_state ^ word ^ (m_length << 3)) * 0xBF58476D1CE4E5B9ull;
    state ^= state >> 31;
    return state * 0x94D049BB133111EBull ^ (state >> 29);
}

int hashOfFile(FileSystem& fs, Handle& file, const FileFacts& opened, std::uint64_t& hash) {
    if (int error = hashOf([&](std::int64_t at, char* buffer, std::size_t size,
                               std::size_t& got) { return fs.readAt(file, at, buffer, size, got); },
                           hash))
        return error;
    FileFacts after;
    if (int error = fs.statAt(file, "", Follow::No, after)) return error;
    return after.sameState(opened) ? 0 : ESTALE;
}

int hashOfSource(FileSystem& fs, NewFile& file, std::uint64_t& hash) {
    return hashOf([&](std::int64_t at, char* buffer, std::size_t size,
                      std::size_t& got) { return readSourceAt(fs, file, at, buffer, size, got); },
                  hash);
}

int sameContents(FileSystem& fs, NewFile& file, WriteFolder& folder, const std::string& name,
                 const FileFacts& there, bool& same) {
    same = false;
    if (there.kind != EntryKind::Regular || there.size != file.source.size) return 0;
    Handle other;
    FileFacts opened;
    if (int error = fs.openToRead(&folder.handle, name, Follow::No, other, opened)) return error;
    if (!opened.sameState(there)) return 0;
    const ReadPiece readSource = [&](std::int64_t at, char* buffer, std::size_t size, std::size_t& got) {
        return readSourceAt(fs, file, at, buffer, size, got);
    };
    bool read = false;
    if (int error = sameBytes(readSource, readerOf(fs, other), there.size, read)) return error;
    if (!read) return 0;
    // Written to while it was read: what was read proves nothing.
    FileFacts after;
    if (int error = fs.statAt(other, "", Follow::No, after)) return error;
    same = after.sameState(there);
    return 0;
}

int holdsBytesOf(FileSystem& fs, Handle& sourceFolder, const std::string& sourceName, FileTime sourceTime,
                 WriteFolder& folder, const std::string& name, const FileFacts& there, bool& same) {
    same = false;
    if (there.kind != EntryKind::Regular) return 0;
    Handle one, other;
    FileFacts oneOpened, otherOpened;
    if (int error = fs.openToRead(&sourceFolder, sourceName, Follow::No, one, oneOpened)) return error;
    if (oneOpened.size != there.size || oneOpened.modified != sourceTime) return 0;
    if (int error = fs.openToRead(&folder.handle, name, Follow::No, other, otherOpened)) return error;
    if (!otherOpened.sameState(there)) return 0;
    return sameFirstBytes(fs, one, oneOpened, other, otherOpened, there.size, same);
}

int isStartOf(FileSystem& fs, Handle& folder, const std::string& name, const std::string& whole,
              bool& start) {
    start = false;
    Handle part, all;
    FileFacts partOpened, allOpened;
    if (int error = fs.openToRead(&folder, name, Follow::No, part, partOpened)) return error;
    if (int error = fs.openToRead(&folder, whole, Follow::No, all, allOpened)) return error;
    const std::uint32_t user = fs.runningUser();
    if (partOpened.owner != user || allOpened.owner != user || partOpened.links != 1 ||
        allOpened.links != 1 || partOpened.size > allOpened.size)
        return 0;
    return sameFirstBytes(fs, part, partOpened, all, allOpened, partOpened.size, start);
}

} // namespace quellomir
