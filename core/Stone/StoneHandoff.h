#pragma once

#include <string_view>
#include <variant>

#include "Stone/StoneIdentity.h"
#include "Support/Clock.h"

namespace quillfen {

// A stone chosen on the web arrives as a URL: tavryn-stone://keep?material=quartz&seed=a119
// with an optional shape revision "rev" and the moment "issued" (seconds since 1970).
namespace StoneHandoff {

inline constexpr std::string_view scheme = "tavryn-stone";
// The oldest handoff accepted, in seconds.
inline constexpr double freshness = 86400.0;

// The journal names a refusal by these cases' names.
enum class Failure { notAHandoff, malformed, unknownStone, expired };
std::string_view toString(Failure);

// The kept stone the URL hands over, or why it cannot be kept; the first failing check decides:
// scheme, URL syntax, the "keep" action, material, seed, contract, a moment that is no finite
// number, drawing, age. An "issued" that is not a number at all is not read. A URL without a
// host (or with an empty one) names its action in the path.
std::variant<StoneIdentity, Failure> identity(std::string_view url, TimePoint now);

}  // namespace StoneHandoff

}  // namespace quillfen
