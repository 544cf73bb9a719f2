#include <gtest/gtest.h>

#include <chrono>

#include "platform/AudioDevices.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

TEST(AudioDevicesLinux, WithoutASoundServerNothingIsRunning) {
    test::TempDir dir;
    test::ScopedEnv server("PULSE_SERVER", "unix:" + (dir.path() / "no-server").string());
    auto devices = makeAudioDevices();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(devices->isDefaultDeviceRunning(AudioDevice::defaultInput));
    EXPECT_FALSE(devices->isDefaultDeviceRunning(AudioDevice::defaultOutput));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace quillfen
