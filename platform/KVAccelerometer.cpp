#include "KVAccelerometer.h"

#include <mutex>

namespace kvl {
namespace {

struct AccelState {
    std::mutex lock;
    bool present = false;
    bool haveReading = false;
    KVAccelSample reading;
};

AccelState& State() {
    static AccelState state;
    return state;
}

} // namespace

bool DeviceHasAccelerometer() {
    std::lock_guard<std::mutex> guard(State().lock);
    return State().present;
}

int32_t DeviceReadAcceleration(void*, KVAccelSample* out) {
    std::lock_guard<std::mutex> guard(State().lock);
    if (out && State().haveReading) *out = State().reading;
    return 1;
}

void AccelerometerSetPresent(bool present) {
    std::lock_guard<std::mutex> guard(State().lock);
    State().present = present;
}

void AccelerometerSetReading(float x, float y, float z) {
    std::lock_guard<std::mutex> guard(State().lock);
    State().haveReading = true;
    State().reading = KVAccelSample{x, y, z};
}

void AccelerometerClearReading() {
    std::lock_guard<std::mutex> guard(State().lock);
    State().haveReading = false;
}

void AccelerometerReset() {
    std::lock_guard<std::mutex> guard(State().lock);
    State().present = false;
    State().haveReading = false;
    State().reading = KVAccelSample();
}

} // namespace kvl
