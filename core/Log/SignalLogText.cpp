#include "Log/SignalLogText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include <nlohmann/json.hpp>

#include "Support/Iso8601.h"
#include "Support/JsonLines.h"
#include "Support/JsonScanner.h"

namespace quillfen::SignalLogText {

namespace {

// The keys in the order `sampleToJson` writes them, which is sorted order.
enum Key { appSwitches, activeSeconds, display, hour, sinceInput, timestamp, titleChurn, keyCount };
constexpr std::array<std::string_view, keyCount> kKeys = {
    "appSwitchesLastHour", "continuousActiveSeconds", "displayState", "localHour",
    "secondsSinceLastInput", "timestamp", "titleChurnPerHour"};

// One member's value as found, kept until the object ends: a repeated key counts with its last value,
// as a parser that builds the object keeps it.
struct Member {
    enum class Kind { absent, null, string, number, other } kind = Kind::absent;
    std::string_view text;
    bool integral = false;
    std::string scratch;  // the decoded form of a string with escapes
};

// The number rules of the general reader: a whole number written as one reads exactly (beyond
// 64 bits it is a double), anything else as the nearest double.
std::optional<double> asDouble(const Member& m) {
    if (m.kind != Member::Kind::number) return std::nullopt;
    const char* first = m.text.data();
    const char* last = first + m.text.size();
    if (m.integral) {
        std::int64_t whole = 0;
        if (auto r = std::from_chars(first, last, whole); r.ec == std::errc() && r.ptr == last)
            return static_cast<double>(whole);
        std::uint64_t positive = 0;
        if (auto r = std::from_chars(first, last, positive); r.ec == std::errc() && r.ptr == last)
            return static_cast<double>(positive);
    }
    return JsonScanner::numberValue(m.text);
}

// A float is taken only when it is exactly a whole number in range; a whole number written beyond
// 64 signed bits is not.
std::optional<std::int64_t> asInt64(const Member& m) {
    if (m.kind != Member::Kind::number) return std::nullopt;
    if (m.integral) {
        std::int64_t whole = 0;
        const char* last = m.text.data() + m.text.size();
        if (auto r = std::from_chars(m.text.data(), last, whole); r.ec == std::errc() && r.ptr == last) return whole;
        return std::nullopt;
    }
    const double d = JsonScanner::numberValue(m.text);
    if (std::isfinite(d) && std::trunc(d) == d && d >= -9.2e18 && d <= 9.2e18) return static_cast<std::int64_t>(d);
    return std::nullopt;
}

bool present(const Member& m) {
    return m.kind != Member::Kind::absent && m.kind != Member::Kind::null;
}

std::optional<SignalSample> sampleOf(const std::array<Member, keyCount>& m) {
    if (m[timestamp].kind != Member::Kind::string) return std::nullopt;
    const auto at = Iso8601::parse(m[timestamp].text);
    const auto active = asDouble(m[activeSeconds]);
    const auto switches = asInt64(m[appSwitches]);
    const auto input = asDouble(m[sinceInput]);
    const auto localHour = asDouble(m[hour]);
    if (!at || !active || !switches || !input || !localHour) return std::nullopt;
    SignalSample s;
    s.timestamp = *at;
    s.continuousActiveSeconds = *active;
    s.appSwitchesLastHour = *switches;
    s.secondsSinceLastInput = *input;
    s.localHour = *localHour;
    if (present(m[titleChurn])) {
        s.titleChurnPerHour = asDouble(m[titleChurn]);
        if (!s.titleChurnPerHour) return std::nullopt;
    }
    if (present(m[display])) {
        if (m[display].kind != Member::Kind::string) return std::nullopt;
        s.displayState = displayStateFrom(m[display].text);
        if (!s.displayState) return std::nullopt;
    }
    return s;
}

bool readMember(JsonScanner& s, Member& m) {
    const char c = s.peek();
    if (c == '"') {
        m.kind = Member::Kind::string;
        return s.stringValue(m.text, m.scratch);
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
        m.kind = Member::Kind::number;
        return s.numberToken(m.text, m.integral);
    }
    m.kind = c == 'n' ? Member::Kind::null : Member::Kind::other;
    return s.skipValue();
}

constexpr std::size_t kNumberChars = 32;

// The general encoder's own shortest form, so that the bytes stay the same.
std::size_t numberText(char (&out)[kNumberChars], double value) {
    return static_cast<std::size_t>(nlohmann::detail::to_chars(out, out + kNumberChars, value) - out);
}

// The local hour is nearly always a whole minute of the day: its text comes from a table.
std::string_view hourText(double hour, char (&scratch)[kNumberChars]) {
    struct Minute {
        double value;
        char text[kNumberChars];
        std::size_t size;
    };
    static const auto minutes = [] {
        auto table = std::make_unique<std::array<Minute, 24 * 60>>();
        for (int m = 0; m < 24 * 60; ++m) {
            Minute& minute = (*table)[static_cast<std::size_t>(m)];
            // As the sensing read works it out.
            minute.value = m / 60 + (m % 60) / 60.0;
            minute.size = numberText(minute.text, minute.value);
        }
        return table;
    }();
    const double nearest = std::floor(hour * 60 + 0.5);
    if (nearest >= 0 && nearest < 24 * 60) {
        const Minute& minute = (*minutes)[static_cast<std::size_t>(nearest)];
        if (std::bit_cast<std::uint64_t>(minute.value) == std::bit_cast<std::uint64_t>(hour))
            return {minute.text, minute.size};
    }
    return {scratch, numberText(scratch, hour)};
}

// The texts of the numbers that `NumberTexts` keeps; the churn is empty when the sample has none.
struct CostlyTexts {
    std::string_view active, input, churn;
};

// A sample's object is far shorter than this.
constexpr std::size_t kLongestSample = 512;

char* put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// `out` has room for kLongestSample bytes; returns the end of what was written.
char* writeSample(char* out, const SignalSample& s, const CostlyTexts& texts, Iso8601::LastDay& day) {
    out = put(out, R"({"appSwitchesLastHour":)");
    out = std::to_chars(out, out + 24, s.appSwitchesLastHour).ptr;
    out = put(out, R"(,"continuousActiveSeconds":)");
    out = put(out, texts.active);
    if (s.displayState) {
        out = put(out, R"(,"displayState":")");
        out = put(out, toString(*s.displayState));
        *out++ = '"';
    }
    out = put(out, R"(,"localHour":)");
    char scratch[kNumberChars];
    out = put(out, hourText(s.localHour, scratch));
    out = put(out, R"(,"secondsSinceLastInput":)");
    out = put(out, texts.input);
    out = put(out, R"(,"timestamp":")");
    char date[Iso8601::kFormattedSize];
    Iso8601::formatInto(date, s.timestamp, day);
    out = put(out, std::string_view(date, sizeof date));
    *out++ = '"';
    if (s.titleChurnPerHour) {
        out = put(out, R"(,"titleChurnPerHour":)");
        out = put(out, texts.churn);
    }
    *out++ = '}';
    return out;
}

// Pieces of the document, handed on whenever one is full.
class PieceWriter {
public:
    explicit PieceWriter(const std::function<bool(std::string_view)>& sink)
        : sink_(sink), buffer_(std::make_unique<char[]>(kPieceBytes + kLongestSample)), end_(buffer_.get()) {}

    // Room for one sample's object (or less) at the returned place; `advance` takes what was written.
    char* place() { return end_; }
    bool advance(char* to) {
        end_ = to;
        return static_cast<std::size_t>(end_ - buffer_.get()) < kPieceBytes || flush();
    }
    bool finish(char* to) {
        end_ = to;
        return flush();
    }

private:
    bool flush() {
        const bool taken = sink_(std::string_view(buffer_.get(), static_cast<std::size_t>(end_ - buffer_.get())));
        end_ = buffer_.get();
        return taken;
    }

    static constexpr std::size_t kPieceBytes = 64 * 1024;
    const std::function<bool(std::string_view)>& sink_;
    std::unique_ptr<char[]> buffer_;
    char* end_;
};

}  // namespace

std::optional<std::vector<SignalSample>> decode(std::string_view text) {
    // A parser takes a NUL byte for the end of its input: what follows one is never read.
    if (const void* nul = std::memchr(text.data(), '\0', text.size()))
        text = text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));
    if (!JsonLines::isValidUtf8(text)) return std::nullopt;
    JsonScanner s(text);
    s.byteOrderMark();
    s.ws();
    if (s.atEnd() || s.peek() != '[') return std::nullopt;

    std::vector<SignalSample> samples;
    // Every sample opens one brace: room for all of them at once, and no regrowth.
    samples.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '{')));
    std::array<Member, keyCount> members;
    if (!s.array([&] {
            if (s.peek() != '{') return false;
            for (Member& m : members)
                m.kind = Member::Kind::absent;
            const bool read = s.object([&](std::string_view key) {
                const auto found = std::find(kKeys.begin(), kKeys.end(), key);
                return found == kKeys.end() ? s.skipValue() : readMember(s, members[found - kKeys.begin()]);
            });
            if (!read) return false;
            auto sample = sampleOf(members);
            if (!sample) return false;
            samples.push_back(*sample);
            return true;
        })) {
        return std::nullopt;
    }
    s.ws();
    if (!s.atEnd()) return std::nullopt;
    return samples;
}

bool encodable(const SignalSample& sample) {
    return std::isfinite(sample.continuousActiveSeconds) && std::isfinite(sample.secondsSinceLastInput) &&
           std::isfinite(sample.localHour) && (!sample.titleChurnPerHour || std::isfinite(*sample.titleChurnPerHour));
}

bool appendSample(std::string& out, const SignalSample& sample) {
    if (!encodable(sample)) return false;
    char active[kNumberChars], input[kNumberChars], churn[kNumberChars];
    CostlyTexts texts{{active, numberText(active, sample.continuousActiveSeconds)},
                      {input, numberText(input, sample.secondsSinceLastInput)},
                      {}};
    if (sample.titleChurnPerHour) texts.churn = {churn, numberText(churn, *sample.titleChurnPerHour)};
    char text[kLongestSample];
    Iso8601::LastDay day;
    out.append(text, writeSample(text, sample, texts, day));
    return true;
}

void NumberTexts::push(const SignalSample& sample) {
    ++count_;
    const std::size_t head = texts_.size();
    texts_ += '\0';
    if (!encodable(sample)) return;
    auto keep = [this](double value) {
        char number[kNumberChars];
        const std::size_t size = numberText(number, value);
        texts_ += static_cast<char>(size);
        texts_.append(number, size);
    };
    keep(sample.continuousActiveSeconds);
    keep(sample.secondsSinceLastInput);
    if (sample.titleChurnPerHour) keep(*sample.titleChurnPerHour);
    texts_[head] = static_cast<char>(sample.titleChurnPerHour ? 3 : 2);
}

void NumberTexts::dropFront(std::size_t count) {
    count = std::min(count, count_);
    std::size_t end = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int texts = texts_[end++];
        for (int k = 0; k < texts; ++k)
            end += 1 + static_cast<unsigned char>(texts_[end]);
    }
    texts_.erase(0, end);
    count_ -= count;
}

void NumberTexts::clear() {
    texts_.clear();
    count_ = 0;
}

bool NumberTexts::encode(const std::vector<SignalSample>& samples,
                         const std::function<bool(std::string_view)>& sink) const {
    if (samples.size() != count_) return false;
    PieceWriter writer(sink);
    const char* next = texts_.data();
    auto text = [&next] {
        const auto size = static_cast<unsigned char>(*next);
        const std::string_view number(next + 1, size);
        next += 1 + size;
        return number;
    };
    Iso8601::LastDay day;
    char* out = writer.place();
    *out++ = '[';
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const SignalSample& sample = samples[i];
        if (*next++ == 0) return false;  // not encodable
        const std::string_view active = text();
        const std::string_view input = text();
        const CostlyTexts texts{active, input, sample.titleChurnPerHour ? text() : std::string_view()};
        if (i > 0) *out++ = ',';
        if (!writer.advance(writeSample(out, sample, texts, day))) return false;
        out = writer.place();
    }
    *out++ = ']';
    return writer.finish(out);
}

}  // namespace quillfen::SignalLogText
