#pragma once
// The decoder's own reading of an Ogg Vorbis file held in memory: ov_read
// straight over the bytes. Tests take it as the reference for what the
// engine's reader gives; benchmarks as the baseline.
#include <cstdint>
#include <memory>
#include <vector>

namespace kvtest {

class KVOggMemoryDecoder {
public:
    explicit KVOggMemoryDecoder(const std::vector<uint8_t>& file);
    ~KVOggMemoryDecoder();
    KVOggMemoryDecoder(const KVOggMemoryDecoder&) = delete;
    KVOggMemoryDecoder& operator=(const KVOggMemoryDecoder&) = delete;

    bool IsOpen() const { return m_open; }
    // Bytes decoded into `buffer` by one ov_read (0 at the end).
    long ReadOnce(uint8_t* buffer, int bytes);
    // Back to the first byte of the file and the first sample.
    void Restart();
    // Back to the first sample by a seek.
    void Rewind();

    // Every byte of PCM the file holds.
    static std::vector<uint8_t> DecodeAll(const std::vector<uint8_t>& file);

    struct State;

private:
    const std::vector<uint8_t>& m_file;
    std::unique_ptr<State> m_state;
    bool m_open = false;
};

} // namespace kvtest
