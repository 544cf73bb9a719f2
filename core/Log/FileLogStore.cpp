#include "Log/FileLogStore.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "Log/MemoryLogStore.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/SystemLog.h"

namespace quillfen {

namespace {

constexpr const char* kUndecodable =
    "cannot be decoded; kept aside as a .corrupt-<time> copy before it is written again";
constexpr const char* kKeptInMemory = "this run keeps it in memory until a write goes through";

// Where the records go, once a run: every store asks for the data folder.
void tellWhereTheRecordsGo(const std::string& line) {
    SystemLog::noticeOnce("files", line, line);
}

}  // namespace

FileLogStore::FileLogStore(std::filesystem::path path, std::size_t maxReadBytes, Clock now)
    : path_(std::move(path)), maxReadBytes_(maxReadBytes), now_(std::move(now)) {}

std::optional<std::filesystem::path> FileLogStore::logDirectory() {
    auto dir = Paths::dataDirectory();
    if (!SafeFile::makePrivateFolder(dir)) return dir;
    const auto fallback = fallbackDirectory();
    // Anyone may have made this folder first, or put a link in its place: not even a link of
    // ours is taken here.
    if (SafeFile::isOwnPrivateFolder(fallback)) {
        tellWhereTheRecordsGo("the records go to " + fallback.string() + " for this run, not to " + dir.string());
        return fallback;
    }
    SafeFile::refuse(fallback, "not a folder of ours alone");
    tellWhereTheRecordsGo("the records are kept in memory for this run, not in " + dir.string());
    return std::nullopt;
}

std::filesystem::path FileLogStore::fallbackDirectory() {
    // The session's own folder, which nobody else may enter, when there is one; else a name of
    // this user's under the temporary folder, where another user may have taken any other name.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/')
        return std::filesystem::path(runtime) / Paths::kAppId;
    std::error_code ec;
    auto temporary = std::filesystem::temp_directory_path(ec);
    if (ec) temporary = "/tmp";
    return temporary / (std::string(Paths::kAppId) + "-" + std::to_string(::geteuid()));
}

std::optional<std::filesystem::path> FileLogStore::familyDirectory() {
    auto dir = Paths::familyDirectory();
    if (!SafeFile::makePrivateFolder(dir)) return dir;
    tellWhereTheRecordsGo("the journals get nothing for this run and the face feedback is kept in memory, not in " +
                          dir.string());
    return std::nullopt;
}

std::shared_ptr<LogStore> FileLogStore::in(const std::optional<std::filesystem::path>& folder,
                                           std::string_view name, std::size_t maxReadBytes) {
    if (!folder) return std::make_shared<MemoryLogStore>();
    return std::make_shared<FileLogStore>(*folder / name, maxReadBytes);
}

std::optional<std::string> FileLogStore::read() const {
    auto contents = SafeFile::read(path_, maxReadBytes_);
    examined_ = true;
    if (contents.keepAside) keepAside_ = true;
    if (!contents.wasRead()) return std::nullopt;
    return std::move(contents.bytes);
}

std::error_code FileLogStore::write(std::string_view bytes) {
    return writePieces([bytes](const SafeFile::Sink& sink) { return sink(bytes); });
}

std::error_code FileLogStore::writePieces(const Pieces& pieces) {
    // A store that writes before it ever reads (a heartbeat) must not replace unseen what it could
    // not have read either.
    if (!examined_) (void)read();
    if (keepAside_) {
        if (auto error = moveAside()) return error;
        keepAside_ = false;
    }
    const auto error = SafeFile::replace(path_, pieces);
    SafeFile::notKept(path_, error, kKeptInMemory);
    return error;
}

std::error_code FileLogStore::moveAside() {
    SafeFile::refuse(path_, kUndecodable);
    // What cannot be kept aside is not written over either.
    const auto error = SafeFile::moveAside(path_, now_());
    SafeFile::notKept(path_, error, kKeptInMemory);
    return error;
}

void FileLogStore::markUndecodable() {
    keepAside_ = true;
    SafeFile::refuse(path_, kUndecodable);
}

}  // namespace quillfen
