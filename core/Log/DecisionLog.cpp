#include "Log/DecisionLog.h"

#include <deque>

#include <nlohmann/json.hpp>

#include "Log/LineJournal.h"
#include "Support/Iso8601.h"
#include "Support/JsonText.h"
#include "Support/LocalCalendar.h"
#include "Support/Paths.h"

namespace quillfen::DecisionLog {

namespace {

// The last `limit` non-empty lines, oldest first.
std::deque<std::string_view> lastLines(std::string_view text, std::size_t limit) {
    std::deque<std::string_view> lines;
    while (!text.empty()) {
        auto end = text.find('\n');
        auto line = text.substr(0, end);
        if (!line.empty()) {
            lines.push_back(line);
            if (lines.size() > limit) lines.pop_front();
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::optional<Entry> entryFrom(std::string_view line) {
    auto json = JsonText::decode(line);
    if (!json || !json->is_object()) return std::nullopt;
    for (const auto& [key, value] : json->items()) {
        if (!value.is_string()) return std::nullopt;
    }
    auto ts = json->find("ts");
    if (ts == json->end()) return std::nullopt;
    auto date = Iso8601::parse(ts->get_ref<const std::string&>());
    if (!date) return std::nullopt;
    return Entry{*date, json->value("kind", std::string()), json->value("detail", std::string())};
}

}  // namespace

std::filesystem::path defaultFile() {
    return Paths::familyDirectory() / "decisions-log.jsonl";
}

void append(std::string_view kind, std::string_view detail, TimePoint now) {
    append(defaultFile(), kind, detail, now);
}

void append(const std::filesystem::path& file, std::string_view kind, std::string_view detail,
            TimePoint now) {
    nlohmann::json record = {{"ts", Iso8601::format(now)}, {"kind", kind}, {"detail", detail}};
    if (auto line = JsonText::encode(record))
        LineJournal::append(file, *line, {kTrimAboveBytes, kLinesKeptByTrim});
}

std::vector<Entry> today(TimePoint now) {
    return today(defaultFile(), now);
}

std::vector<Entry> today(const std::filesystem::path& file, TimePoint now) {
    auto text = LineJournal::readTail(file, kReadTailBytes);
    if (!text) return {};
    std::string todayKey = LocalCalendar::dayKey(now);
    std::vector<Entry> entries;
    for (auto line : lastLines(*text, kLinesReadForToday)) {
        auto entry = entryFrom(line);
        if (entry && LocalCalendar::dayKey(entry->ts) == todayKey) entries.push_back(std::move(*entry));
    }
    return entries;
}

}  // namespace quillfen::DecisionLog
