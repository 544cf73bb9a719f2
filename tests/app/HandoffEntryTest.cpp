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

TEST(HandoffEntry, EachAddressIsOneLineAndAStoneThatCouldNotBeSavedIsNotCalledKept) {
    const std::string flint = "tavryn-stone://keep?material=flint&seed=73ce";
    auto file = std::make_shared<StoneFile>();
    std::vector<std::string> lines;
    HandoffEntry entry(std::make_shared<StoneIdentityStore>(file),
                       [&](std::string_view, std::string_view detail, TimePoint) { lines.emplace_back(detail); },
                       test::FixedClock(test::at("2026-01-05T14:00:00Z")));
    const std::pair<std::string, bool> steps[] = {
        {"tavryn-stone://keep?material=quartz&seed=a119&issued=" + std::to_string(1767621600 - 86401), false},
        {flint, true},   // the disk is full
        {flint, true},   // the same address again keeps it after all
        {flint, false},  // and then finds it kept
    };
    for (const auto& [url, redraw] : steps) {
        file->broken = lines.size() == 1;
        EXPECT_EQ(entry.open(url), redraw) << lines.size();
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"handoff ignored: expired",
                                               "handoff of flint-73ce not kept: the stone could not be saved",
                                               "kept flint-73ce from the web handoff",
                                               "handoff matched the stone already kept"}));
    EXPECT_EQ(StoneIdentityStore(file).current()->stoneId(), "flint-73ce");
}

}  // namespace
}  // namespace quillfen
