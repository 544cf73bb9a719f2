#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Support/Clock.h"

namespace quillfen::Iso8601 {

// "2026-01-05T14:03:00Z": UTC, whole seconds (fractions are dropped toward the past).
std::string format(TimePoint t);

inline constexpr std::size_t kFormattedSize = 20;
// The same text into `out`, without an allocation: encoders that write many dates use it.
void formatInto(char (&out)[kFormattedSize], TimePoint t);

// The date of the day last written, which a writer of many dates keeps for the next one: dates in a
// row mostly fall on one day.
struct LastDay {
    std::int64_t day = -1'000'000'000;
    char text[10] = {};
};
void formatInto(char (&out)[kFormattedSize], TimePoint t, LastDay& last);

// Strict internet date-time without fractions: "yyyy-MM-ddTHH:mm:ss" followed by "Z" or a
// "+HH:MM"/"-HH:MM" offset. Anything else gives no value.
std::optional<TimePoint> parse(std::string_view text);

// The same, with an optional fraction of seconds ("2026-01-05T14:03:00.250Z").
std::optional<TimePoint> parseWithFraction(std::string_view text);

}  // namespace quillfen::Iso8601

namespace quillfen::ReferenceDate {

// Seconds since 2001-01-01T00:00:00Z, the date form of the stores that keep plain numbers.
double secondsSince2001(TimePoint t);
std::optional<TimePoint> fromSecondsSince2001(double seconds);

}  // namespace quillfen::ReferenceDate
