#pragma once
// Stand-in for the handheld's accelerometer. This machine has none: by
// default there is no accelerometer and a read fills nothing, as on the
// device library's platform. Tests give it a reading through the setters.
#include <cstdint>

namespace kvl {

struct KVAccelSample {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

bool DeviceHasAccelerometer();
// Fills the sample when a reading exists; answers 1 either way.
int32_t DeviceReadAcceleration(void* platform, KVAccelSample* out);

// Test setters.
void AccelerometerSetPresent(bool present);
void AccelerometerSetReading(float x, float y, float z);
void AccelerometerClearReading();
// Absent and without a reading again, as a new process finds it.
void AccelerometerReset();

} // namespace kvl
