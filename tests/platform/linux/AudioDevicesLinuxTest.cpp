#include <gtest/gtest.h>

#include <chrono>

#include "platform/AudioDevices.h"
#include "support/ChildProcess.h"
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

TEST(AudioDevicesLinux, TellsWhenTheDefaultDevicesAreInUse) {
    test::SoundServer server;
    test::ScopedEnv address("PULSE_SERVER", server.address());
    auto devices = makeAudioDevices();
    auto running = [&](AudioDevice device) { return devices->isDefaultDeviceRunning(device); };
    EXPECT_FALSE(running(AudioDevice::defaultOutput));
    EXPECT_FALSE(running(AudioDevice::defaultInput));

    {
        test::ChildProcess playing({"pacat", "--raw", "--playback", "/dev/zero"});
        EXPECT_TRUE(test::waitUntil([&] { return running(AudioDevice::defaultOutput); }));
    }
    EXPECT_TRUE(test::waitUntil([&] { return !running(AudioDevice::defaultOutput); }));

    // The default source here is the sink's monitor: recording from it is the microphone in use.
    test::ChildProcess recording({"pacat", "--raw", "--record", "/dev/null"});
    EXPECT_TRUE(test::waitUntil([&] { return running(AudioDevice::defaultInput); }));
}

}  // namespace
}  // namespace quillfen
