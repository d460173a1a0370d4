#pragma once
// One loaded mesh file: a resource kept by path and shared by every mesh
// instance that names the file. It holds the submeshes with their parts,
// bones and blend shapes, the part materials, the animation channels, the
// attachments, cameras, curves and lights of the file. Geometry goes to the
// device as buffers where the device keeps them; otherwise the file's
// geometry block stays in memory for the CPU.
#include <cstdint>
#include <string>
#include <vector>

#include "../graphics/IKVGraphicDevice3D.h"
#include "../kernel/IKVResource.h"
#include "KV3DDataRecords.h"

namespace kvl {

class KV3DData : public IKVResource {
public:
    explicit KV3DData(std::string path);

    // IKVResource
    int32_t Retain() override;
    // At zero: leaves the resource manager, then is deleted.
    int32_t Release() override;
    int32_t FreeData() override;
    int32_t GetManagerIndex() override { return m_managerIndex; }
    int32_t SetManagerIndex(int32_t index) override;
    int32_t GetType() override { return KVRESOURCE_TEXTURE; }
    int32_t IsManaged() override { return 1; }
    const char* GetName() override { return m_path.c_str(); }
    int32_t Invalidate() override { return 0; }
    int32_t TakeLostFlag() override { return 0; }

    // Takes the geometry block (an AllocAligned block of size bytes; the data
    // owns it from here on, also on failure) and builds the geometry from
    // it, asking the device (null: none) what to hand it. 0, or 1 with the
    // reason in *error (only where a read would go past what the block, a
    // vertex or a part holds).
    // Indices that name nothing are kept: a part's material index past the
    // materials (the part has no material of its own), a blend shape's name
    // index past the names.
    int32_t BuildGeometry(uint8_t* block, uint32_t size, uint32_t alignment, bool keepGeometry,
                          IKVGraphicDevice3D* device, std::string* error);
    // Takes the animation block (owned from here on) and reads its header
    // and entries. 0, or 1 with the reason in *error.
    int32_t BuildAnimation(uint8_t* block, uint32_t size, uint32_t alignment, std::string* error);

    // Empties the data for a new load of its file: the records as FreeData
    // does, and the values a load sets back to those of a new data. The
    // events stay.
    void PrepareReload();

    // Whether the submesh's bones can be posed: every bone names a node of
    // the node list and, while the vertices are in memory, every joint index
    // names a bone. Skinning passes over a submesh that cannot.
    bool CanSkin(const KV3DSubmesh& submesh) const;

    // The part's material, or null when its index is past the list.
    const KV3DPartMaterial* GetPartMaterial(const KV3DPart& part) const;

    // The records, read by mesh instances. Node records are filled by no
    // load step; tests put their own there.
    std::vector<KV3DSubmesh> submeshes;
    std::vector<KV3DNode> nodes;
    std::vector<KV3DAttachment> attachments;
    std::vector<KV3DCamera> cameras;
    std::vector<KV3DCurveRecord> curves;
    std::vector<KV3DLightRecord> lights;
    std::vector<KV3DPartMaterial> partMaterials;
    std::vector<std::string> blendShapeNames;
    float boxMin[3] = {-1.0f, -1.0f, -1.0f};
    float boxMax[3] = {1.0f, 1.0f, 1.0f};
    float sphere[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // centre, radius
    uint8_t cpuData = 0;        // some submesh is skinned or morphed on the CPU
    uint8_t keepBlock = 0;      // the geometry block must stay in memory
    uint8_t deviceBuffers = 0;  // the device keeps vertex buffers
    uint32_t caps = 0;          // the device's GetCaps3D
    std::vector<KV3DChannel> nodeChannels;
    std::vector<KV3DPairList> pairLists;
    std::vector<KV3DChannel> submeshChannels;
    uint32_t rootMotion = 0;    // 1 rotation, 2 translation, 4 scale
    uint32_t rate = 0;          // frames per second
    uint32_t frames = 0;
    KV3DQuaternion rootRotation;
    KV3DVector rootTranslation;
    KV3DVector rootScale;
    std::vector<KV3DEvent> events;
    uint32_t deviceBytes = 0;   // sum of the sizes handed to the device
    int32_t resident = 0;       // 1 while the geometry block is held

    const uint8_t* GetGeometryBlock() const { return m_geometry; }
    const uint8_t* GetAnimationBlock() const { return m_animation; }
    const std::string& GetPath() const { return m_path; }
    int32_t GetRefCount() const { return m_refCount; }

private:
    ~KV3DData() override;
    // Drops every device buffer the records hold.
    void ReleaseBuffers();
    void DropGeometryBlock();

    int32_t m_refCount = 1;
    int32_t m_managerIndex = -1;
    std::string m_path;
    uint8_t* m_geometry = nullptr;
    uint8_t* m_animation = nullptr;
};

} // namespace kvl
