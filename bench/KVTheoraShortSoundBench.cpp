// A 1280 x 720 movie of 20 s whose sound lasts 1 s (made by ffmpeg when the
// figure runs), played frame by frame as a game plays it: every 20 ms the
// sound takes what its one-second buffer has room for (GetSamples, as the
// sound manager's update refills it), then the picture is decoded by the
// clock (DecodeVideo, UpdateClock). Frames are paced at 20 ms of wall time,
// so that the reader thread fills its ring at its own pace. The figure is
// the longest such update, with "Loop" off and on: the time a game's frame
// can be held by the movie. ffmpeg writes that second of sound as one page
// some 900 KB into the file, so the first pulls (and the first of each
// pass) read up to it through the reader's ring, a bounded number of
// blocks a pull.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "KVBench.h"
#include "kernel/KVThreadFactory.h"
#include "media/KVTheoraDecoder.h"
#include "support/KVMemoryFile.h"
#include "support/KVToolFiles.h"

namespace {

constexpr const char* kName = "Theora movie of 20 s 1280x720 with 1 s of sound";
constexpr const char* kPath = "movies/short-sound.ogg";
constexpr double kFrame = 0.02;
constexpr double kTargetMs = 150.0;
constexpr uint32_t kRate = 44100;

// The sound of a game: a device that plays in step with the frames, and a
// one-second buffer refilled from the movie (0.15 s at first, then 0.05 s
// more each refill until it is full).
class SoundHost : public kvl::IKVTheoraHost {
public:
    int32_t CreateFrameSurface(uint32_t, uint32_t) override { return 0; }
    void ShowFrame(const kvl::KVTheoraFrame&) override { ++shown; }
    void ReleaseFrameSurface() override {}
    bool CreateSound(uint32_t rate, uint32_t channels) override { return rate == kRate && channels == 2; }
    void ReleaseSound() override {}
    uint32_t GetSoundPosition() override { return position; }
    void AdvanceSoundPosition(int32_t bytes) override { position = uint32_t(int64_t(position) + bytes); }

    uint32_t position = 0;
    uint32_t shown = 0;
};

struct Run {
    double worstMs = 0.0;
    double medianMs = 0.0;
    uint32_t frames = 0;
};

Run Play(const std::vector<uint8_t>& movie, bool loop) {
    kvl::KVThreadFactory threads;
    threads.Init(0);
    kvtest::KVMemoryFile files;
    files.SetFile(kPath, movie);
    SoundHost host;
    Run run;
    {
        kvl::KVTheoraDecoder decoder(&host, &files);
        decoder.SetLoop(loop);
        if (decoder.Open(kPath) != kvl::KV_OK || !decoder.HasSound()) {
            std::fprintf(stderr, "%s: the movie does not open with its sound\n", kName);
            return run;
        }
        std::vector<int16_t> samples(kRate * 2);
        uint64_t handed = 0;      // sample frames
        uint64_t ahead = kRate * 15 / 100;
        decoder.GetSamples(samples.data(), uint32_t(ahead * 2));
        handed = ahead;
        std::vector<double> times;
        const auto start = std::chrono::steady_clock::now();
        const double seconds = loop ? 25.0 : 22.0;
        for (uint32_t frame = 1; frame * kFrame <= seconds; ++frame) {
            std::this_thread::sleep_until(start + std::chrono::duration<double>(frame * kFrame));
            // The device played a frame's worth.
            host.position += uint32_t(kFrame * kRate) * 4;
            const auto before = std::chrono::steady_clock::now();
            ahead = std::min<uint64_t>(ahead + kRate / 20, kRate);
            const uint64_t played = host.position / 4;
            const uint64_t wanted = played + ahead > handed ? played + ahead - handed : 0;
            if (wanted > 0) decoder.GetSamples(samples.data(), uint32_t(std::min<uint64_t>(wanted, kRate) * 2));
            handed += wanted;
            decoder.DecodeVideo(false);
            decoder.UpdateClock(float(kFrame));
            times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before).count());
            if (!loop && decoder.Finished()) break;
        }
        run.frames = uint32_t(times.size());
        run.worstMs = times.empty() ? 0.0 : *std::max_element(times.begin(), times.end());
        run.medianMs = kvbench::Median(times);
        decoder.Close(false);
    }
    threads.Release(4);
    return run;
}

void Measure() {
    const std::vector<uint8_t> movie = kvtest::FfmpegMovie("testsrc=s=1280x720:r=25:d=20", "-q:v 6 -ac 2",
                                                           "sine=frequency=440:sample_rate=44100:duration=1");
    if (movie.empty()) {
        std::printf("%s: not measured, ffmpeg with libtheora and libvorbis is missing\n", kName);
        return;
    }
    for (bool loop : {false, true}) {
        const Run run = Play(movie, loop);
        std::printf("%s, Loop %s: worst update %.1f ms, median %.2f ms over %u frames of 20 ms (target <= %.0f ms)\n",
                    kName, loop ? "on" : "off", run.worstMs, run.medianMs, run.frames, kTargetMs);
        std::fflush(stdout);
    }
}

kvbench::Figure ShortSoundFigure() {
    kvbench::Figure f;
    f.name = kName;
    f.baselineName = "a 20 ms frame";
    f.target = 0;
    f.run = [] { Measure(); };
    return f;
}

} // namespace

KV_BENCH_FIGURE(ShortSoundFigure);
