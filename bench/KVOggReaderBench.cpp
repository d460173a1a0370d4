// A 10 s Ogg Vorbis file (44100 Hz stereo) decoded whole in 4096-byte reads
// through KVOggReader::Read over the file layer (files in memory), against
// ov_read on the same bytes straight from memory.
#include <cstdint>
#include <memory>
#include <vector>

#include "KVBench.h"
#include "media/KVOggReader.h"
#include "support/KVMemoryFile.h"
#include "support/KVOggMemoryDecoder.h"
#include "support/KVOggWriter.h"

namespace {

constexpr uint32_t kRead = 4096;

struct OggSetup {
    std::vector<uint8_t> file = kvtest::WriteOggSeconds(10.0);
    kvtest::KVMemoryFile files;
    kvl::KVOggReader reader;
    void* handle = nullptr;
    kvl::KVSoundReaderInfo info = {};
    std::unique_ptr<kvtest::KVOggMemoryDecoder> plain;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kRead);
    uint32_t sink = 0;

    OggSetup() {
        files.SetFile("music.ogg", file);
        reader.SetFileInterface(&files);
        reader.Open("music.ogg", &handle);
        if (handle) reader.GetInfo(handle, &info);
        plain = std::make_unique<kvtest::KVOggMemoryDecoder>(file);
    }
    ~OggSetup() {
        if (handle) reader.Close(handle);
    }

    void Plain() {
        plain->Rewind();
        while (plain->ReadOnce(buffer.data(), int(kRead)) > 0) sink += buffer[0];
    }

    void Engine() {
        if (!handle) return;
        reader.Rewind(handle);
        for (uint32_t done = 0; done < info.byteLength; done += kRead) {
            const uint32_t n = info.byteLength - done < kRead ? info.byteLength - done : kRead;
            reader.Read(handle, buffer.data(), n);
            sink += buffer[0];
        }
    }
};

// Made at the figure's first round, not at registration: its reader is the
// program-wide module instance, which a core made by another figure in the
// same process would take for its own and delete.
OggSetup& Setup() {
    return kvbench::Lazy<OggSetup>();
}

kvbench::Figure MakeOggFigure() {
    kvbench::Figure f;
    f.name = "KVOggReader::Read of a 10 s file in 4096-byte reads";
    f.baselineName = "ov_read of it from memory";
    f.target = 1.1;
    f.baseline = [] { Setup().Plain(); };
    f.subject = [] { Setup().Engine(); };
    return f;
}

KV_BENCH_FIGURE(MakeOggFigure);

} // namespace
