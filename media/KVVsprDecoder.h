#pragma once
// Reader and decoder of VSPR video sprite files: a 40-byte header, a palette
// of 256 BGRA colours, a table of frame offsets and run-length coded frames
// of 8-bit palette indices. Frames are reached from the nearest preceding
// key frame. The file is either kept open and read one record per frame
// (streamed) or read into memory once.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../kernel/IKVFile.h"

namespace kvl {

// The file header as stored.
struct KVVsprHeader {
    uint8_t magic[4] = {0, 0, 0, 0};
    uint32_t version = 0;
    uint32_t frameCount = 0;
    uint32_t frameRate = 0;
    uint32_t keyInterval = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    uint32_t reserved = 0;
};

// One step of playback time: the frame to show, or the end reached.
struct KVVsprStep {
    uint32_t frame = 0;
    bool ended = false;
};

class KVVsprDecoder {
public:
    static constexpr uint32_t kVersion = 0x00020000u;
    static constexpr uint32_t kHeaderSize = 40;
    static constexpr uint32_t kPaletteSize = 1024;
    static constexpr uint32_t kTableOffset = kHeaderSize + kPaletteSize;
    // Largest picture side accepted; beyond it no texture could hold the picture.
    static constexpr uint32_t kMaxSide = 8192;

    explicit KVVsprDecoder(IKVFile* files);
    ~KVVsprDecoder();
    KVVsprDecoder(const KVVsprDecoder&) = delete;
    KVVsprDecoder& operator=(const KVVsprDecoder&) = delete;

    // Opens the file and reads the header, the palette and the frame table;
    // the file stays open (streamed). KV_NO_FILE when it cannot be opened,
    // KV_WRONG_CHUNK (logged) when it is not a usable video sprite.
    int32_t Open(const std::string& path);
    // Whole-file mode: reads the frame records into memory and closes the
    // file. Logged failure (nothing kept) when they cannot be read.
    int32_t LoadIntoMemory();
    // Closes the file, frees the data and forgets the held frame.
    void Close();

    bool HasSource() const { return m_file != nullptr || m_data != nullptr; }
    bool IsStreaming() const { return m_file != nullptr; }
    const KVVsprHeader& Header() const { return m_header; }
    const uint32_t* Palette() const { return m_palette; }

    // Brings the index buffer to frame n, through the frames since its key
    // frame when needed. KV_OK when frame n is held afterwards.
    int32_t DecodeFrame(uint32_t n);
    int32_t HeldFrame() const { return m_heldFrame; }
    const std::vector<uint8_t>& Indices() const { return m_indices; }

    // Writes the held indices as palette colours into a 32-bit B, G, R, A
    // picture of the header's size with rows `pitch` bytes apart.
    void WritePixels(uint8_t* pixels, int32_t pitch) const;
    // The palette colour at (x, y); 0 without a decoded frame or outside the picture.
    uint32_t GetPixelColor(uint32_t x, uint32_t y) const;

    // Adds dt to the play time and gives the frame due; with loop the time
    // wraps, without it the end is reported and the time left as it is.
    KVVsprStep Advance(float* elapsed, float dt, bool loop) const;

    // Applies one frame's codes to `indices` (count pixels). Runs that pass
    // the end are cut there; a payload that ends early leaves the rest as it
    // is. False when the payload was malformed in either way.
    static bool ApplyCodes(const uint8_t* payload, size_t size, uint8_t* indices, size_t count);

private:
    struct FreeData {
        void operator()(uint8_t* data) const { std::free(data); }
    };

    int32_t Fail(const char* what);
    void ReportBadFrame(uint32_t n);
    // Decodes one record over the index buffer as it stands.
    bool DecodeOne(uint32_t n);
    // The record payload of frame n: from memory, or read into m_payload.
    bool LocateRecord(uint32_t n, const uint8_t** payload, uint32_t* size, uint32_t* reserved);

    IKVFile* m_files;
    KVFileHandle m_file = nullptr;
    std::string m_path;
    uint32_t m_fileSize = 0;
    std::unique_ptr<uint8_t[], FreeData> m_data;
    uint32_t m_dataSize = 0;
    uint32_t m_dataStart = 0;
    KVVsprHeader m_header;
    uint32_t m_palette[256] = {};
    std::vector<uint32_t> m_table;
    int32_t m_heldFrame = -1;
    std::vector<uint8_t> m_indices;
    std::vector<uint8_t> m_payload;
    bool m_reportedBadFrame = false;
};

} // namespace kvl
