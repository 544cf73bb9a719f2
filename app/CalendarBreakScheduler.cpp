#include "CalendarBreakScheduler.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "Log/LineJournal.h"
#include "Support/Iso8601.h"
#include "Support/JsonText.h"
#include "Support/LocalCalendar.h"
#include "Support/Paths.h"

namespace quillfen {

namespace {

constexpr const char* kNoAccess = "no calendar write access";
constexpr const char* kNoGap = "triggered but no free gap in working hours";
constexpr const char* kWriteFailed = "eventkit write failed";

}  // namespace

std::filesystem::path CalendarBreakScheduler::defaultJournal() {
    return Paths::familyDirectory() / "actions-log.jsonl";
}

CalendarBreakScheduler::CalendarBreakScheduler(std::shared_ptr<EventStore> store, UserDefaults& defaults,
                                               std::optional<std::filesystem::path> journal,
                                               CalendarBreak::Config config, Clock now)
    : store_(std::move(store)),
      defaults_(defaults),
      journal_(journal.value_or(defaultJournal())),
      config_(config),
      now_(std::move(now)) {}

bool CalendarBreakScheduler::isEnabled() const {
    return defaults_.boolean(kEnabledKey).value_or(false);
}

std::optional<CalendarBreak::Placement> CalendarBreakScheduler::evaluate(int loopsToday) {
    auto gate = open();
    if (!gate) return std::nullopt;
    return close(attempt(*gate, loopsToday));
}

std::optional<CalendarBreakScheduler::Gate> CalendarBreakScheduler::open() const {
    if (!isEnabled()) return std::nullopt;
    std::string today = LocalCalendar::dayKey(now_());
    if (defaults_.string(kPlacedDayKey) == today) return std::nullopt;
    return Gate{std::move(today)};
}

bool CalendarBreakScheduler::hasAccess() const {
    // Anything short of full access (no folder yet, one that cannot be read) cannot take a hold.
    return store_ && store_->accessStatus() == CalendarAccess::fullAccess;
}

CalendarBreakScheduler::Attempt CalendarBreakScheduler::attempt(const Gate& gate, int loopsToday) const {
    Attempt result{gate.dayKey, loopsToday, {loopsToday, 0, false}, std::nullopt};
    if (!hasAccess()) {
        // Without the calendar only the loops can trigger. A calm day says nothing here: the
        // journal would otherwise gain a line at every evaluation, every five minutes.
        if (CalendarBreak::isTriggered(result.trigger, config_)) journalLine("skip", kNoAccess, gate.dayKey);
        return result;
    }
    const TodayTimes times = readTodayTimes();
    result.trigger = {loopsToday, times.backToBack, times.meetingsAhead};
    if (!CalendarBreak::isTriggered(result.trigger, config_)) return result;
    const auto placement = CalendarBreak::placement(times.busy, now_(), config_);
    if (!placement) {
        journalLine("skip", kNoGap, gate.dayKey);
        return result;
    }
    if (!writeHold(*placement)) {
        journalLine("skip", kWriteFailed, gate.dayKey);
        return result;
    }
    result.placed = placement;
    return result;
}

std::optional<CalendarBreak::Placement> CalendarBreakScheduler::close(const Attempt& attempt) {
    if (!attempt.placed) return std::nullopt;
    defaults_.setString(kPlacedDayKey, attempt.dayKey);
    journalLine("placed", triggerReason(attempt.trigger), attempt.dayKey, attempt.placed);
    return attempt.placed;
}

CalendarBreakScheduler::TodayTimes CalendarBreakScheduler::readTodayTimes() const {
    TodayTimes times;
    if (!store_) return times;
    const TimePoint now = now_();
    const TimePoint start = LocalCalendar::startOfDay(now);
    const TimePoint end = LocalCalendar::startOfDayOffset(now, 1);
    std::vector<CalendarEvent> events = store_->events(start, end > start ? end : now);
    std::erase_if(events, [](const CalendarEvent& e) { return e.isAllDay; });
    std::stable_sort(events.begin(), events.end(),
                     [](const CalendarEvent& a, const CalendarEvent& b) { return a.start < b.start; });
    for (std::size_t i = 0; i < events.size(); ++i) {
        times.busy.push_back({events[i].start, events[i].end});
        if (events[i].start > now) times.meetingsAhead = true;
        if (i + 1 < events.size() && secondsBetween(events[i].end, events[i + 1].start) <= kBackToBackGapSeconds)
            ++times.backToBack;
    }
    return times;
}

std::string CalendarBreakScheduler::triggerReason(const CalendarBreak::Signals& trigger) const {
    if (trigger.loopsToday >= config_.loopsTrigger) return "loops today " + std::to_string(trigger.loopsToday);
    return "back-to-back " + std::to_string(trigger.backToBack) + ", meetings ahead";
}

bool CalendarBreakScheduler::writeHold(const CalendarBreak::Placement& placement) const {
    if (!store_ || !store_->defaultCalendar()) return false;
    return store_->save(EventDraft{std::string(CalendarBreak::holdTitle), placement.start, placement.end, 0.0});
}

void CalendarBreakScheduler::journalLine(const std::string& action, const std::string& reason,
                                         const std::string& dayKey,
                                         const std::optional<CalendarBreak::Placement>& hold) const {
    // The object's keys come out sorted, which readers of the journal rely on.
    nlohmann::json record = {
        {"ts", Iso8601::format(now_())}, {"action", action}, {"kind", kJournalKind}, {"reason", reason},
        {"dayKey", dayKey}};
    if (hold) {
        record["holdStart"] = Iso8601::format(hold->start);
        record["holdEnd"] = Iso8601::format(hold->end);
    }
    auto line = JsonText::encode(record);
    if (!line) return;
    // Bounded like the decisions journal, but the day's lines stay whatever their number: the
    // mirror reads today's hold from them. Lines are written compact, so the day's lines are
    // the ones that hold this text.
    const std::string ofTheDay = "\"dayKey\":\"" + dayKey + "\"";
    LineJournal::append(journal_, *line, {.alwaysKeep = [&ofTheDay](std::string_view text) {
                            return text.find(ofTheDay) != std::string_view::npos;
                        }});
}

}  // namespace quillfen
