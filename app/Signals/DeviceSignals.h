#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/AudioDevices.h"
#include "platform/PowerSources.h"

namespace quillfen {

// The machine's first power source: whether it runs from the battery, and how full that is
// when the system says.
struct BatteryReading {
    bool onBattery = false;
    std::optional<std::int64_t> percent;
    bool operator==(const BatteryReading&) const = default;
};

// The devices as the body publication reads them, for the reasons the inspect window gives.
struct DeviceSignals {
    bool micInUse = false;
    bool audioPlaying = false;
    bool onBattery = false;
    std::optional<std::int64_t> batteryPercent;
    bool operator==(const DeviceSignals&) const = default;
};

namespace DeviceReader {

// The default input device running is a call in progress; the default output device
// running is audio playing.
bool isDefaultDeviceRunning(AudioDevices& devices, AudioDevice device);

// Nothing when the machine knows no power source.
std::optional<BatteryReading> battery(PowerSources& sources);
// The microphone, the speakers and the battery, each read once.
DeviceSignals read(AudioDevices& devices, PowerSources& sources);

// The rule over the sources' descriptions, first source only.
std::optional<BatteryReading> batteryFrom(const std::vector<PowerSourceDescription>& sources);

}  // namespace DeviceReader

}  // namespace quillfen
