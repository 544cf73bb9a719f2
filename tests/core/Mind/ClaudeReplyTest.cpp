#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Mind/ClaudeReply.h"

namespace quillfen {
namespace {

using ClaudeReply::parseDecision;
using ClaudeReply::parseReflectionLine;

std::string envelope(const std::string& result, const std::string& extra = "") {
    nlohmann::json j = {{"type", "result"}, {"result", result}};
    if (!extra.empty()) j["is_error"] = nlohmann::json::parse(extra);
    return j.dump();
}

TEST(ClaudeReply, ReadsDecisionsForgivingly) {
    struct Case {
        std::string output;
        MindResult<MindDecision> expected;
    };
    const Case cases[] = {
        {envelope("Sure. {\"decision\": \"STAY SILENT\", \"why\": \"calm week\"} Hope that helps."),
         MindDecision::staySilent("calm week")},
        {envelope(R"({"decision":"nudge them","line":"Step outside.","why":"w"})"),
         MindDecision::oneNudge("Step outside.", "w")},
        {envelope(R"({"decision":"not silent, nudge","line":"x"})"), MindDecision::staySilent("")},
        {envelope(R"({"decision":"one-nudge","line":null,"why":"w"})"),
         MindDecision::staySilent("one-nudge returned no line")},
        {envelope(R"({"decision":"one-nudge","line":"","why":"w"})"),
         MindDecision::staySilent("one-nudge returned no line")},
        {envelope(R"({"decision":"one-nudge","line":"  kept as written  ","reasoning":"r","why":"w"})"),
         MindDecision::oneNudge("  kept as written  ", "r")},
        {envelope(R"({"decision":"stay-silent","reasoning":3,"why":"w"})"), MindDecision::staySilent("w")},
        {envelope(R"({"decision":"one-nudge","line":"a } and \" stay {inside}","why":"w"})"),
         MindDecision::oneNudge("a } and \" stay {inside}", "w")},
        {envelope(R"({"decision":"stay-silent"})", "\"true\""), MindDecision::staySilent("")},
        {envelope(R"({"decision":"stay-silent"})", "false"), MindDecision::staySilent("")},
        {R"(no envelope {"decision":"surface","line":"Go."})", MindDecision::oneNudge("Go.", "")},
        {envelope(R"({"decision":"Maybe Later"})"), MindError::unparseable("unknown decision: Maybe Later")},
        {"plain words only", MindError::unparseable("plain words only")},
        {R"({"type":"result","decision_missing":true})",
         MindError::unparseable(R"({"type":"result","decision_missing":true})")},
        {envelope(R"({"decision": 1})"), MindError::unparseable(R"({"decision": 1})")},
        {envelope("{\"decision\": \"stay-silent\"", ""),
         MindError::unparseable("{\"decision\": \"stay-silent\"")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseDecision(c.output), c.expected) << c.output;
}

TEST(ClaudeReply, AnErrorEnvelopeIsATransportFailureCutTo120Characters) {
    const std::string result(500, 'r');
    EXPECT_EQ(parseDecision(envelope(result, "true")),
              (MindResult<MindDecision>(MindError::transport("claude: " + std::string(120, 'r')))));
    EXPECT_EQ(parseReflectionLine(envelope("short", "true")),
              (MindResult<std::string>(MindError::transport("claude: short"))));
    const std::string prose(250, 'p');
    EXPECT_EQ(parseDecision(prose),
              (MindResult<MindDecision>(MindError::unparseable(std::string(200, 'p')))));
}

TEST(ClaudeReply, ReflectionLinesAreTrimmedAndMustHoldText) {
    EXPECT_EQ(parseReflectionLine(envelope(R"(Here: {"line": "  Three long afternoons.  "})")),
              MindResult<std::string>(std::string("Three long afternoons.")));
    EXPECT_EQ(parseReflectionLine(envelope(R"({"line": " \n "})")),
              MindResult<std::string>(MindError::unparseable(R"({"line": " \n "})")));
    EXPECT_EQ(parseReflectionLine(envelope(R"({"text": "x"})")),
              MindResult<std::string>(MindError::unparseable(R"({"text": "x"})")));
}

TEST(ClaudeReply, FindsTheFirstBalancedObject) {
    EXPECT_EQ(ClaudeReply::firstJSONObject(R"(a {"b": {"c": "}"}} {"d": 1})"), R"({"b": {"c": "}"}})");
    EXPECT_EQ(ClaudeReply::firstJSONObject(R"(x {"e": "\\"} y)"), R"({"e": "\\"})");
    EXPECT_FALSE(ClaudeReply::firstJSONObject("no braces"));
    EXPECT_FALSE(ClaudeReply::firstJSONObject(R"({"open": {)"));
    EXPECT_EQ(ClaudeReply::normalize("  One Nudge \n"), "one-nudge");
    EXPECT_EQ(ClaudeReply::normalize(" Wait "), "wait");
}

}  // namespace
}  // namespace quillfen
