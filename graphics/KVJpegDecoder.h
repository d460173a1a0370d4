#pragma once
// The engine's own JPEG decoder: Huffman-coded sequential and progressive
// frames, greyscale or YCbCr (luma 1x1, 2x1, 1x2 or 2x2 over 1x1 chroma),
// delivered one output line at a time: R, G, B, 255 per pixel for colour,
// one byte per pixel for greyscale. Failures are negative codes.
// A three-component frame stored as RGB (an Adobe marker with transform 0,
// or 'R', 'G', 'B' component ids without a JFIF or Adobe marker) is
// delivered without the YCbCr conversion, its first component as red.
#include <cstddef>
#include <cstdint>

#include "KVJpegDecoderStream.h"
#include "KVJpegHuffman.h"
#include "KVJpegInput.h"

namespace kvl {

// Failure codes.
enum KVJpegError : int32_t {
    KVJPEG_BAD_HUFFMAN_COUNTS = -200,
    KVJPEG_BAD_HUFFMAN_INDEX = -201,
    KVJPEG_SHORT_HUFFMAN = -202,
    KVJPEG_SHORT_QUANT_LENGTH = -203,
    KVJPEG_BAD_QUANT_LENGTH = -204,
    KVJPEG_BAD_PRECISION = -205,
    KVJPEG_BAD_HEIGHT = -206,
    KVJPEG_BAD_WIDTH = -207,
    KVJPEG_TOO_MANY_COMPONENTS = -208,
    KVJPEG_BAD_FRAME_LENGTH = -209,
    KVJPEG_BAD_SEGMENT_LENGTH = -210,
    KVJPEG_BAD_RESTART_LENGTH = -211,
    KVJPEG_BAD_SCAN_HEADER = -212,
    KVJPEG_BAD_SCAN_COMPONENT = -213,
    KVJPEG_ARITHMETIC = -215,
    KVJPEG_UNEXPECTED_MARKER = -216,
    KVJPEG_NOT_JPEG = -217,
    KVJPEG_UNSUPPORTED_FRAME = -218,
    KVJPEG_SHORT_QUANT = -219,
    KVJPEG_TOO_MANY_BLOCKS = -221,
    KVJPEG_UNDEFINED_QUANT = -222,
    KVJPEG_UNDEFINED_HUFFMAN = -223,
    KVJPEG_BAD_COMPONENT_COUNT = -225,
    KVJPEG_BAD_SAMPLING = -226,
    KVJPEG_DECODE_FAILED = -227,
    KVJPEG_NO_RESTART = -228,
    KVJPEG_BAD_BUFFER = -229,
    KVJPEG_BAD_SPECTRAL = -230,
    KVJPEG_BAD_APPROXIMATION = -231,
    KVJPEG_READ_ERROR = -232,
    KVJPEG_NO_MEMORY = -233,
};

class KVJpegDecoder {
public:
    static constexpr int32_t kMaxBlocks = 100;
    static constexpr uint32_t kMaxSize = 8192;

    // Finds the start of the image and reads the markers up to and
    // including the frame header; GetErrorCode tells whether that worked.
    explicit KVJpegDecoder(jpeg_decoder_stream* stream);
    ~KVJpegDecoder();
    KVJpegDecoder(const KVJpegDecoder&) = delete;
    KVJpegDecoder& operator=(const KVJpegDecoder&) = delete;

    // Sets up the frame and reads up to the first scan: 0, or the error code.
    int32_t BeginDecoding();
    // 0 and the next line; 1 once every line was delivered; -1 when an error
    // is set or decoding was not begun; -227 when this line failed.
    int32_t Decode(const void** line, uint32_t* length);

    uint32_t GetWidth() const { return m_width; }
    uint32_t GetHeight() const { return m_height; }
    // 4 for colour, 1 for greyscale, 0 before the frame is set up.
    uint32_t GetBytesPerPixel() const { return m_bytesPerPixel; }
    int32_t GetErrorCode() const { return m_error; }

private:
    struct Component {
        uint8_t id = 0;
        uint8_t h = 1;
        uint8_t v = 1;
        uint8_t quantIndex = 0;
        uint8_t dcTable = 0;
        uint8_t acTable = 0;
        int32_t dcPredictor = 0;
        uint32_t blocksWide = 0;  // over the MCU grid
        uint32_t blocksHigh = 0;
        uint32_t ownWide = 0;     // blocks a scan of this component alone covers
        uint32_t ownHigh = 0;
        bool quantFixed = false;  // the table was taken at its first scan
        uint16_t quant[64];       // natural order
        float idct[64];
        int16_t* coefficients = nullptr;  // whole image, for buffered frames
        uint8_t* plane = nullptr;         // one MCU row of samples
        uint32_t planeStride = 0;
    };

    // Frame and markers.
    void ReadHeader();
    // Tables, the restart interval, skipped segments and the refusals of
    // every marker that is not a frame or scan header where one is due.
    bool ReadOtherMarker(int32_t marker);
    bool ReadSegment(int32_t shortCode, uint32_t* length);
    bool ReadHuffmanTables();
    bool ReadQuantTables();
    bool ReadRestartInterval();
    bool ReadFrameHeader(int32_t marker);
    bool SkipSegment();
    // APP0 and APP14: whether a JFIF header or an Adobe colour transform
    // says how the components are stored.
    bool ReadColourMarker(int32_t marker);
    bool StoresRgb() const;
    // Handles the markers allowed between scans up to the next scan header
    // (true, scan read) or the end of the image (true, *ended set). With
    // `endOfStreamEnds`, the end of the stream counts as the end of the image.
    bool ReadToScan(bool* ended, bool endOfStreamEnds = false);
    bool ReadScanHeader();
    bool SetUpFrame();
    bool StartScan();
    bool TakeQuantTable(Component& c);

    // Entropy-coded data.
    bool DecodeMcuRow();
    bool DecodeBufferedScans();
    bool DecodeScan();
    bool HandleRestart();
    // Sequential block: the DC value, and put(natural index, value) for
    // every non-zero AC term; *last is the zig-zag position of the last one.
    template <class Put>
    bool DecodeBlock(Component& c, int32_t* dcValue, Put put, int32_t* last);
    bool DecodeDcFirst(Component& c, int16_t* coef);
    bool DecodeDcRefine(int16_t* coef);
    bool DecodeAcFirst(Component& c, int16_t* coef);
    bool DecodeAcRefine(Component& c, int16_t* coef);
    bool DecodeUnit(Component& c, int16_t* coef);
    bool RowFromCoefficients();
    void EmitLine(uint32_t rowInMcu);

    // Working memory and failure.
    void* Allocate(size_t bytes, bool zeroed);
    void FreeAll();
    bool Fail(int32_t code);

    jpeg_decoder_stream* m_stream;
    KVJpegInput m_input;
    int32_t m_error = 0;
    bool m_begun = false;

    void* m_blocks[kMaxBlocks];
    int32_t m_blockCount = 0;
    uint8_t* m_inputBuffer = nullptr;
    uint8_t* m_segment = nullptr;  // one marker segment
    KVJpegHuffmanTable* m_huffman[8] = {};
    uint16_t m_quant[4][64];  // natural order
    bool m_quantDefined[4] = {false, false, false, false};
    uint32_t m_restartInterval = 0;
    bool m_sawJfif = false;
    int32_t m_adobeTransform = -1;  // -1: no Adobe marker

    // Frame.
    bool m_progressive = false;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    uint32_t m_bytesPerPixel = 0;
    int32_t m_componentCount = 0;
    Component m_components[4];
    uint32_t m_mcuWidth = 8;
    uint32_t m_mcuHeight = 8;
    uint32_t m_mcusWide = 0;
    uint32_t m_mcusHigh = 0;
    bool m_buffered = false;  // whole-image coefficients instead of row by row
    bool m_rgb = false;       // components are R, G, B, not Y, Cb, Cr

    // Current scan.
    int32_t m_scanCount = 0;
    Component* m_scan[4] = {};
    int32_t m_spectralStart = 0;
    int32_t m_spectralEnd = 63;
    int32_t m_approxHigh = 0;
    int32_t m_approxLow = 0;
    uint32_t m_restartsLeft = 0;
    uint32_t m_endOfBandRun = 0;

    // Output.
    uint8_t* m_line = nullptr;
    int16_t* m_terms = nullptr;  // chroma terms of one chroma row: red, green, blue
    int32_t m_termsRow = -1;     // the chroma row they belong to
    uint32_t m_mcuRow = 0;      // next MCU row to make
    uint32_t m_rowLine = 0;     // next line within the made row
    uint32_t m_linesOut = 0;
    bool m_rowReady = false;
    bool m_scansDone = false;
};

} // namespace kvl
