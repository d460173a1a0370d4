#pragma once
// Per-frame timing: one record per frame with per-unit time sums and a few
// counters, and a report of the units that took the largest share of a frame.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "IKVFile.h"
#include "IKVModule.h"
#include "Singleton.h"

namespace kvl {

struct KVProfilerFrame {
    std::vector<float> timeA;
    std::vector<float> timeB;
    int32_t values[3] = {0, 0, 0};
    float totalA = 0.0f;
    float totalB = 0.0f;
    int32_t sampleCount = 0;
    int32_t sampleSum = 0;
    int32_t pairSums[2] = {0, 0};
    int32_t quadSums[4] = {0, 0, 0, 0};
    int32_t index = 0;
};

class KVProfiler : public Singleton<KVProfiler>, public IKVModule {
public:
    // Answers whether a unit index names a unit and, if so, its name.
    using UnitLookup = std::function<bool(uint32_t index, std::string* name)>;

    KVProfiler();
    ~KVProfiler() override;

    // Not a listed module: the phases do nothing.
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    void Start();
    void NewFrame();
    void AddTimeA(uint32_t unitIndex, float seconds);
    void AddTimeB(uint32_t unitIndex, float seconds);
    void AddSample(int32_t value);
    void AddPair(int32_t a, int32_t b);
    void AddQuad(int32_t a, int32_t b, int32_t c, int32_t d);
    void SetValue1(int32_t value);
    void SetValue2(int32_t value);
    void SetValue3(int32_t value);
    void Clear();

    int32_t WriteUnitReport(KVFileHandle file, float frameTotal, const std::vector<float>& unitTimes);
    int32_t WriteLine(KVFileHandle file, const std::string& text);

    bool IsRecording() const { return m_recording; }
    size_t FrameCount() const { return m_frames.size(); }
    const KVProfilerFrame* GetFrame(size_t index) const;

    // Seams: the file interface for reports and the unit lookup (by default
    // the unit factory, which holds no units yet).
    void SetFileInterface(IKVFile* file) { m_file = file; }
    void SetUnitLookup(UnitLookup lookup) { m_unitLookup = std::move(lookup); }

private:
    KVProfilerFrame* Current();
    IKVFile* File();

    bool m_recording = false;
    bool m_startRequested = false;
    std::vector<KVProfilerFrame> m_frames;
    IKVFile* m_file = nullptr;
    UnitLookup m_unitLookup;
};

} // namespace kvl
