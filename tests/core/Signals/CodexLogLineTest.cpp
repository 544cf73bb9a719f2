#include "Signals/CodexLogLine.h"

#include "Signals/AgentLogFiles.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace quillfen {
namespace {

// What a full JSON parser makes of the line: the reference the light reader must agree with.
std::optional<CodexLogLine> reference(std::string_view text) {
    nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    auto str = [](const nlohmann::json& o, const char* key) -> std::optional<std::string> {
        auto it = o.find(key);
        if (it == o.end() || !it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    CodexLogLine line;
    line.timestamp = str(j, "timestamp");
    line.type = str(j, "type");
    auto payload = j.find("payload");
    if (payload != j.end() && payload->is_object()) {
        line.payloadIsObject = true;
        line.payloadType = str(*payload, "type");
        line.cwd = str(*payload, "cwd");
        line.id = str(*payload, "id");
        line.role = str(*payload, "role");
        line.name = str(*payload, "name");
        line.callId = str(*payload, "call_id");
    }
    return line;
}

const std::vector<std::string> kLines = {
    R"({"timestamp":"2026-01-05T10:00:00.123Z","type":"session_meta","payload":{"id":"s-1","cwd":"/home/ana/code","git":{"branch":"main","dirty":false},"instructions":null}})",
    R"({"timestamp":"2026-01-05T10:01:00Z","type":"response_item","payload":{"type":"function_call","name":"shell","arguments":"{\"command\":[\"ls\",\"-la\"]}","call_id":"call_1"}})",
    R"(  { "type" : "response_item" , "payload" : { "type" : "message" , "role" : "user" , "content" : [ { "type" : "input_text" , "text" : "h\u00e9llo \ud83d\ude00 \"q\" \\ \/ \b\f\n\r\t" } ] } , "timestamp" : "2026-01-05T10:02:00Z" }  )",
    R"({"timestamp":"2026-01-05T10:03:00Z","type":"event_msg","payload":{"type":"token_count","info":{"total":12345678901234567890,"ratio":-0.5e-3,"big":1E+300,"zero":0,"list":[1,2.5,-3,true,false,null,[],{}]}}})",
    R"({"t\u0069mestamp":"2026-01-05T10:04:00Z","type":"event_msg","payload":{"type":"user_message","message":"ünïcödé ✓"}})",
    R"({"timestamp":"first","timestamp":"2026-01-05T10:05:00Z","type":1,"payload":{"type":"x"},"payload":{"name":"n","call_id":7}})",
    R"({"timestamp":"2026-01-05T10:06:00Z","type":"response_item","payload":"not an object"})",
    R"({"payload":{"type":"custom_tool_call_output","call_id":"c\u0000d","output":{"deep":[[[[{"a":[{}]}]]]]}}})",
    R"({})",
    "{\"timestamp\":\"2026-01-05T10:07:00Z\",\"type\":\"event_msg\",\"payload\":{\"type\":\"task_started\"}}"
    "\r",
};

TEST(CodexLogLine, ReadsTheFieldsAFullParserWouldRead) {
    for (const auto& text : kLines) {
        SCOPED_TRACE(text);
        auto expected = reference(text);
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(parseCodexLogLine(text), expected);
    }
}

TEST(CodexLogLine, AgreesWithAFullParserOnEveryTruncationAndSmallDamage) {
    // Every prefix of every line (a log cut mid-write) and every line with one byte replaced.
    const std::string replacements = "\"\\{}[],:0 a-.eE\x01";
    int checked = 0;
    for (const auto& text : kLines) {
        for (std::size_t cut = 0; cut < text.size(); ++cut) {
            std::string prefix = text.substr(0, cut);
            if (!AgentLogFiles::isValidUtf8(prefix)) continue;  // the reader repairs or drops these first
            ASSERT_EQ(parseCodexLogLine(prefix), reference(prefix)) << prefix;
            ++checked;
        }
        for (std::size_t i = 0; i < text.size(); ++i) {
            for (char r : replacements) {
                std::string damaged = text;
                damaged[i] = r;
                if (!AgentLogFiles::isValidUtf8(damaged)) continue;
                ASSERT_EQ(parseCodexLogLine(damaged), reference(damaged)) << damaged;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 10000);
}

TEST(CodexLogLine, RefusesWhatIsNotExactlyOneObject) {
    const std::vector<std::string> bad = {
        "",
        "   ",
        "[]",
        "\"text\"",
        "{} {}",
        "{\"a\":1,}",
        "{\"a\":01}",
        "{\"a\":1.}",
        "{\"a\":.5}",
        "{\"a\":+1}",
        "{\"a\":1e}",
        "{\"a\":1e999}",
        "{\"a\":\"\\ud800\"}",
        "{\"a\":\"\\udc00\\ud800\"}",
        "{\"a\":\"\\x41\"}",
        "{\"a\":\"tab\there\"}",
        "{\"a\":tru}",
        "{\"a\":NaN}",
        "{'a':1}",
        "{\"a\" 1}",
        "{\"a\":[1 2]}",
        "{\"a\":{\"b\"}}",
    };
    for (const auto& text : bad) {
        SCOPED_TRACE(text);
        EXPECT_EQ(reference(text), std::nullopt);
        EXPECT_EQ(parseCodexLogLine(text), std::nullopt);
    }
}

TEST(CodexLogLine, SurvivesNestingFarDeeperThanTheCallStackCouldHold) {
    std::string deep = R"({"timestamp":"2026-01-05T10:00:00Z","payload":{"type":"x","d":)";
    deep += std::string(200000, '[') + std::string(200000, ']') + "}}";
    auto line = parseCodexLogLine(deep);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->payloadType, "x");
    deep.pop_back();
    EXPECT_EQ(parseCodexLogLine(deep), std::nullopt);
}

}  // namespace
}  // namespace quillfen
