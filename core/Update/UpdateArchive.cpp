#include "Update/UpdateArchive.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "Support/PathWalk.h"
#include "Support/UnicodeText.h"

namespace quillfen::UpdateArchive {

namespace {

constexpr std::size_t kBlock = 512;
// Extended headers carry a name or two; nothing legitimate comes near this.
constexpr std::size_t kMaxExtendedHeaderBytes = 64 * 1024;
// No size given by an extended header.
constexpr std::uint64_t kNoSize = UINT64_MAX;
// As many links on one way as the kernel follows.
constexpr int kMostLinks = 40;

struct Refusal {
    std::string message;
};

using PathWalk::Fd;

// A name as it may appear in a message: valid UTF-8, and short.
std::string shown(std::string_view name) {
    return UnicodeText::prefix(UnicodeText::repairedUtf8(name), 80);
}

[[noreturn]] void refuse(std::string_view name, std::string_view why) {
    throw Refusal{"archive entry refused: " + shown(name) + " (" + std::string(why) + ")"};
}

[[noreturn]] void damaged(std::string_view why) {
    throw Refusal{"archive damaged: " + std::string(why)};
}

std::string_view field(std::string_view header, std::size_t offset, std::size_t length) {
    auto value = header.substr(offset, length);
    return value.substr(0, value.find('\0'));
}

// Octal digits, optionally surrounded by spaces and ended by a NUL. The base-256 form that GNU
// tar uses for huge values is not needed by any update and not accepted.
std::optional<std::uint64_t> octal(std::string_view header, std::size_t offset, std::size_t length) {
    auto text = header.substr(offset, length);
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '7'; ++i, ++digits) {
        if (value > (UINT64_MAX >> 3)) return std::nullopt;
        value = value * 8 + static_cast<std::uint64_t>(text[i] - '0');
    }
    for (; i < text.size(); ++i) {
        if (text[i] != ' ' && text[i] != '\0') return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    return value;
}

bool checksumMatches(std::string_view header) {
    auto stored = octal(header, 148, 8);
    if (!stored) return false;
    std::uint64_t unsignedSum = 0;
    std::int64_t signedSum = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        const bool inField = i >= 148 && i < 156;
        const unsigned char byte = inField ? ' ' : static_cast<unsigned char>(header[i]);
        unsignedSum += byte;
        signedSum += inField ? ' ' : static_cast<signed char>(header[i]);
    }
    // Some old writers summed signed bytes.
    return *stored == unsignedSum || static_cast<std::int64_t>(*stored) == signedSum;
}

bool allZero(std::string_view block) {
    for (char c : block) {
        if (c != '\0') return false;
    }
    return true;
}

// The names of a path, in order; empty ones and "." fall away.
std::deque<std::string> namesOf(std::string_view path) {
    std::deque<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        auto end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        auto name = path.substr(start, end - start);
        if (!name.empty() && name != ".") names.emplace_back(name);
        start = end + 1;
    }
    return names;
}

// The components of an entry's name below the destination; "." and empty components fall
// away, so "./a//b/" is "a/b".
std::deque<std::string> components(std::string_view name, const Limits& limits) {
    if (name.empty()) refuse(name, "empty name");
    if (name.find('\0') != std::string_view::npos) refuse(name, "NUL in name");
    if (name.size() > limits.maxPathBytes) refuse(name, "name too long");
    if (name.front() == '/') refuse(name, "absolute name");
    auto parts = namesOf(name);
    for (const auto& part : parts) {
        if (part == "..") refuse(name, "climbs out with ..");
        if (part.size() > NAME_MAX) refuse(name, "name too long");
    }
    if (parts.size() > limits.maxDepth) refuse(name, "nested too deeply");
    return parts;
}

// How many of a link's leading names lie above the folder it must stay inside: the top folder
// it is in, which is a build, moved on its own to where its links are followed, while whatever
// else was unpacked stays behind. A link at the top is in no build and stays inside the
// destination.
std::size_t namesAboveItsBounds(const std::deque<std::string>& linkParts) {
    return linkParts.size() > 1 ? 1 : 0;
}

// A link's target must stay inside its bounds when read from the link's own folder. Links met
// on the way are checked once every entry is in place.
void checkLinkTarget(std::string_view name, const std::deque<std::string>& linkParts, std::string_view target) {
    if (target.empty()) refuse(name, "empty link target");
    if (target.find('\0') != std::string_view::npos) refuse(name, "NUL in link target");
    if (target.front() == '/') refuse(name, "link leaves the folder");
    std::size_t depth = linkParts.size() - 1 - namesAboveItsBounds(linkParts);
    std::size_t start = 0;
    while (start <= target.size()) {
        auto end = target.find('/', start);
        if (end == std::string_view::npos) end = target.size();
        auto part = target.substr(start, end - start);
        if (part == "..") {
            if (depth == 0) refuse(name, "link leaves the folder");
            --depth;
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
        start = end + 1;
    }
}

// The folder that will hold the entry, opened without following any link, with missing
// folders made on the way.
Fd openParent(int root, std::string_view name, const std::deque<std::string>& parts) {
    Fd current(::fcntl(root, F_DUPFD_CLOEXEC, 0));
    if (current.get() < 0) refuse(name, std::strerror(errno));
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const char* part = parts[i].c_str();
        int fd = ::openat(current.get(), part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(current.get(), part, S_IRWXU) != 0 && errno != EEXIST) refuse(name, std::strerror(errno));
            fd = ::openat(current.get(), part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            if (errno == ELOOP || errno == ENOTDIR) refuse(name, "passes through a link or a file");
            refuse(name, std::strerror(errno));
        }
        current = Fd(fd);
    }
    return current;
}

void writeFile(int parent, std::string_view name, const std::string& leaf, std::string_view data,
               std::uint64_t mode) {
    const mode_t wanted = (mode & 0111) != 0 ? S_IRWXU : (S_IRUSR | S_IWUSR);
    Fd fd(::openat(parent, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, wanted));
    if (fd.get() < 0) refuse(name, errno == EEXIST ? "name repeated" : std::strerror(errno));
    if (!PathWalk::writeAll(fd.get(), data)) refuse(name, std::strerror(errno));
    ::fchmod(fd.get(), wanted);
}

void makeFolder(int parent, std::string_view name, const std::string& leaf) {
    if (::mkdirat(parent, leaf.c_str(), S_IRWXU) == 0) {
        ::fchmodat(parent, leaf.c_str(), S_IRWXU, 0);
        return;
    }
    struct stat info {};
    if (errno == EEXIST && ::fstatat(parent, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(info.st_mode)) {
        return;
    }
    refuse(name, errno == EEXIST ? "name repeated" : std::strerror(errno));
}

// "%d key=value\n" records; only the names are taken.
void readExtendedHeader(std::string_view data, std::optional<std::string>& path,
                        std::optional<std::string>& linkPath, std::uint64_t& size) {
    while (!data.empty()) {
        auto space = data.find(' ');
        if (space == std::string_view::npos || space == 0 || space > 10) damaged("extended header");
        std::size_t length = 0;
        for (std::size_t i = 0; i < space; ++i) {
            if (data[i] < '0' || data[i] > '9') damaged("extended header");
            length = length * 10 + static_cast<std::size_t>(data[i] - '0');
        }
        if (length <= space + 1 || length > data.size() || data[length - 1] != '\n') damaged("extended header");
        auto record = data.substr(space + 1, length - space - 2);
        auto equals = record.find('=');
        if (equals == std::string_view::npos) damaged("extended header");
        auto key = record.substr(0, equals);
        auto value = record.substr(equals + 1);
        if (key == "path") {
            path = std::string(value);
        } else if (key == "linkpath") {
            linkPath = std::string(value);
        } else if (key == "size") {
            std::uint64_t n = 0;
            if (value.empty() || value.size() > 19) damaged("extended header size");
            for (char c : value) {
                if (c < '0' || c > '9') damaged("extended header size");
                n = n * 10 + static_cast<std::uint64_t>(c - '0');
            }
            size = n;
        }
        data.remove_prefix(length);
    }
}

// Every link now in place must resolve inside its bounds, links along the way followed:
// "a" -> "b/.." looks harmless on its own when "b" is itself a link to "..". The way is followed
// as the kernel follows it, a name at a time from the bounds' descriptor, with the folders it
// went down kept open, so that ".." climbs the folders really passed. A way that ends at nothing
// (a missing name, a file where a folder should be) leads nowhere outside.
void checkLinkResolvesInside(int root, const std::string& link) {
    auto steps = namesOf(link);
    std::vector<Fd> folders;
    folders.emplace_back(::fcntl(root, F_DUPFD_CLOEXEC, 0));
    for (auto above = namesAboveItsBounds(steps); above > 0 && folders.back().get() >= 0; --above) {
        // Made as a folder on the way to the link, and never a link itself.
        folders.back() = Fd(::openat(folders.back().get(), steps.front().c_str(),
                                     O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        steps.pop_front();
    }
    if (folders.back().get() < 0) damaged("destination unreadable");
    int links = 0;
    while (!steps.empty()) {
        const std::string name = std::move(steps.front());
        steps.pop_front();
        if (name == "..") {
            if (folders.size() == 1) refuse(link, "link leaves the folder");
            folders.pop_back();
            continue;
        }
        Fd next(::openat(folders.back().get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0) {
            if (errno == ENOENT || errno == ENOTDIR) return;
            refuse(link, "link cannot be resolved");
        }
        struct stat info {};
        if (::fstat(next.get(), &info) != 0) refuse(link, "link cannot be resolved");
        if (S_ISDIR(info.st_mode)) {
            folders.push_back(std::move(next));
            continue;
        }
        if (!S_ISLNK(info.st_mode)) return;
        if (++links > kMostLinks) refuse(link, "link cannot be resolved");
        char target[PATH_MAX];
        const ssize_t length = ::readlinkat(next.get(), "", target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) refuse(link, "link cannot be resolved");
        if (target[0] == '/') refuse(link, "link leaves the folder");
        auto more = namesOf(std::string_view(target, static_cast<std::size_t>(length)));
        steps.insert(steps.begin(), more.begin(), more.end());
    }
}

}  // namespace

std::optional<std::string> unpack(std::string_view archive, int destination, const Limits& limits) {
    try {
        Fd root(::fcntl(destination, F_DUPFD_CLOEXEC, 0));
        struct stat info {};
        if (root.get() < 0 || ::fstat(root.get(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            damaged("destination unreadable");
        }
        std::vector<std::string> links;
        std::optional<std::string> longName, longLink;
        std::uint64_t extendedSize = kNoSize;
        std::size_t entries = 0;
        std::size_t offset = 0;
        bool ended = false;
        while (offset + kBlock <= archive.size()) {
            const auto header = archive.substr(offset, kBlock);
            offset += kBlock;
            if (allZero(header)) {
                ended = true;
                break;
            }
            if (!checksumMatches(header)) damaged("header checksum");
            if (++entries > limits.maxEntries) damaged("too many entries");

            auto headerSize = octal(header, 124, 12);
            if (!headerSize) damaged("size field");
            const std::uint64_t size = extendedSize != kNoSize ? extendedSize : *headerSize;
            const std::uint64_t room = archive.size() - offset;
            if (size > room) damaged("entry runs past the end");
            const auto data = archive.substr(offset, static_cast<std::size_t>(size));
            const std::uint64_t padded = (size + kBlock - 1) / kBlock * kBlock;
            offset += static_cast<std::size_t>(std::min<std::uint64_t>(padded, room));

            const char type = header[156];
            if (type == 'x' || type == 'L' || type == 'K') {
                if (size > kMaxExtendedHeaderBytes) damaged("extended header too large");
                if (type == 'x') {
                    readExtendedHeader(data, longName, longLink, extendedSize);
                } else {
                    (type == 'L' ? longName : longLink) = std::string(data.substr(0, data.find('\0')));
                }
                continue;
            }
            if (type == 'g') continue;  // global attributes carry nothing this reader keeps

            std::string name(field(header, 0, 100));
            const bool ustar = header.substr(257, 6) == std::string_view("ustar\0", 6);
            if (ustar && !field(header, 345, 155).empty()) name = std::string(field(header, 345, 155)) + "/" + name;
            if (longName) name = *longName;
            const std::string linkTarget = longLink ? *longLink : std::string(field(header, 157, 100));
            longName.reset();
            longLink.reset();
            extendedSize = kNoSize;

            auto parts = components(name, limits);
            if (parts.empty()) {
                if (type == '5') continue;  // the destination itself, "./"
                refuse(name, "names the destination itself");
            }
            const auto mode = octal(header, 100, 8).value_or(0);
            switch (type) {
                case '0':
                case '\0':
                case '7': {
                    Fd parent = openParent(root.get(), name, parts);
                    writeFile(parent.get(), name, parts.back(), data, mode);
                    break;
                }
                case '5': {
                    Fd parent = openParent(root.get(), name, parts);
                    makeFolder(parent.get(), name, parts.back());
                    break;
                }
                case '2': {
                    checkLinkTarget(name, parts, linkTarget);
                    Fd parent = openParent(root.get(), name, parts);
                    if (::symlinkat(linkTarget.c_str(), parent.get(), parts.back().c_str()) != 0) {
                        refuse(name, errno == EEXIST ? "name repeated" : std::strerror(errno));
                    }
                    std::string joined;
                    for (const auto& part : parts)
                        joined += (joined.empty() ? "" : "/") + part;
                    links.push_back(std::move(joined));
                    break;
                }
                case '1':
                    refuse(name, "hard link");
                default:
                    refuse(name, "not a file, folder or symbolic link");
            }
        }
        if (!ended && offset < archive.size()) damaged("truncated header");
        if (!ended && entries == 0) damaged("empty");
        for (const auto& link : links)
            checkLinkResolvesInside(root.get(), link);
        return std::nullopt;
    } catch (const Refusal& refusal) {
        return refusal.message;
    }
}

}  // namespace quillfen::UpdateArchive
