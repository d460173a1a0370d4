#pragma once
// Everything a texture needs, standing where the engine's modules do: the
// resource manager over files held in memory, the PNG and JPEG readers
// registered with it, and the graphic module (with the texture producer and
// the texture paks) on the device the test gives. The project directory
// (the data root) is set for the host's lifetime; files are written under
// it. Textures still held when the host ends are the test's to release
// first.
#include <memory>
#include <string>

#include "graphics/IKVResourceTexture.h"
#include "support/KVTestImageHost.h"

namespace kvl {
class IKVGraphicDevice2D;
class KVGraphic;
class KVResources;
class KVResourceTexture;
class KVTexturePak;
} // namespace kvl

namespace kvtest {

class KVTextureHost {
public:
    explicit KVTextureHost(kvl::IKVGraphicDevice2D* device, const std::string& root = "data/");
    ~KVTextureHost();
    KVTextureHost(const KVTextureHost&) = delete;
    KVTextureHost& operator=(const KVTextureHost&) = delete;

    kvl::KVResources& Resources() { return *m_resources; }
    kvl::KVGraphic& Graphic() { return *m_graphic; }
    kvl::KVTexturePak& Paks();
    KVMemoryFile& Files() { return m_images.Files(); }
    // The PNG reader registered with the manager.
    kvl::IKVImageReader* Png() { return m_images.Png(); }
    const std::string& Root() const { return m_root; }

    // The data root + the relative name.
    std::string Path(const std::string& relative) const { return m_root + relative; }
    void SetFile(const std::string& relative, const std::string& bytes);
    // Writes the descriptor and reads it as start-up does.
    void LoadPaks(const std::string& descriptor);

    // CreateTextureFromFile of the file under the root: the texture, or
    // null (with the status in *status when given).
    kvl::KVResourceTexture* Load(const std::string& relative, uint32_t flags = 0, int32_t* status = nullptr);

private:
    std::string m_previousRoot;
    std::string m_root;
    KVTestImageHost m_images;
    std::unique_ptr<kvl::KVResources> m_resources;
    std::unique_ptr<kvl::KVGraphic> m_graphic;
};

} // namespace kvtest
