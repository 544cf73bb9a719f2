#include "Signals/DeviceSignals.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "support/FakeDesktop.h"

namespace quillfen {
namespace {

struct BatteryCase {
    const char* name;
    std::vector<PowerSourceDescription> sources;
    std::optional<BatteryReading> expected;
};

void PrintTo(const BatteryCase& c, std::ostream* os) {
    *os << c.name;
}

class BatteryRule : public ::testing::TestWithParam<BatteryCase> {};

TEST_P(BatteryRule, ReadsTheFirstSource) {
    const auto& c = GetParam();
    test::FakePowerSources sources;
    sources.descriptions = c.sources;
    EXPECT_EQ(DeviceReader::battery(sources), c.expected) << c.name;
}

PowerSourceDescription source(std::optional<std::string> state, std::optional<std::int64_t> current,
                              std::optional<std::int64_t> max) {
    return {std::move(state), current, max};
}

INSTANTIATE_TEST_SUITE_P(
    Table, BatteryRule,
    ::testing::Values(
        BatteryCase{"no source", {}, std::nullopt},
        BatteryCase{"on battery, percent of the maximum",
                    {source("Battery Power", 55, 100)},
                    BatteryReading{true, 55}},
        BatteryCase{"on mains", {source("AC Power", 80, 100)}, BatteryReading{false, 80}},
        BatteryCase{"no maximum keeps the current capacity",
                    {source("Battery Power", 55, std::nullopt)},
                    BatteryReading{true, 55}},
        BatteryCase{"a zero maximum keeps the current capacity",
                    {source("AC Power", 55, 0)},
                    BatteryReading{false, 55}},
        BatteryCase{"division rounds down", {source("Battery Power", 2, 3)}, BatteryReading{true, 66}},
        BatteryCase{"energy in microwatt hours",
                    {source("Battery Power", 41'000'000, 50'000'000)},
                    BatteryReading{true, 82}},
        BatteryCase{"no current capacity still tells the state",
                    {source("Battery Power", std::nullopt, 100)},
                    BatteryReading{true, std::nullopt}},
        BatteryCase{"no state is not battery", {source(std::nullopt, 10, 100)}, BatteryReading{false, 10}},
        BatteryCase{"only the first source counts",
                    {source("AC Power", 90, 100), source("Battery Power", 10, 100)},
                    BatteryReading{false, 90}}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (auto& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        }
        return name;
    });

TEST(DeviceReader, AsksForTheDefaultDevice) {
    test::FakeAudioDevices devices;
    devices.inputRunning = true;
    EXPECT_TRUE(DeviceReader::isDefaultDeviceRunning(devices, AudioDevice::defaultInput));
    EXPECT_FALSE(DeviceReader::isDefaultDeviceRunning(devices, AudioDevice::defaultOutput));
}

}  // namespace
}  // namespace quillfen
