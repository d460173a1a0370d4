#pragma once
// Placeholder texture resource: knows its path and image size, holds no pixels.
#include <string>
#include "../kernel/IKVUnknown.h"

namespace kvl {

class KVResourceTexture : public KVRefCounted<IKVUnknownRef> {
public:
    KVResourceTexture(std::string path, int32_t width, int32_t height) : m_path(std::move(path)) {
        m_size[0] = width;
        m_size[1] = height;
        ++s_live;
    }

    // Width and height of the image, width first.
    const int32_t* GetImageSize() const { return m_size; }
    const std::string& GetPath() const { return m_path; }
    // Placeholder: textures made and not yet released, for tests.
    static int32_t LiveCount() { return s_live; }

protected:
    ~KVResourceTexture() override { --s_live; }

private:
    std::string m_path;
    int32_t m_size[2] = {0, 0};
    static inline int32_t s_live = 0;
};

} // namespace kvl
