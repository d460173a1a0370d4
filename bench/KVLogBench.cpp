// Log throughput with "LogOnDisk" off and on, against writing the same lines
// with one fwrite each into a file that stays open. With the switch on every
// line is opened, appended and closed, so it is on disk when Write returns.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "KVBench.h"
#include "kernel/KVLog.h"
#include "support/KVTestDiskFile.h"
#include "support/KVTestThreadFactory.h"

namespace {

constexpr int kLines = 2000;

// A scratch asset root with a log that writes into it, shared by the figures.
struct LogBench {
    std::string root;
    std::vector<std::string> texts;   // message texts
    std::vector<std::string> lines;   // the same as finished lines
    kvtest::KVTestThreadFactory factory;
    kvtest::KVTestDiskFile* file = nullptr;
    kvl::KVLog* log = nullptr;
    FILE* baselineFile = nullptr;
    // Lines per second of each subject, over every round.
    double seconds[2] = {0, 0};
    long count[2] = {0, 0};

    LogBench() {
        std::string templ = (std::filesystem::temp_directory_path() / "kvbench-log-XXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        root = templ + "/assets/";
        std::filesystem::create_directories(root);
        for (int i = 0; i < kLines; ++i) {
            texts.push_back("Resource textures/sprite_" + std::to_string(i) + ".png loaded in 0.0" +
                            std::to_string(i % 10) + " s");
            lines.push_back("INFO : " + texts.back() + "\r\n");
        }
        factory.Install();
        file = new kvtest::KVTestDiskFile(root);
        log = new kvl::KVLog();
        log->Init(0);
        log->Init(1);
        log->SetFileInterface(file);
        baselineFile = std::fopen((root + "baseline.txt").c_str(), "wb");
    }

    ~LogBench() {
        std::fclose(baselineFile);
        for (int on = 0; on < 2; ++on)
            if (seconds[on] > 0)
                std::fprintf(stderr, "KVLog lines per second, LogOnDisk %s: %.0f\n", on ? "on" : "off", count[on] / seconds[on]);
        log->Release(4);
        delete log;
        delete file;
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(root).parent_path(), ec);
    }

    void Baseline() {
        for (const std::string& line : lines) std::fwrite(line.data(), 1, line.size(), baselineFile);
        std::fflush(baselineFile);
    }

    void Subject(bool onDisk) {
        log->SetLogOnDisk(onDisk);
        auto t0 = std::chrono::steady_clock::now();
        for (const std::string& text : texts) log->Write(text.c_str(), kvl::KVLOG_INFO, 0);
        seconds[onDisk] += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        count[onDisk] += kLines;
    }
};

LogBench& Bench() {
    return kvbench::Lazy<LogBench>();
}

kvbench::Figure LogOffFigure() {
    return {"KVLog Write, LogOnDisk off", "fwrite per line into an open file", 1.0,
            [] { Bench().Baseline(); }, [] { Bench().Subject(false); }};
}

kvbench::Figure LogOnFigure() {
    // Every line pays an open, a seek and a close.
    return {"KVLog Write, LogOnDisk on", "fwrite per line into an open file", 200.0,
            [] { Bench().Baseline(); }, [] { Bench().Subject(true); }};
}

} // namespace

KV_BENCH_FIGURE(LogOffFigure);
KV_BENCH_FIGURE(LogOnFigure);
