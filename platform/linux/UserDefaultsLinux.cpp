#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Log/FileLogStore.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/SystemLog.h"
#include "Support/Text.h"
#include "platform/UserDefaults.h"

namespace quillfen {

namespace {

// The settings file keeps the text that QSettings gives an ini file: the keys of its [General]
// section, one "key=value" a line, strings escaped and quoted its way, so a file of an earlier
// version reads back and one of ours reads in QSettings. It is read and written like every other
// file of ours (never through a link, never blocking on a pipe, bounded, replaced whole), which
// QSettings itself does not promise. Other sections are kept as they stand.
//
// A line of [General] that is none of a key with its value, a comment, a blank or a section header
// (a stray word, a run of NULs, a header cut short: what QSettings reads as a format error) would
// be left out of the next write: the file is then kept aside first, as every store keeps a file it
// could not decode.

constexpr std::string_view kGeneral = "[General]";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The value as one string, or nothing when it is a list (an unquoted comma) or a typed value
// ("@ByteArray(...)", "@Invalid()", ...).
std::optional<std::string> stringValue(std::string_view raw) {
    static constexpr std::pair<char, char> kEscapes[] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},
                                                         {'r', '\r'}, {'t', '\t'}, {'v', '\v'}};
    raw = trimmed(raw);
    std::string out;
    std::size_t quotedEnd = 0;  // what ends inside quotes keeps its spaces
    bool quoted = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            quoted = !quoted;
            quotedEnd = out.size();
        } else if (c == '\\' && i + 1 < raw.size()) {
            const char next = raw[++i];
            const int base = next == 'x' ? 16 : (next >= '0' && next <= '7') ? 8 : 0;
            if (base != 0) {
                const char* from = raw.data() + i + (base == 16 ? 1 : 0);
                unsigned long code = 0;
                const auto [end, error] = std::from_chars(from, raw.data() + raw.size(), code, base);
                i = static_cast<std::size_t>(end - raw.data()) - 1;
                // An escape stands for one UTF-16 unit, as QSettings writes it.
                if (error == std::errc() && code < 0x10000)
                    Text::appendUtf8(out, static_cast<char32_t>(code));
            } else {
                char escaped = next;
                for (const auto& [letter, value] : kEscapes)
                    if (letter == next) escaped = value;
                out.push_back(escaped);
            }
            if (quoted) quotedEnd = out.size();
        } else if (!quoted && c == ',') {
            return std::nullopt;
        } else if (!quoted && c == ';') {
            break;
        } else {
            out.push_back(c);
            if (quoted) quotedEnd = out.size();
        }
    }
    while (out.size() > quotedEnd && isBlank(out.back()))
        out.pop_back();
    if (out.rfind("@@", 0) == 0) return out.substr(1);
    if (out.rfind("@String(", 0) == 0 && out.back() == ')') return out.substr(8, out.size() - 9);
    if (!out.empty() && out.front() == '@') return std::nullopt;
    return out;
}

std::string escapedValue(std::string_view text) {
    static constexpr std::pair<char, char> kEscapes[] = {{'\a', 'a'}, {'\b', 'b'}, {'\f', 'f'},
                                                         {'\n', 'n'}, {'\r', 'r'}, {'\t', 't'},
                                                         {'\v', 'v'}, {'"', '"'},  {'\\', '\\'}};
    std::string out;
    bool needsQuotes = false;
    bool escapeNextIfHex = false;
    const std::string value = (!text.empty() && text.front() == '@' ? "@" : "") + std::string(text);
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        needsQuotes = needsQuotes || c == ';' || c == ',' || c == '=';
        // A hex escape reads on while hex digits follow: a digit right after one is escaped too.
        const bool hex = std::isxdigit(byte) != 0;
        if ((escapeNextIfHex && hex) || byte < 0x20 || byte == 0x7F) {
            const auto named = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                            [c](const auto& e) { return e.first == c; });
            if (named != std::end(kEscapes) && !hex) {
                out.push_back('\\');
                out.push_back(named->second);
                escapeNextIfHex = false;
            } else {
                char code[8];
                std::snprintf(code, sizeof code, "\\x%x", byte);
                out += code;
                escapeNextIfHex = true;
            }
            continue;
        }
        escapeNextIfHex = false;
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    if (needsQuotes || (!out.empty() && (out.front() == ' ' || out.back() == ' '))) out = '"' + out + '"';
    return out;
}

class UserDefaultsLinux final : public UserDefaults {
public:
    UserDefaultsLinux(const std::filesystem::path& file, Clock now)
        : store_(file, FileLogStore::kSmallStoreBytes, now) {
        // A folder that is not ours alone (another's link, another user's folder) keeps the choices in
        // memory.
        writable_ = !SafeFile::makePrivateFolder(file.parent_path());
        if (!writable_) {
            const auto line = "the settings are kept for this run only, not in " + file.string();
            SystemLog::noticeOnce("files", line, line);
        } else {
            const std::string name = file.filename();
            SafeFile::removeLeftoverTemporaries(
                file.parent_path(), [&name](std::string_view n) { return n == name; }, now());
        }
        if (auto text = store_.read(); text && !parse(*text)) store_.markUndecodable();
    }

    std::optional<std::string> string(std::string_view key) const override {
        const auto* raw = find(key);
        if (raw == nullptr) return std::nullopt;
        return stringValue(*raw);
    }

    std::optional<bool> boolean(std::string_view key) const override {
        const auto text = string(key);
        if (text == "true") return true;
        if (text == "false") return false;
        return std::nullopt;
    }

    std::optional<std::int64_t> integer(std::string_view key) const override {
        const auto text = string(key);
        if (!text) return std::nullopt;
        std::int64_t number = 0;
        const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
        if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
        return number;
    }

    void setString(std::string_view key, std::string_view value) override { set(key, escapedValue(value)); }
    void setBoolean(std::string_view key, bool value) override { set(key, value ? "true" : "false"); }
    void setInteger(std::string_view key, std::int64_t value) override { set(key, std::to_string(value)); }
    void remove(std::string_view key) override {
        std::erase_if(general_, [key](const auto& entry) { return entry.first == key; });
        save();
    }

private:
    // The last of a key that is written twice counts.
    const std::string* find(std::string_view key) const {
        auto it =
            std::find_if(general_.rbegin(), general_.rend(), [key](const auto& e) { return e.first == key; });
        return it == general_.rend() ? nullptr : &it->second;
    }

    void set(std::string_view key, std::string raw) {
        auto it =
            std::find_if(general_.rbegin(), general_.rend(), [key](const auto& e) { return e.first == key; });
        if (it != general_.rend()) {
            it->second = std::move(raw);
        } else {
            general_.emplace_back(key, std::move(raw));
        }
        save();
    }

    // False when a line of [General] could not be read.
    bool parse(std::string_view text) {
        // Keys before any section header belong to [General] too.
        bool general = true;
        bool whole = true;
        while (!text.empty()) {
            const auto end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            const auto content = trimmed(line);
            if (content.size() >= 2 && content.front() == '[' && content.back() == ']') {
                general = content == kGeneral;
                if (general) continue;
            }
            if (!general) {
                others_.append(line).push_back('\n');
                continue;
            }
            if (content.empty() || content.front() == ';' || content.front() == '#') continue;
            const auto equals = content.find('=');
            if (equals == 0 || equals == std::string_view::npos) {
                whole = false;
                continue;
            }
            general_.emplace_back(trimmed(content.substr(0, equals)), content.substr(equals + 1));
        }
        return whole;
    }

    void save() {
        if (!writable_) return;
        std::string text;
        if (!general_.empty()) {
            text.append(kGeneral).push_back('\n');
            for (const auto& [key, raw] : general_)
                text.append(key).append("=").append(raw).push_back('\n');
        }
        if (!others_.empty()) text.append(text.empty() ? "" : "\n").append(others_);
        (void)store_.write(text);
    }

    FileLogStore store_;
    bool writable_ = false;
    std::vector<std::pair<std::string, std::string>> general_;
    std::string others_;
};

}  // namespace

std::filesystem::path userDefaultsFile() {
    return Paths::configHome() / Paths::kAppId / "Quillfen.conf";
}

std::unique_ptr<UserDefaults> makeUserDefaults(Clock now) {
    return std::make_unique<UserDefaultsLinux>(userDefaultsFile(), now);
}

}  // namespace quillfen
