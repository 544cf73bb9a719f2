#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

namespace quillfen::test {

// What desktop-file-validate says of an entry; empty when it finds it valid. A validator older
// than the key SingleMainWindow (Debian 12's) takes it for an unknown one: it then judges the entry
// without that line, which a later one (Debian 13's) judges with it.
inline std::string desktopEntryComplaints(const std::filesystem::path& entry) {
    const auto complaints = [](const std::filesystem::path& file) -> std::string {
        ChildProcess validate(
            {"/bin/sh", "-c", "/usr/bin/desktop-file-validate \"$0\" >&3 2>&1", file.string()}, {}, 3);
        std::string said = validate.readRest();
        const auto status = validate.waitForExit(kPatience);
        if (status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) return {};
        return said.empty() ? "desktop-file-validate failed" : said;
    };
    const std::string said = complaints(entry);
    constexpr std::string_view kSingleMainWindow = "SingleMainWindow=true\n";
    std::string text = readFile(entry);
    const auto line = text.find(kSingleMainWindow);
    if (said.find("key \"SingleMainWindow\"") == std::string::npos || line == std::string::npos) return said;
    const TempDir older;
    const auto without = older.path() / entry.filename();
    writeFile(without, text.erase(line, kSingleMainWindow.size()));
    return complaints(without);
}

}  // namespace quillfen::test
