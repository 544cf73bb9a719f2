#include "HandoffEntry.h"

#include <gtest/gtest.h>

#include "support/FixedClock.h"

namespace quillfen {
namespace {

// The stone's file, in memory; its writes fail while `broken` holds.
class StoneFile final : public LogStore {
public:
    bool broken = false;
    std::optional<std::string> bytes;
    std::optional<std::string> read() const override { return bytes; }
    std::error_code write(std::string_view b) override {
        if (broken) return std::make_error_code(std::errc::no_space_on_device);
        bytes = std::string(b);
        return {};
    }
};

const std::string kFlint = "tavryn-stone://keep?material=flint&seed=73ce";
const std::string kQuartz = "tavryn-stone://keep?material=quartz&seed=a119";

TEST(HandoffEntry, EachAddressIsKeptOrRefusedWithItsOwnJournalLine) {
    const std::string expired = kQuartz + "&issued=" + std::to_string(1767621600 - 86401);
    const struct {
        std::string name;
        std::vector<std::string> urls;
        std::vector<std::string> lines;
        std::vector<bool> redraws;
        std::optional<std::string> kept;
    } cases[] = {
        {"the same address twice",
         {kFlint, kFlint},
         {"kept flint-73ce from the web handoff", "handoff matched the stone already kept"},
         {true, false},
         "flint-73ce"},
        {"another stone after one", {kFlint, kQuartz},
         {"kept flint-73ce from the web handoff", "kept quartz-a119 from the web handoff (was flint-73ce)"},
         {true, true}, "quartz-a119"},
        {"an old handoff, then not one of ours", {expired, "https://quillfen.org/keep?material=flint&seed=73ce"},
         {"handoff ignored: expired", "handoff ignored: notAHandoff"}, {false, false}, std::nullopt},
    };
    for (const auto& c : cases) {
        auto file = std::make_shared<StoneFile>();
        auto store = std::make_shared<StoneIdentityStore>(file);
        std::vector<std::string> lines;
        test::FixedClock clock(test::at("2026-01-05T14:00:00Z"));
        HandoffEntry entry(store, [&](std::string_view kind, std::string_view detail, TimePoint) {
            EXPECT_EQ(kind, "stone");
            lines.emplace_back(detail);
        }, clock);
        std::vector<bool> redraws;
        for (const auto& url : c.urls) redraws.push_back(entry.open(url));
        EXPECT_EQ(lines, c.lines) << c.name;
        EXPECT_EQ(redraws, c.redraws) << c.name;
        const auto onDisk = file->bytes ? StoneIdentity::strictDecode(*file->bytes) : std::nullopt;
        EXPECT_EQ(onDisk ? std::optional<std::string>(onDisk->stoneId()) : std::nullopt, c.kept) << c.name;
    }
}

TEST(HandoffEntry, AStoneThatCouldNotBeSavedIsNotCalledKeptAndTheSameAddressTriesAgain) {
    auto file = std::make_shared<StoneFile>();
    auto store = std::make_shared<StoneIdentityStore>(file);
    std::vector<std::string> lines;
    HandoffEntry entry(store, [&](std::string_view, std::string_view detail, TimePoint) { lines.emplace_back(detail); },
                       test::FixedClock(test::at("2026-01-05T14:00:00Z")));
    file->broken = true;
    EXPECT_TRUE(entry.open(kFlint)) << "the surfaces show what the store holds for this run";
    file->broken = false;
    EXPECT_TRUE(entry.open(kFlint));
    EXPECT_FALSE(entry.open(kFlint));
    EXPECT_EQ(lines, (std::vector<std::string>{"handoff of flint-73ce not kept: the stone could not be saved",
                                               "kept flint-73ce from the web handoff",
                                               "handoff matched the stone already kept"}));
    EXPECT_EQ(StoneIdentityStore(file).current()->stoneId(), "flint-73ce");
}

}  // namespace
}  // namespace quillfen
