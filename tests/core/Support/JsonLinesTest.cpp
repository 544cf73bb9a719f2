#include "Support/JsonLines.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::TempDir;
using test::writeFile;

std::vector<std::string> values(std::string_view text) {
    std::vector<std::string> out;
    JsonLines::forEachValue(text, [&](const nlohmann::json& v) { out.push_back(v.dump()); });
    return out;
}

TEST(JsonLines, TailStartsAtTheFirstWholeLineWithinTheLimit) {
    TempDir dir;
    const auto path = dir.path() / "journal.jsonl";
    writeFile(path, "aaaa\nbbbb\ncccc\n");  // lines start at bytes 0, 5 and 10

    struct Case {
        std::size_t maxBytes;
        std::string tail;
    };
    for (const Case& c :
         {Case{100, "aaaa\nbbbb\ncccc\n"}, Case{15, "aaaa\nbbbb\ncccc\n"}, Case{14, "bbbb\ncccc\n"},
          Case{10, "bbbb\ncccc\n"}, Case{7, "cccc\n"}, Case{5, "cccc\n"}, Case{4, ""}, Case{0, ""}}) {
        EXPECT_EQ(JsonLines::readTail(path, c.maxBytes), c.tail) << "limit " << c.maxBytes;
    }
}

TEST(JsonLines, TailIsNothingForWhatIsNotAReadableTextFile) {
    TempDir dir;
    EXPECT_EQ(JsonLines::readTail(dir.path() / "missing.jsonl", 1024), std::nullopt);
    EXPECT_EQ(JsonLines::readTail(dir.path(), 1024), std::nullopt);

    // Opening a pipe for reading would wait for a writer that never comes.
    const auto fifo = dir.path() / "pipe.jsonl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(JsonLines::readTail(fifo, 1024), std::nullopt);

    const auto bad = dir.path() / "bad.jsonl";
    writeFile(bad, "{\"ts\":\"2026-01-05T10:00:00Z\"}\n\xff\n");
    EXPECT_EQ(JsonLines::readTail(bad, 1024), std::nullopt);
    // Bytes before the tail are never looked at.
    writeFile(bad, "\xff\n{}\n");
    EXPECT_EQ(JsonLines::readTail(bad, 3), "{}\n");
}

TEST(JsonLines, AJournalIsReadThroughTheUsersOwnLinkOnly) {
    // The prompt hook's, the browser companion's and the breather's journals sit in the family
    // folder beside ours: another user's link there feeds nothing in.
    for (const bool theirs : {false, true}) {
        SCOPED_TRACE(theirs ? "another user's link" : "the user's own link");
        TempDir dir;
        const auto kept = dir.path() / "kept.jsonl";
        writeFile(kept, "{\"ts\":\"2026-01-05T10:00:00Z\"}\n");
        const auto journal = dir.path() / "journal.jsonl";
        std::filesystem::create_symlink(kept, journal);
        if (theirs && !test::giveToAnotherUser(journal)) GTEST_SKIP() << "only root can give a link to another user";
        EXPECT_EQ(JsonLines::readTail(journal, 1024),
                  theirs ? std::nullopt : std::optional<std::string>("{\"ts\":\"2026-01-05T10:00:00Z\"}\n"));
    }
}

TEST(JsonLines, Utf8MustBeStrict) {
    struct Case {
        std::string bytes;
        bool valid;
    };
    for (const Case& c : {
             Case{"", true},
             Case{"plain ascii", true},
             Case{"\xc3\xa9\xe3\x80\x80\xf0\x9f\x98\x80", true},  // é, ideographic space, emoji
             Case{"\xf4\x8f\xbf\xbf", true},                      // U+10FFFF
             Case{"\x80", false},                                 // lone continuation
             Case{"\xc0\x80", false},                             // overlong NUL
             Case{"\xe0\x80\xaf", false},                         // overlong slash
             Case{"\xed\xa0\x80", false},                         // surrogate
             Case{"\xf4\x90\x80\x80", false},                     // above U+10FFFF
             Case{"\xf5\x80\x80\x80", false},
             Case{"ok\xe3\x80", false},  // cut short at the end
             Case{"\xc3(", false},
         }) {
        EXPECT_EQ(JsonLines::isValidUtf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
    }
}

TEST(JsonLines, EachLineIsOneValueOrSkipped) {
    auto got = values(
        "{\"a\":1}\n"
        "\n"
        "   \t \n"
        "\t {\"a\":2} \xc2\xa0\xe3\x80\x80\n"  // tabs, spaces and Unicode space separators trimmed
        "{\"a\":3}\r\n"                        // a carriage return is JSON white space
        "{\"a\":\n"                            // cut short
        "4}\n"
        "{\"a\":5} trailing\n"
        "\xe2\x80\xa8{\"a\":6}\n"  // a line separator is a line break, not a space: kept, and fails
        "[7]\n"
        "{\"a\":8}");
    EXPECT_EQ(got, (std::vector<std::string>{"{\"a\":1}", "{\"a\":2}", "{\"a\":3}", "[7]", "{\"a\":8}"}));
}

TEST(JsonLines, OversizedAndPathologicalLinesCostNoMoreThanASkip) {
    const std::string padding(JsonLines::kMaxLineBytes, ' ');
    const std::string atLimit = "{\"a\":\"" + std::string(JsonLines::kMaxLineBytes - 8, 'x') + "\"}";
    ASSERT_EQ(atLimit.size(), JsonLines::kMaxLineBytes);
    EXPECT_EQ(values(atLimit + "\n").size(), 1u);
    EXPECT_EQ(values("{\"a\":1}" + padding + "\n{\"a\":2}\n"), std::vector<std::string>{"{\"a\":2}"});

    auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    EXPECT_EQ(values(nested(JsonLines::kMaxDepth)).size(), 1u);
    EXPECT_TRUE(values(nested(JsonLines::kMaxDepth + 1)).empty());
    EXPECT_TRUE(values(nested(static_cast<int>(JsonLines::kMaxLineBytes / 2))).empty());
    // Brackets inside strings, escaped quotes among them, are not nesting.
    const std::string quoted = "\\\"" + std::string(100, '[');
    EXPECT_EQ(values("{\"a\":\"" + quoted + "\"}").size(), 1u);
    EXPECT_TRUE(values(std::string(JsonLines::kMaxLineBytes, '{')).empty());
    EXPECT_TRUE(values(std::string("{\"a\":\"\0\"}\n", 11)).empty());
}

// The direct reading must take and refuse exactly the lines that the full parser does, and find
// the same string members, on the lines where a shortcut would most likely part from it.
TEST(JsonLines, ObjectsAreReadDirectlyExactlyAsTheParserReadsThem) {
    using namespace std::string_literals;
    static constexpr std::string_view kKeys[] = {"ts", "event"};
    using Members = std::vector<std::optional<std::string>>;
    const std::string lines[] = {
        R"({"ts":"2026-01-05T10:00:00Z","event":"idle"})",
        R"(  {"event":"idle" , "ts" : "x"}  )",
        "\xEF\xBB\xBF{\"ts\":\"bom\"}",
        "\xEF\xBB{\"ts\":\"half a bom\"}",
        "{\"ts\":\"a\"}\0trailing bytes \xFF after a NUL"s,
        "{\"ts\":\"a\0b\"}"s,
        "{\"ts\":1\0}"s,
        R"({"ts":"first","ts":"second","event":7,"event":"last"})",
        R"({"ts":"string","ts":null})",
        R"({"t\u0073":"escaped key","event":"tab\u005fswitch\n\"q\""})",
        R"({"ts":"\ud83d\ude00 pair"} )",
        R"({"ts":"\udc00 lone low"})",
        R"({"ts":"\ud800 lone high"})",
        "{\"ts\":\"invalid \xC3\x28 UTF-8\"}",
        R"({"nested":{"ts":"inner"},"list":[1,-0.5e+3,true,false,null,{"a":[]}]})",
        R"({"big":1e999})",
        R"({"big":123456789012345678901234567890})",
        R"({"bad":01})",
        R"({"ts":"x"} {"ts":"y"})",
        R"({"ts":"x",})",
        R"(["ts","array"])",
        R"("ts")",
        "{\"ts\":\"tab\tinside\"}",
        "\t{\"ts\":\"crlf\"}\r",
        std::string(70, '[') + std::string(70, ']'),
        "{\"deep\":" + std::string(63, '[') + std::string(63, ']') + ",\"ts\":\"63 deep\"}",
    };
    for (const std::string& line : lines) {
        Members expected;
        JsonLines::forEachValue(line, [&](const nlohmann::json& value) {
            if (!value.is_object()) return;
            for (std::string_view key : kKeys) {
                auto it = value.find(std::string(key));
                expected.push_back(it != value.end() && it->is_string() ? std::optional(it->get<std::string>())
                                                                      : std::nullopt);
            }
        });
        Members found;
        JsonLines::forEachObject(line, kKeys, [&](JsonLines::StringMembers members) {
            for (const auto& member : members)
                found.push_back(member ? std::optional<std::string>(*member) : std::nullopt);
        });
        EXPECT_EQ(found, expected) << line;
    }
}

}  // namespace
}  // namespace quillfen
