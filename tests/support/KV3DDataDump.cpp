#include "KV3DDataDump.h"

#include <cstdio>
#include <sstream>

namespace kvtest {

namespace {

class Dump {
public:
    Dump& F(float v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.9g ", double(v));
        m_out << text;
        return *this;
    }
    Dump& Fs(const float* v, size_t n) {
        for (size_t i = 0; i < n; ++i) F(v[i]);
        return *this;
    }
    template <class T>
    Dump& V(const T& v) {
        m_out << v << ' ';
        return *this;
    }
    Dump& U(uint64_t v) { return V(v); }
    Dump& Bytes(const uint8_t* p, uint64_t n) {
        if (!p) return V("null");
        for (uint64_t i = 0; i < n; ++i) m_out << std::hex << unsigned(p[i]) << std::dec << ',';
        m_out << ' ';
        return *this;
    }
    Dump& Line(const char* what) {
        m_out << '\n' << what << ": ";
        return *this;
    }
    std::string Text() const { return m_out.str(); }

private:
    std::ostringstream m_out;
};

void DumpMaterial(Dump& d, const kvl::KV3DMaterial& m) {
    d.Fs(m.diffuse, 4).Fs(m.ambient, 4).Fs(m.emissive, 4).Fs(m.specular, 4).F(m.shininess);
    d.U(m.colorWrite).U(m.zBuffer).U(m.zBufferWrite).F(m.extraFloat).U(m.extraWord1).U(m.fog).U(m.alphaTest);
    d.U(m.alphaReference).U(m.alphaBlend).U(m.extraSwitch1).U(m.debugDraw).U(m.lighting).U(m.trilinear);
    d.U(m.textureCount).U(m.type).U(m.backfaceCulling).U(m.extraSwitch2).U(m.antialiasing).U(m.extraWord2);
    d.U(m.extraWord3).V(m.pixelShader).V(m.vertexShader).U(m.overrideFlags);
}

void DumpChannel(Dump& d, const kvl::KV3DChannel& c) {
    d.V(c.name).U(c.rotationCount).U(c.translationCount).U(c.scaleCount);
    d.Bytes(c.rotationTimes, 4ull * c.rotationCount).Bytes(c.rotations, 16ull * c.rotationCount);
    d.Bytes(c.translationTimes, 4ull * c.translationCount).Bytes(c.translations, 12ull * c.translationCount);
    d.Bytes(c.scaleTimes, 4ull * c.scaleCount).Bytes(c.scales, 12ull * c.scaleCount);
}

} // namespace

std::string DumpRecords(const kvl::KV3DData& data) {
    Dump d;
    d.Line("box").Fs(data.boxMin, 3).Fs(data.boxMax, 3).Fs(data.sphere, 4);
    for (const kvl::KV3DPartMaterial& m : data.partMaterials) {
        d.Line("material").V(m.name);
        DumpMaterial(d, m.material);
        for (const kvl::KV3DTextureName& t : m.textures) d.V(t.file).U(t.word);
    }
    for (const std::string& name : data.blendShapeNames) d.Line("shape name").V(name);
    for (const kvl::KV3DSubmesh& s : data.submeshes) {
        d.Line("submesh").V(s.name).U(s.index).V(s.parentNode).Fs(s.matrix, 16).U(s.vertexCount).U(s.texCoordSets);
        d.U(s.stride).U(s.weightsPerVertex).U(s.hasJoints).U(s.cpuSkinned).U(s.cpuMorphed).U(s.hasTangents);
        d.U(s.drawnInPass1).U(s.drawnInPass0);
        d.Line("vertices").Bytes(s.vertexData, uint64_t(s.vertexCount) * s.stride);
        for (const kvl::KV3DBone& b : s.bones) d.Line("bone").Fs(b.inverseBind, 16).U(b.node);
        for (const kvl::KV3DPart& p : s.parts) {
            d.Line("part").U(p.word).U(p.indexCount).U(p.indexKind).U(p.materialIndex).U(p.indexDataSize);
            d.U(p.transparent).Bytes(p.indexData, p.indexDataSize);
        }
        for (const kvl::KV3DBlendShape& b : s.blendShapes)
            d.Line("shape").U(b.nameIndex).Bytes(b.offsets, 32ull * s.vertexCount);
    }
    d.Line("animation").U(data.rate).U(data.frames).U(data.rootMotion);
    d.F(data.rootRotation.x).F(data.rootRotation.y).F(data.rootRotation.z).F(data.rootRotation.w);
    d.F(data.rootTranslation.x).F(data.rootTranslation.y).F(data.rootTranslation.z);
    d.F(data.rootScale.x).F(data.rootScale.y).F(data.rootScale.z);
    for (const kvl::KV3DChannel& c : data.nodeChannels) DumpChannel(d.Line("node channel"), c);
    for (const kvl::KV3DChannel& c : data.submeshChannels) DumpChannel(d.Line("submesh channel"), c);
    for (const kvl::KV3DPairList& p : data.pairLists) d.Line("pairs").U(p.count).Bytes(p.pairs, 8ull * p.count).Bytes(p.name, 32);
    for (const kvl::KV3DAttachment& a : data.attachments) d.Line("attachment").V(a.name).Fs(a.matrix, 16);
    for (const kvl::KV3DCamera& c : data.cameras) {
        d.Line("camera").V(c.name).F(c.position.x).F(c.position.y).F(c.position.z);
        d.F(c.target.x).F(c.target.y).F(c.target.z).F(c.fov);
    }
    for (const kvl::KV3DCurveRecord& c : data.curves) {
        d.Line("curve").V(c.name).U(c.word);
        for (const kvl::KV3DCurvePoint& p : c.points) d.F(p.x).F(p.y).F(p.z).F(p.t);
    }
    for (const kvl::KV3DLightRecord& l : data.lights) {
        d.Line("light").V(l.name).F(l.position.x).F(l.position.y).F(l.position.z).U(l.params.color);
        d.U(l.params.specular).U(l.params.ambient).F(l.params.range).F(l.params.constantAttenuation);
        d.F(l.params.linearAttenuation).F(l.params.quadraticAttenuation).U(l.params.normalMapCaster);
        d.U(l.params.shadowCaster);
    }
    return d.Text();
}

} // namespace kvtest
