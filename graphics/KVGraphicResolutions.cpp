// Resource resolutions: picture sets for other screen sizes, the order in
// which they are tried for the device's screen, and the file names of a
// texture in each set.
#include <cctype>

#include "../kernel/KVPath.h"
#include "KVGraphic.h"
#include "KVResourceTexture.h"

namespace kvl {

int32_t KVGraphic::RegisterResourceResolution(uint32_t width, uint32_t height, const std::string& folder) {
    if (m_gameWidth == 0 || m_gameHeight == 0) return KV_FAILED;
    KVResourceResolution entry;
    entry.width = width;
    entry.height = height;
    entry.folder = folder + "/";
    entry.scaleX = float(width) / float(m_gameWidth);
    entry.scaleY = float(height) / float(m_gameHeight);
    m_resolutions.push_back(entry);
    RebuildCandidates();
    return KV_OK;
}

void KVGraphic::RebuildCandidates() {
    const KVDisplayMode* mode = GetScreenMode();
    const uint32_t w = uint32_t(mode->width);
    const uint32_t h = uint32_t(mode->height);
    // Squared distances in unsigned 32-bit arithmetic, wrapping as they do.
    auto distance = [&](uint32_t x, uint32_t y) {
        const uint32_t dx = w - x, dy = h - y;
        return dx * dx + dy * dy;
    };
    const uint32_t reference = (m_gameWidth != 0 && m_gameHeight != 0)
                                   ? distance(uint32_t(m_gameWidth), uint32_t(m_gameHeight))
                                   : UINT32_MAX;
    std::vector<uint32_t> distances;
    m_candidates.clear();
    for (size_t i = 0; i < m_resolutions.size(); ++i) {
        const uint32_t d = distance(m_resolutions[i].width, m_resolutions[i].height);
        if (d >= reference) continue;
        // Before the first that is not nearer: a later registration comes
        // first among equals.
        size_t at = 0;
        while (at < distances.size() && distances[at] < d) ++at;
        distances.insert(distances.begin() + std::ptrdiff_t(at), d);
        m_candidates.insert(m_candidates.begin() + std::ptrdiff_t(at), int32_t(i));
    }
}

void KVGraphic::GetPixelScale(int32_t index, float scale[2]) const {
    scale[0] = scale[1] = 1.0f;
    if (index < 0 || size_t(index) >= m_resolutions.size()) return;
    scale[0] = m_resolutions[size_t(index)].scaleX;
    scale[1] = m_resolutions[size_t(index)].scaleY;
}

void KVGraphic::GetResolutionScale(IKVResourceTexture* texture, float scale[2]) const {
    scale[0] = scale[1] = 1.0f;
    if (texture) GetPixelScale(static_cast<KVResourceTexture*>(texture)->GetResolutionIndex(), scale);
}

bool KVGraphic::MakeVariant(const std::string& name, size_t k, std::string* out) const {
    if (k >= m_candidates.size()) return false;
    const std::string& root = GetProjectDirectory();
    if (name.size() < root.size()) return false;
    // The same letter-case rule as relative paths.
    for (size_t i = 0; i < root.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(root[i])))
            return false;
    *out = name.substr(0, root.size()) + m_resolutions[size_t(m_candidates[k])].folder + name.substr(root.size());
    return true;
}

} // namespace kvl
