#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iomanip>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

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

// An entry's Exec line in `group`, split as a desktop splits it when it opens no address (the
// program's path here holds nothing the key file escapes).
inline std::vector<std::string> execOf(const std::string& entry, const std::string& group) {
    const auto at = entry.find("\nExec=", entry.find(group)) + 6;
    std::istringstream line(entry.substr(at, entry.find('\n', at) - at));
    std::vector<std::string> arguments;
    for (std::string word; line >> std::quoted(word);)
        if (word != "%u") arguments.push_back(word);
    return arguments;
}

}  // namespace quillfen::test
