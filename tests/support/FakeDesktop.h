#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "platform/ApplicationActivations.h"
#include "platform/AudioDevices.h"
#include "platform/IdleTime.h"
#include "platform/PowerSources.h"
#include "platform/SessionEvents.h"

namespace quillfen::test {

// Test doubles of the desktop facilities the sensing read uses; the test plays the desktop.

class FakeIdleTime final : public IdleTime {
public:
    std::optional<double> seconds = 0;
    std::optional<double> secondsSinceLastInput() override { return seconds; }
};

class FakeApplicationActivations final : public ApplicationActivations {
public:
    Subscription subscribe(std::function<void()> onActivation) override {
        return listeners_.add(std::move(onActivation));
    }
    Gap gap() const override { return unseen; }
    Subscription subscribeToGap(std::function<void()> onChange) override {
        return gapListeners_.add(std::move(onChange));
    }
    void activate() { listeners_.notify(); }
    bool hasListeners() const { return !listeners_.empty(); }
    // What the desktop shows changes.
    void gapChanges(Gap gap) {
        unseen = std::move(gap);
        gapListeners_.notify();
    }
    // What the test has the desktop not show.
    Gap unseen;

private:
    ListenerList<> listeners_;
    ListenerList<> gapListeners_;
};

class FakeSessionEvents final : public SessionEvents {
public:
    Subscription subscribe(SessionEventHandlers handlers) override {
        return listeners_.add(std::move(handlers));
    }
    void screensAsleep(bool asleep) { listeners_.screensAsleep(asleep); }
    void sessionLocked(bool locked) { listeners_.sessionLocked(locked); }
    void wake() { listeners_.wokeFromSleep(); }

private:
    SessionEventListeners listeners_;
};

class FakeAudioDevices final : public AudioDevices {
public:
    bool inputRunning = false;
    bool outputRunning = false;
    bool isDefaultDeviceRunning(AudioDevice device) override {
        return device == AudioDevice::defaultInput ? inputRunning : outputRunning;
    }
};

class FakePowerSources final : public PowerSources {
public:
    std::vector<PowerSourceDescription> descriptions;
    std::vector<PowerSourceDescription> sources() override { return descriptions; }
};

}  // namespace quillfen::test
