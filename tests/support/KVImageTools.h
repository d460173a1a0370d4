#pragma once
// Images from other encoders and their reference decodes, made at test
// time: a scratch directory where cjpeg, jpegtran and ImageMagick write
// files from pictures the test gives, djpeg's decode of a JPEG (integer
// transform, no smoothing) and libpng's own decode of a PNG.
#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

// A decoded picture: B, G, R, A per pixel, rows from the top.
struct KVReferenceImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> bgra;
};

class KVImageTools {
public:
    // Makes the scratch directory; removed with the object.
    KVImageTools();
    ~KVImageTools();
    KVImageTools(const KVImageTools&) = delete;
    KVImageTools& operator=(const KVImageTools&) = delete;

    // Whether a program is found on the path.
    static bool Has(const std::string& program);
    // ImageMagick's converter, or an empty text when it is missing.
    static std::string Convert();

    // The full path of a file in the scratch directory.
    std::string Path(const std::string& name) const;
    void Put(const std::string& name, const std::string& bytes) const;
    // The file's bytes, empty when it is missing.
    std::string Get(const std::string& name) const;
    // Runs a shell command in the scratch directory: whether it exited 0.
    bool Run(const std::string& command) const;

    // A binary PPM (P6) or, with alpha, a PAM of RGB or RGBA pixels.
    static std::string Ppm(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);
    static std::string Pam(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba);

    // djpeg -dct int -nosmooth of the bytes; false when djpeg refuses them.
    bool Djpeg(const std::string& jpeg, KVReferenceImage* out) const;

private:
    std::string m_dir;
};

// A textured RGB picture (3 bytes a pixel): smooth ramps with sharp edges,
// so every sampling and transform has work to do.
std::vector<uint8_t> TexturedRgb(uint32_t width, uint32_t height);

// libpng's own decode of a PNG, every kind expanded by libpng's transforms
// to 8-bit B, G, R, A (palettes, colour keys and grey included, no gamma
// applied); false when libpng fails. Bit depth and colour type of the file
// go to the out values when asked for.
bool DecodePngWithLibpng(const std::string& png, KVReferenceImage* out, int* bitDepth = nullptr,
                         int* colourType = nullptr);

} // namespace kvtest
