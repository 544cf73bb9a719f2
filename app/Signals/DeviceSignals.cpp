#include "Signals/DeviceSignals.h"

namespace quillfen::DeviceReader {

bool isDefaultDeviceRunning(AudioDevices& devices, AudioDevice device) {
    return devices.isDefaultDeviceRunning(device);
}

std::optional<BatteryReading> battery(PowerSources& sources) {
    return batteryFrom(sources.sources());
}

DeviceSignals read(AudioDevices& devices, PowerSources& sources) {
    DeviceSignals dev;
    dev.micInUse = isDefaultDeviceRunning(devices, AudioDevice::defaultInput);
    dev.audioPlaying = isDefaultDeviceRunning(devices, AudioDevice::defaultOutput);
    if (const auto reading = battery(sources)) {
        dev.onBattery = reading->onBattery;
        dev.batteryPercent = reading->percent;
    }
    return dev;
}

std::optional<BatteryReading> batteryFrom(const std::vector<PowerSourceDescription>& sources) {
    if (sources.empty()) return std::nullopt;
    const auto& first = sources.front();
    BatteryReading reading;
    reading.onBattery = first.powerSourceState == kBatteryPowerState;
    if (first.currentCapacity) {
        std::int64_t current = *first.currentCapacity;
        if (first.maxCapacity && *first.maxCapacity >= 1) {
            reading.percent = current * 100 / *first.maxCapacity;
        } else {
            reading.percent = current;
        }
    }
    return reading;
}

}  // namespace quillfen::DeviceReader
