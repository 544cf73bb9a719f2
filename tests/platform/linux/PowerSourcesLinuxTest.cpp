#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/PowerSources.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::TempDir;
using test::writeFile;

// An attribute without a value is a pipe.
void supply(const std::filesystem::path& root, const std::string& name,
            std::initializer_list<std::pair<const char*, const char*>> attributes) {
    for (const auto& [attribute, value] : attributes) {
        if (value) {
            writeFile(root / name / attribute, std::string(value) + "\n");
        } else {
            std::filesystem::create_directories(root / name);
            ASSERT_EQ(::mkfifo((root / name / attribute).c_str(), 0600), 0);
        }
    }
}

TEST(PowerSourcesLinux, MapsTheMachinesBatteriesInNameOrder) {
    TempDir root;
    supply(root.path(), "AC", {{"type", "Mains"}, {"online", "0"}});
    supply(root.path(), "BAT1",
           {{"type", "Battery"},
            {"status", "Charging"},
            {"energy_now", "30000000"},
            {"energy_full", "40000000"}});
    supply(root.path(), "BAT0", {{"type", "Battery"}, {"status", "Discharging"}, {"capacity", "55"}});
    supply(root.path(), "hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "5"}});

    auto sources = makePowerSources(root.path())->sources();
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[0], (PowerSourceDescription{"Battery Power", 55, 100}));
    EXPECT_EQ(sources[1], (PowerSourceDescription{"AC Power", 30000000, 40000000}));
}

TEST(PowerSourcesLinux, LeavesOutWhatIsNotAWholeNumber) {
    struct Case {
        std::initializer_list<std::pair<const char*, const char*>> attributes;
        PowerSourceDescription expected;
    };
    const Case cases[] = {
        {{{"type", "Battery"}, {"status", "Full"}, {"charge_now", "4000"}, {"charge_full", "5000"}},
         {"AC Power", 4000, 5000}},
        {{{"type", "Battery"}, {"status", "Not charging"}, {"capacity", "fifty"}}, {"AC Power", {}, {}}},
        {{{"type", "Battery"}, {"status", "Discharging"}, {"energy_now", "100"}}, {"Battery Power", {}, {}}},
        {{{"type", "Battery"}, {"capacity", "80"}}, {"AC Power", 80, 100}},
        {{{"type", "Battery"}, {"status", "Discharging"}, {"capacity", nullptr}}, {"Battery Power", {}, {}}},
    };
    for (const auto& c : cases) {
        TempDir root;
        supply(root.path(), "BAT0", c.attributes);
        auto sources = makePowerSources(root.path())->sources();
        ASSERT_EQ(sources.size(), 1u);
        EXPECT_EQ(sources[0], c.expected);
    }
}

TEST(PowerSourcesLinux, NoBatteryOrNoFolderGivesNone) {
    TempDir root;
    supply(root.path(), "AC", {{"type", "Mains"}, {"online", "1"}});
    EXPECT_TRUE(makePowerSources(root.path())->sources().empty());
    EXPECT_TRUE(makePowerSources(root.path() / "missing")->sources().empty());
}

}  // namespace
}  // namespace quillfen
