#include "DesktopEntry.h"

#include "Stone/StoneHandoff.h"
#include "Support/Paths.h"

namespace quillfen::DesktopEntry {

std::optional<std::string> execArgument(const std::filesystem::path& path) {
    // The Exec line's own quoting (a double-quoted argument in which ", `, $ and \ take a
    // backslash, "%" doubled as a field code), then the key file's escaping of every backslash.
    std::string argument = "\"";
    for (unsigned char c : path.string()) {
        if (c < 0x20 || c == 0x7f) return std::nullopt;
        if (c == '"' || c == '`' || c == '$' || c == '\\') argument += '\\';
        if (c == '%') argument += '%';
        argument += static_cast<char>(c);
    }
    argument += '"';
    std::string value;
    for (char c : argument) {
        if (c == '\\') value += '\\';
        value += c;
    }
    return value;
}

std::optional<std::string> text(const std::filesystem::path& launcher) {
    auto exec = execArgument(launcher);
    if (!exec) return std::nullopt;
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quillfen\n"
           "Comment=A quiet desktop companion that lives in the tray\n"
           "Icon=" +
           std::string(Paths::kAppId) +
           "\n"
           // %u: a handoff address opened anywhere on the desktop arrives as the one argument.
           "Exec=" +
           *exec +
           " %u\n"
           "Terminal=false\n"
           "Categories=Utility;\n"
           "MimeType=x-scheme-handler/" +
           std::string(StoneHandoff::scheme) + ";\n";
}

std::filesystem::path userFile() {
    return Paths::dataDirectory().parent_path() / "applications" / kFileName;
}

}  // namespace quillfen::DesktopEntry
