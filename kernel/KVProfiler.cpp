#include "KVProfiler.h"

#include <algorithm>
#include <cmath>

#include "KVCore.h"
#include "KVFormat.h"

namespace kvl {
namespace {

void AddTime(std::vector<float>* times, float* total, uint32_t index, float seconds) {
    if (times->size() <= index) times->resize(size_t(index) + 1, 0.0f);
    (*times)[index] += seconds;
    *total += seconds;
}

} // namespace

KVProfiler::KVProfiler() = default;

KVProfiler::~KVProfiler() = default;

int32_t KVProfiler::Init(int32_t) { return KV_OK; }
int32_t KVProfiler::Release(int32_t) { return KV_OK; }

KVProfilerFrame* KVProfiler::Current() {
    if (!m_recording || m_frames.empty()) return nullptr;
    return &m_frames.back();
}

const KVProfilerFrame* KVProfiler::GetFrame(size_t index) const {
    return index < m_frames.size() ? &m_frames[index] : nullptr;
}

void KVProfiler::Start() { m_startRequested = true; }

void KVProfiler::NewFrame() {
    if (m_startRequested) {
        m_startRequested = false;
        m_recording = true;
    }
    if (!m_recording) return;
    KVProfilerFrame frame;
    frame.index = int32_t(m_frames.size());
    m_frames.push_back(std::move(frame));
}

void KVProfiler::AddTimeA(uint32_t unitIndex, float seconds) {
    if (KVProfilerFrame* f = Current()) AddTime(&f->timeA, &f->totalA, unitIndex, seconds);
}

void KVProfiler::AddTimeB(uint32_t unitIndex, float seconds) {
    if (KVProfilerFrame* f = Current()) AddTime(&f->timeB, &f->totalB, unitIndex, seconds);
}

void KVProfiler::AddSample(int32_t value) {
    if (KVProfilerFrame* f = Current()) {
        ++f->sampleCount;
        f->sampleSum += value;
    }
}

void KVProfiler::AddPair(int32_t a, int32_t b) {
    if (KVProfilerFrame* f = Current()) {
        f->pairSums[0] += a;
        f->pairSums[1] += b;
    }
}

void KVProfiler::AddQuad(int32_t a, int32_t b, int32_t c, int32_t d) {
    if (KVProfilerFrame* f = Current()) {
        f->quadSums[0] += a;
        f->quadSums[1] += b;
        f->quadSums[2] += c;
        f->quadSums[3] += d;
    }
}

void KVProfiler::SetValue1(int32_t value) {
    if (KVProfilerFrame* f = Current()) f->values[0] = value;
}
void KVProfiler::SetValue2(int32_t value) {
    if (KVProfilerFrame* f = Current()) f->values[1] = value;
}
void KVProfiler::SetValue3(int32_t value) {
    if (KVProfilerFrame* f = Current()) f->values[2] = value;
}

void KVProfiler::Clear() {
    m_frames.clear();
    m_frames.shrink_to_fit();
    m_recording = false;
}

IKVFile* KVProfiler::File() {
    // Asked for when first needed: the core makes the profiler before its
    // module list can answer.
    if (!m_file) m_file = QueryCoreInterface<IKVFile>(IID_IKVFile);
    return m_file;
}

int32_t KVProfiler::WriteLine(KVFileHandle file, const std::string& text) {
    IKVFile* io = File();
    if (!io) return KV_FAILED;
    std::string line = text + "\r\n";
    return io->Write(file, line.data(), uint32_t(line.size()), nullptr, 0);
}

int32_t KVProfiler::WriteUnitReport(KVFileHandle file, float frameTotal,
                                    const std::vector<float>& unitTimes) {
    struct Share {
        uint32_t index;
        float share;
        std::string name;
    };
    std::vector<Share> shares;
    for (size_t i = 0; i < unitTimes.size(); ++i) {
        std::string name;
        if (!m_unitLookup || !m_unitLookup(uint32_t(i), &name)) continue;
        float share = unitTimes[i] / frameTotal * 100.0f;
        // A share that is no number (0 over 0) names no unit; one below a
        // hundredth of a percent is not worth a line.
        if (std::isnan(share) || share < 0.01f) continue;
        shares.push_back(Share{uint32_t(i), share, std::move(name)});
    }
    std::stable_sort(shares.begin(), shares.end(),
                     [](const Share& a, const Share& b) { return a.share > b.share; });
    int32_t status = KV_OK;
    for (const Share& s : shares) {
        std::string line = Format("    Unit {0} ({1}) : {2}%", s.name, s.index, double(s.share));
        int32_t written = WriteLine(file, line);
        if (written != KV_OK) status = written;
    }
    return status;
}

} // namespace kvl
