#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <chrono>
#include <string>

#include "platform/AudioDevices.h"

namespace quillfen {

namespace {

// A sound server that does not answer in time counts as nothing running; the question is
// asked on the main thread on every tick.
constexpr auto kDeadline = std::chrono::milliseconds(500);

struct Query {
    AudioDevice device;
    bool failed = false;
    bool done = false;
    bool running = false;
    pa_operation* operation = nullptr;
};

void onDeviceState(Query& query, bool found, bool running) {
    query.running = found && running;
    query.done = true;
}

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto& query = *static_cast<Query*>(userdata);
    if (query.done) return;
    if (eol != 0) return onDeviceState(query, false, false);
    onDeviceState(query, info != nullptr, info != nullptr && info->state == PA_SINK_RUNNING);
}

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto& query = *static_cast<Query*>(userdata);
    if (query.done) return;
    if (eol != 0) return onDeviceState(query, false, false);
    onDeviceState(query, info != nullptr, info != nullptr && info->state == PA_SOURCE_RUNNING);
}

void onServerInfo(pa_context* context, const pa_server_info* info, void* userdata) {
    auto& query = *static_cast<Query*>(userdata);
    const char* name = nullptr;
    if (info != nullptr) {
        name =
            query.device == AudioDevice::defaultInput ? info->default_source_name : info->default_sink_name;
    }
    if (name == nullptr || *name == '\0') {
        query.done = true;
        return;
    }
    if (query.operation != nullptr) pa_operation_unref(query.operation);
    query.operation = query.device == AudioDevice::defaultInput
                          ? pa_context_get_source_info_by_name(context, name, onSourceInfo, &query)
                          : pa_context_get_sink_info_by_name(context, name, onSinkInfo, &query);
    if (query.operation == nullptr) query.failed = true;
}

void onContextState(pa_context* context, void* userdata) {
    auto& query = *static_cast<Query*>(userdata);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (query.operation == nullptr) {
                query.operation = pa_context_get_server_info(context, onServerInfo, &query);
                if (query.operation == nullptr) query.failed = true;
            }
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            query.failed = true;
            break;
        default:
            break;
    }
}

class PulseAudioDevices final : public AudioDevices {
public:
    // One short connection per question: nothing is held open between ticks, and a server
    // that restarted in between is simply found again.
    bool isDefaultDeviceRunning(AudioDevice device) override {
        Query query{device};
        pa_mainloop* loop = pa_mainloop_new();
        if (loop == nullptr) return false;
        pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Quillfen");
        if (context != nullptr) {
            pa_context_set_state_callback(context, onContextState, &query);
            if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) run(loop, query);
            // Disconnecting reports a state change of its own, which is no failure of the question.
            pa_context_set_state_callback(context, nullptr, nullptr);
            if (query.operation != nullptr) {
                pa_operation_cancel(query.operation);
                pa_operation_unref(query.operation);
            }
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        pa_mainloop_free(loop);
        return query.done && !query.failed && query.running;
    }

private:
    static void run(pa_mainloop* loop, Query& query) {
        auto deadline = std::chrono::steady_clock::now() + kDeadline;
        while (!query.done && !query.failed) {
            auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return;
            if (pa_mainloop_prepare(loop, static_cast<int>(left.count())) < 0) return;
            if (pa_mainloop_poll(loop) < 0) return;
            if (pa_mainloop_dispatch(loop) < 0) return;
        }
    }
};

}  // namespace

std::unique_ptr<AudioDevices> makeAudioDevices() {
    return std::make_unique<PulseAudioDevices>();
}

}  // namespace quillfen
