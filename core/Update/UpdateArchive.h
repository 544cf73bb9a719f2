#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The update archive: an uncompressed tar (POSIX ustar, with pax and GNU long names), read by
// this small reader rather than a general tool so that nothing in it is taken on trust.
namespace quillfen::UpdateArchive {

struct Limits {
    std::size_t maxEntries = 50'000;
    std::size_t maxPathBytes = 4096;
    std::size_t maxDepth = 64;
};

// Unpacks `archive` into `destination`, an open folder (the caller keeps the descriptor): every
// step goes through it, never by a name that could be swapped meanwhile. Only folders, regular
// files and symbolic links are made; folders get mode 0700, files 0700 when the archive marks them
// executable and 0600 otherwise. An entry named by an absolute path or one that climbs with "..",
// a link that leads outside the top folder it is in (a build, which is moved on its own; a link at
// the top outside the destination), a name that passes through a link, a repeated name, any other
// kind of entry and a damaged archive end the unpacking with a message naming the entry. Whatever
// the archive holds, nothing outside the destination is created or changed; after a refusal the
// destination may hold part of the archive.
std::optional<std::string> unpack(std::string_view archive, int destination, const Limits& limits = {});

}  // namespace quillfen::UpdateArchive
