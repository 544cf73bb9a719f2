#include "Log/SignalLogText.h"

#include <limits>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Support/JsonText.h"
#include "support/FixedClock.h"

namespace quillfen {
namespace {

using test::at;

// The reader the log had before: a whole document tree, each element through `sampleFromJson`.
std::optional<std::vector<SignalSample>> treeDecode(std::string_view text) {
    auto json = JsonText::decode(text);
    return json ? samplesFromJson(*json) : std::nullopt;
}

// The document as the encoder of single samples writes it.
std::string joined(const std::vector<SignalSample>& samples) {
    std::string text = "[";
    for (const SignalSample& s : samples) {
        if (text.size() > 1) text += ",";
        EXPECT_TRUE(SignalLogText::appendSample(text, s));
    }
    return text + "]";
}

std::string encoded(const SignalLogText::NumberTexts& texts, const std::vector<SignalSample>& samples) {
    std::string document;
    EXPECT_TRUE(texts.encode(samples, [&](std::string_view piece) { return document += piece, true; }));
    return document;
}

std::vector<SignalSample> oddSamples() {
    const double odd[] = {0.1, 1e-7, 1e21, 123456789012345678.0, -0.0, 5e-324, 1.7976931348623157e308, -2.5, 1e15};
    std::vector<SignalSample> samples;
    // Before 1970 and after, with fractions of seconds that are written away.
    TimePoint t = at("1969-12-31T23:59:59.900Z");
    for (std::size_t i = 0; i < std::size(odd); ++i) {
        SignalSample s;
        s.timestamp = t + std::chrono::seconds(i * 86399 * 1000);
        s.continuousActiveSeconds = odd[i];
        s.appSwitchesLastHour = i % 2 ? std::numeric_limits<std::int64_t>::min() : static_cast<std::int64_t>(i * 7);
        s.secondsSinceLastInput = odd[(i + 3) % std::size(odd)];
        // Whole minutes of the day come from a table, anything else is worked out.
        const double hours[] = {14 + 46 / 60.0, 13.999999, 23 + 59 / 60.0, 23.9999, -0.0, 24.0, 7.25, 0.0};
        s.localHour = hours[i % std::size(hours)];
        if (i % 3 == 1) s.titleChurnPerHour = odd[(i + 5) % std::size(odd)];
        if (i % 4 != 0) s.displayState = kAllDisplayStates[i % 3];
        samples.push_back(s);
    }
    return samples;
}

TEST(SignalLogText, WritesEverySampleByteForByteAsTheGeneralEncoderAndReadsItBack) {
    const std::vector<SignalSample> samples = oddSamples();
    SignalLogText::NumberTexts texts;
    std::vector<SignalSample> whole;
    for (const SignalSample& s : samples) {
        std::string one;
        ASSERT_TRUE(SignalLogText::appendSample(one, s));
        EXPECT_EQ(one, JsonText::encode(sampleToJson(s)));
        texts.push(s);
        whole.push_back(s);
        whole.back().timestamp = std::chrono::floor<std::chrono::seconds>(s.timestamp);
    }
    const std::string document = encoded(texts, samples);
    EXPECT_EQ(document, joined(samples));
    EXPECT_EQ(SignalLogText::decode(document), whole);

    // Dropping the oldest keeps the texts of the others in step with them.
    texts.dropFront(2);
    const std::vector<SignalSample> rest(samples.begin() + 2, samples.end());
    EXPECT_EQ(encoded(texts, rest), joined(rest));
}

TEST(SignalLogText, ANumberThatIsNotFiniteIsNeverWritten) {
    SignalSample s = oddSamples().front();
    s.titleChurnPerHour = std::numeric_limits<double>::infinity();
    std::string out;
    EXPECT_FALSE(SignalLogText::encodable(s));
    EXPECT_FALSE(SignalLogText::appendSample(out, s));
    EXPECT_TRUE(out.empty());
    SignalLogText::NumberTexts texts;
    texts.push(s);
    EXPECT_FALSE(texts.encode({s}, [](std::string_view) { return true; }));
}

TEST(SignalLogText, TakesAndRefusesDocumentsExactlyAsTheTreeReaderDoes) {
    const std::string one = R"("continuousActiveSeconds":60,"appSwitchesLastHour":4,"secondsSinceLastInput":1.5,)"
                            R"("localHour":9.25,"timestamp":"2026-01-15T11:00:00Z")";
    const std::string documents[] = {
        "[]",
        " \t\r\n[ ] \n",
        "\xEF\xBB\xBF[{" + one + "}]",
        "[{" + one + R"(,"displayState":null,"titleChurnPerHour":null}])",
        "[{" + one + R"(,"extra":{"deep":[[[[{"a":[true,false,null,"\u00e9"]}]]]]},"more":-1e-3}])",
        "[{" + one + R"(,"localHour":"nine","localHour":9}])",  // the last of a repeated key counts
        "[{" + one + R"(,"localHour":9,"localHour":"nine"}])",
        R"([{"timestamp":"\u0032026-01-15T11:00:00Z",)" + one.substr(0, one.find(",\"timestamp\"")) + "}]",
        "[{" + one + R"(,"appSwitchesLastHour":4.0}])",
        "[{" + one + R"(,"appSwitchesLastHour":4.5}])",
        "[{" + one + R"(,"appSwitchesLastHour":9223372036854775807}])",
        "[{" + one + R"(,"appSwitchesLastHour":9223372036854775808}])",
        "[{" + one + R"(,"appSwitchesLastHour":-9223372036854775809}])",
        "[{" + one + R"(,"appSwitchesLastHour":1e19}])",
        "[{" + one + R"(,"continuousActiveSeconds":-0,"secondsSinceLastInput":18446744073709551615}])",
        "[{" + one + R"(,"continuousActiveSeconds":1e400}])",
        "[{" + one + R"(,"continuousActiveSeconds":1e-400}])",
        "[{" + one + R"(,"continuousActiveSeconds":"60"}])",
        "[{" + one + R"(,"displayState":"asleep"}])",
        "[{" + one + R"(,"displayState":3}])",
        "[{" + one + R"(,"titleChurnPerHour":true}])",
        R"([{"timestamp":"2026-01-15T11:00:00.5Z",)" + one.substr(0, one.find(",\"timestamp\"")) + "}]",
        "[{" + one + "},{" + one.substr(0, one.find(",\"timestamp\"")) + "}]",
        "[{" + one + "},]",
        "[{" + one + "}] x",
        "[{" + one + std::string("}]\0 x", 5),
        std::string("[{\0", 3) + one + "}]",
        "[{" + one + R"(,"note":"caf\xC3"}])",
        "[{" + one + "}",
        "[1]",
        "{}",
        "",
        "[{" + one + R"(,"note":"\ud800"}])",
    };
    for (const std::string& text : documents) {
        EXPECT_EQ(SignalLogText::decode(text), treeDecode(text)) << text;
    }
}

}  // namespace
}  // namespace quillfen
