#include "Support/Iso8601.h"

#include <cmath>
#include <cstring>

namespace quillfen {

namespace {

constexpr std::int64_t kSecondsFrom1970To2001 = 978307200;
constexpr std::int64_t kRepresentableSeconds = 9'000'000'000;

bool digits(std::string_view s, std::size_t pos, std::size_t count, int& out) {
    if (pos + count > s.size()) return false;
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        char c = s[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

// The proleptic Gregorian date of a count of days since 1970-01-01; the inverse of daysFromCivil.
CivilDate civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2), month, day};
}

std::optional<TimePoint> parseImpl(std::string_view s, bool allowFraction) {
    int year, month, day, hour, minute, second;
    if (!digits(s, 0, 4, year) || s.size() < 19 || s[4] != '-' || !digits(s, 5, 2, month) || s[7] != '-' ||
        !digits(s, 8, 2, day) || s[10] != 'T' || !digits(s, 11, 2, hour) || s[13] != ':' ||
        !digits(s, 14, 2, minute) || s[16] != ':' || !digits(s, 17, 2, second)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59) {
        return std::nullopt;
    }
    std::size_t pos = 19;
    std::int64_t micros = 0;
    if (allowFraction && pos < s.size() && s[pos] == '.') {
        ++pos;
        std::size_t start = pos;
        std::int64_t scale = 100000;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            micros += (s[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == start) return std::nullopt;
    }
    if (pos >= s.size()) return std::nullopt;
    int offsetSeconds = 0;
    if (s[pos] == 'Z') {
        ++pos;
    } else if (s[pos] == '+' || s[pos] == '-') {
        int oh, om;
        if (!digits(s, pos + 1, 2, oh) || pos + 3 >= s.size() || s[pos + 3] != ':' ||
            !digits(s, pos + 4, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offsetSeconds = (oh * 3600 + om * 60) * (s[pos] == '+' ? 1 : -1);
        pos += 6;
    } else {
        return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
    std::int64_t epoch = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    // The clock counts nanoseconds in 64 bits: dates beyond about 1678...2262 would overflow it.
    if (epoch < -kRepresentableSeconds || epoch > kRepresentableSeconds) return std::nullopt;
    return TimePoint{} + std::chrono::seconds(epoch) +
           std::chrono::duration_cast<TimePoint::duration>(std::chrono::microseconds(micros));
}

}  // namespace

namespace Iso8601 {

std::string format(TimePoint t) {
    char text[kFormattedSize];
    formatInto(text, t);
    return std::string(text, kFormattedSize);
}

void formatInto(char (&out)[kFormattedSize], TimePoint t) {
    LastDay none;
    formatInto(out, t, none);
}

void formatInto(char (&out)[kFormattedSize], TimePoint t, LastDay& last) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    auto pair = [&out](std::size_t at, std::int64_t value) { std::memcpy(out + at, kPairs + 2 * value, 2); };
    const std::int64_t seconds = std::chrono::floor<std::chrono::seconds>(t.time_since_epoch()).count();
    const std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const std::int64_t ofDay = seconds - days * 86400;
    if (days != last.day) {
        // The clock's range (1677 to 2262) keeps every year at four digits.
        const CivilDate date = civilFromDays(days);
        pair(0, date.year / 100);
        pair(2, date.year % 100);
        out[4] = '-';
        pair(5, date.month);
        out[7] = '-';
        pair(8, date.day);
        last.day = days;
        std::memcpy(last.text, out, sizeof last.text);
    } else {
        std::memcpy(out, last.text, sizeof last.text);
    }
    out[10] = 'T';
    pair(11, ofDay / 3600);
    out[13] = ':';
    pair(14, ofDay / 60 % 60);
    out[16] = ':';
    pair(17, ofDay % 60);
    out[19] = 'Z';
}

std::optional<TimePoint> parse(std::string_view text) {
    return parseImpl(text, false);
}

std::optional<TimePoint> parseWithFraction(std::string_view text) {
    return parseImpl(text, true);
}

}  // namespace Iso8601

namespace ReferenceDate {

double secondsSince2001(TimePoint t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count() -
           static_cast<double>(kSecondsFrom1970To2001);
}

std::optional<TimePoint> fromSecondsSince2001(double seconds) {
    if (!std::isfinite(seconds)) return std::nullopt;
    const double sinceEpoch = seconds + static_cast<double>(kSecondsFrom1970To2001);
    if (std::fabs(sinceEpoch) > static_cast<double>(kRepresentableSeconds)) return std::nullopt;
    auto micros = std::llround(sinceEpoch * 1e6);
    return TimePoint{} + std::chrono::duration_cast<TimePoint::duration>(std::chrono::microseconds(micros));
}

}  // namespace ReferenceDate

}  // namespace quillfen
