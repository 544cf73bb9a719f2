#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Support/Clock.h"

namespace quillfen::Iso8601 {

// "2026-01-05T14:03:00Z": UTC, whole seconds (fractions are dropped toward the past).
std::string format(TimePoint t);

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
