#include "Signals/AgentLogFiles.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

TEST(AgentLogFiles, ReplacesEachMaximalInvalidSubpartWithOneReplacementCharacter) {
    const std::string r = "\xEF\xBF\xBD";
    const std::vector<std::pair<std::string, std::string>> table = {
        {"plain ascii", "plain ascii"},
        {"h\xC3\xA9llo \xF0\x9F\x98\x80", "h\xC3\xA9llo \xF0\x9F\x98\x80"},
        {"a\xFF"
         "b",
         "a" + r + "b"},
        {"\xE2\x82"
         "x",
         r + "x"},                            // a cut three-byte sequence is one subpart
        {"\xE2\x28\xA1", r + "(" + r},        // the ASCII byte is kept
        {"\xED\xA0\x80", r + r + r},          // an encoded surrogate is not a prefix of anything valid
        {"\xC0\xAF", r + r},                  // overlong
        {"\xF4\x90\x80\x80", r + r + r + r},  // beyond U+10FFFF
        {"end\xF0\x9F\x98", "end" + r},
    };
    for (const auto& [in, out] : table) {
        SCOPED_TRACE(in);
        EXPECT_EQ(AgentLogFiles::lossyUtf8(in), out);
        EXPECT_EQ(AgentLogFiles::isValidUtf8(in), in == out);
        EXPECT_TRUE(AgentLogFiles::isValidUtf8(out));
    }
}

TEST(AgentLogFiles, ReadsOnlyRegularFilesAndNeverBlocksOnAPipe) {
    test::TempDir dir;
    test::writeFile(dir.path() / "log.jsonl", "0123456789");
    ASSERT_EQ(::mkfifo((dir.path() / "pipe.jsonl").c_str(), 0600), 0);
    EXPECT_EQ(AgentLogFiles::readWhole(dir.path() / "log.jsonl"), "0123456789");
    EXPECT_EQ(AgentLogFiles::readFrom(dir.path() / "log.jsonl", 7), "789");
    EXPECT_EQ(AgentLogFiles::readFrom(dir.path() / "log.jsonl", 70), "");
    EXPECT_EQ(AgentLogFiles::readWhole(dir.path() / "pipe.jsonl"), std::nullopt);
    EXPECT_EQ(AgentLogFiles::readFrom(dir.path() / "pipe.jsonl", 0), "");
    EXPECT_EQ(AgentLogFiles::readWhole(dir.path()), std::nullopt);
    EXPECT_EQ(AgentLogFiles::readWhole(dir.path() / "missing"), std::nullopt);
    int lines = 0;
    EXPECT_FALSE(
        AgentLogFiles::forEachLineOfFile(dir.path() / "pipe.jsonl", [&](std::string_view) { ++lines; }));
    EXPECT_EQ(lines, 0);
}

TEST(AgentLogFiles, PassesOverALineTooLongToHold) {
    test::TempDir dir;
    const auto file = dir.path() / "log.jsonl";
    const std::string overlong(AgentLogFiles::kLongestLineBytes + 3 * 1024 * 1024, 'x');
    for (const std::string& text : {"a\n" + overlong + "\nb\n" + overlong, "a\n" + overlong + "\n\nb\n"}) {
        test::writeFile(file, text);
        std::vector<std::string> lines;
        EXPECT_TRUE(
            AgentLogFiles::forEachLineOfFile(file, [&](std::string_view line) { lines.emplace_back(line); }));
        EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
    }
}

TEST(AgentLogFiles, SplitsAtLineFeedsDroppingEmptyPieces) {
    std::vector<std::string> pieces;
    AgentLogFiles::forEachLine("\n\na\r\n\nbc\nd", [&](std::string_view p) { pieces.emplace_back(p); });
    EXPECT_EQ(pieces, (std::vector<std::string>{"a\r", "bc", "d"}));
}

}  // namespace
}  // namespace quillfen
