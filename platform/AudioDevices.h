#pragma once

#include <memory>

namespace quillfen {

enum class AudioDevice { defaultInput, defaultOutput };

class AudioDevices {
public:
    virtual ~AudioDevices() = default;
    // Whether some process is using the default device right now (a microphone in use,
    // audio playing); false whenever it cannot be told.
    virtual bool isDefaultDeviceRunning(AudioDevice device) = 0;
};

std::unique_ptr<AudioDevices> makeAudioDevices();

}  // namespace quillfen
