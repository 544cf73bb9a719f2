#include "Stone/StoneHandoff.h"

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "Stone/StoneArt.h"
#include "Support/EnumTable.h"
#include "Support/UriComponents.h"

namespace quillfen::StoneHandoff {

namespace {

constexpr EnumName<Failure> kFailures[] = {
    {Failure::notAHandoff, "notAHandoff"},
    {Failure::malformed, "malformed"},
    {Failure::unknownStone, "unknownStone"},
    {Failure::expired, "expired"},
};

// An optional sign and ASCII digits, within 64 bits.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
    std::string_view digits = text;
    if (digits.starts_with('+') || digits.starts_with('-')) digits.remove_prefix(1);
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    if (text.starts_with('+')) text.remove_prefix(1);  // from_chars takes no plus
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The whole text as a floating-point number, in the C locale whatever the process's locale:
// decimal with an optional exponent, hexadecimal, infinity or nan; too large a number is infinite.
std::optional<double> floatingValue(const std::string& text) {
    // strtod would skip leading white space; the text must be a number as a whole.
    if (text.empty() || std::string_view(" \t\n\v\f\r").find(text.front()) != std::string_view::npos)
        return std::nullopt;
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    char* end = nullptr;
    const double value = strtod_l(text.c_str(), &end, cLocale);
    if (end != text.c_str() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::string_view toString(Failure failure) {
    return enumName(failure, kFailures);
}

std::variant<StoneIdentity, Failure> identity(std::string_view url, TimePoint now) {
    if (UriComponents::schemeOf(url) != scheme) return Failure::notAHandoff;
    const auto parts = UriComponents::split(url);
    if (!parts) return Failure::malformed;

    std::string_view action;
    if (parts->host && !parts->host->empty()) {
        action = *parts->host;
    } else {
        action = parts->path;
        while (action.starts_with('/'))
            action.remove_prefix(1);
        while (action.ends_with('/'))
            action.remove_suffix(1);
    }
    if (action != "keep") return Failure::notAHandoff;

    // The first item of a name decides, even when it has no value.
    auto value = [&](std::string_view key) -> const std::optional<std::string>* {
        for (const auto& item : parts->queryItems) {
            if (item.name == key) return item.value ? &item.value : nullptr;
        }
        return nullptr;
    };

    const auto* materialText = value("material");
    const auto material = materialText ? stoneMaterialFrom(**materialText) : std::nullopt;
    if (!material) return Failure::malformed;
    const auto* seed = value("seed");
    if (!seed) return Failure::malformed;

    std::int64_t revision = 1;
    if (const auto* rev = value("rev")) revision = decimalInteger(**rev).value_or(1);
    // A revision past an int is not 1 either; it must not be cut down to one that is.
    if (revision < std::numeric_limits<int>::min() || revision > std::numeric_limits<int>::max())
        return Failure::malformed;

    auto made = StoneIdentity::make(StoneIdentity::currentSchemaVersion,
                                    std::string(toString(*material)) + "-" + **seed, *material,
                                    pairedTemperament(*material), **seed, static_cast<int>(revision));
    if (!made) return Failure::malformed;
    // A moment that is no finite number (nan, an infinity, one too large for a double) has no
    // age: every comparison with nan is false, so it would pass as fresh forever.
    std::optional<double> issuedAt;
    if (const auto* issued = value("issued")) issuedAt = floatingValue(**issued);
    if (issuedAt && !std::isfinite(*issuedAt)) return Failure::malformed;
    if (!StoneArtLibrary::exactArt(*made)) return Failure::unknownStone;

    if (issuedAt) {
        const double nowSeconds = std::chrono::duration<double>(now.time_since_epoch()).count();
        if (nowSeconds - *issuedAt > freshness) return Failure::expired;
    }
    return std::move(*made);
}

}  // namespace quillfen::StoneHandoff
