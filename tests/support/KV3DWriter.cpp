#include "KV3DWriter.h"

#include <cstring>

namespace kvtest {

namespace {

class Bytes {
public:
    explicit Bytes(uint32_t alignment) : m_alignment(alignment ? alignment : 1) {}

    size_t Size() const { return m_bytes.size(); }
    std::vector<uint8_t>& Data() { return m_bytes; }
    uint64_t Pad(uint64_t length) const { return (length + m_alignment - 1) / m_alignment * m_alignment; }
    void Grow(size_t size) {
        if (m_bytes.size() < size) m_bytes.resize(size, 0);
    }
    void U32(size_t at, uint32_t v) {
        Grow(at + 4);
        for (int i = 0; i < 4; ++i) m_bytes[at + size_t(i)] = uint8_t(v >> (8 * i));
    }
    void F32(size_t at, float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        U32(at, v);
    }
    void Floats(size_t at, const float* f, size_t count) {
        for (size_t i = 0; i < count; ++i) F32(at + 4 * i, f[i]);
    }
    void U8(size_t at, uint8_t v) {
        Grow(at + 1);
        m_bytes[at] = v;
    }
    void Raw(size_t at, const void* data, size_t size) {
        Grow(at + size);
        if (size) std::memcpy(m_bytes.data() + at, data, size);
    }
    // A fixed name field, cut to fit (then without a zero byte).
    void Name(size_t at, const std::string& text, size_t field) {
        Grow(at + field);
        std::memcpy(m_bytes.data() + at, text.data(), text.size() < field ? text.size() : field);
    }

private:
    uint32_t m_alignment;
    std::vector<uint8_t> m_bytes;
};

std::vector<uint8_t> BuildGeometry(const KV3DWriterMesh& mesh, KV3DWriterLayout* layout) {
    Bytes g(mesh.alignment);
    g.U32(0, uint32_t(mesh.submeshes.size()));
    g.U32(4, uint32_t(mesh.materials.size()));
    g.Floats(16, mesh.boxMin, 3);
    g.Floats(28, mesh.boxMax, 3);
    g.U32(44, uint32_t(mesh.blendShapeNames.size()));
    g.Grow(64);
    for (const KV3DWriterMaterial& m : mesh.materials) {
        const size_t r = g.Size();
        layout->materials.push_back(uint32_t(r));
        g.Floats(r, m.diffuse, 4);
        g.Floats(r + 16, m.ambient, 4);
        g.Floats(r + 32, m.specular, 4);
        g.Floats(r + 48, m.emissive, 4);
        g.U32(r + 64, uint32_t(m.textures.size()));
        g.F32(r + 68, m.shininess);
        g.U8(r + 72, m.alphaTest);
        g.U8(r + 73, m.alphaBlend);
        g.U8(r + 74, m.backfaceCulling);
        g.U32(r + 76, m.flags);
        g.Name(r + 80, m.name, 48);
        for (size_t t = 0; t < m.textures.size(); ++t) g.Name(r + 128 + 32 * t, m.textures[t], 32);
        g.Grow(r + 128 + 32 * m.textures.size());
    }
    for (const std::string& name : mesh.blendShapeNames) g.Name(g.Size(), name, 32);

    // Records first (their sizes are known), then the arrays they point at.
    size_t at = g.Size();
    for (const KV3DWriterSubmesh& s : mesh.submeshes) {
        layout->submeshes.push_back(uint32_t(at));
        const uint64_t content = 96 + g.Pad(16 * s.parts.size()) + s.description.size() + 68 * s.bones.size();
        at += size_t(g.Pad(content) + s.extraRecordBytes);
    }
    size_t data = size_t(g.Pad(at));
    for (size_t i = 0; i < mesh.submeshes.size(); ++i) {
        const KV3DWriterSubmesh& s = mesh.submeshes[i];
        const size_t r = layout->submeshes[i];
        const uint64_t content = 96 + g.Pad(16 * s.parts.size()) + s.description.size() + 68 * s.bones.size();
        g.U32(r + 4, s.vertexCount);
        g.U32(r + 8, s.texCoordSets);
        g.U32(r + 12, s.weightsPerVertex);
        g.U32(r + 36, uint32_t(g.Pad(content) + s.extraRecordBytes));
        g.U32(r + 40, uint32_t(s.shapes.size()));
        g.U8(r + 44, s.hasJoints);
        g.U8(r + 45, s.hasTangents ? 0x08 : 0x00);
        g.U8(r + 47, uint8_t(s.parts.size()));
        g.U32(r + 48, s.stride);
        g.U32(r + 52, uint32_t(s.bones.size()));
        g.U32(r + 56, uint32_t(s.description.size()));
        g.Name(r + 64, s.name, 32);
        for (size_t p = 0; p < s.parts.size(); ++p) {
            const KV3DWriterPart& part = s.parts[p];
            const size_t d = r + 96 + 16 * p;
            g.U32(d, part.material);
            g.U32(d + 4, uint32_t(part.indices.size()));
            g.U8(d + 8, part.transparent);
            g.U8(d + 9, part.indexKind);
            g.U32(d + 12, uint32_t(2 * part.indices.size()));
        }
        const size_t description = r + 96 + size_t(g.Pad(16 * s.parts.size()));
        g.Raw(description, s.description.data(), s.description.size());
        const size_t bones = description + s.description.size();
        for (size_t b = 0; b < s.bones.size(); ++b) {
            g.Floats(bones + 64 * b, s.bones[b].inverseBind, 16);
            g.U32(bones + 64 * s.bones.size() + 4 * b, s.bones[b].node);
        }

        g.U32(r + 16, uint32_t(data));
        for (const KV3DWriterPart& part : s.parts) {
            for (size_t k = 0; k < part.indices.size(); ++k) {
                g.U8(data + 2 * k, uint8_t(part.indices[k]));
                g.U8(data + 2 * k + 1, uint8_t(part.indices[k] >> 8));
            }
            data += size_t(g.Pad(2 * part.indices.size()));
        }
        g.U32(r + 20, uint32_t(data));
        g.Raw(data, s.vertices.data(), s.vertices.size());
        data += size_t(g.Pad(s.vertices.size()));
        if (!s.shapes.empty()) {
            g.U32(r + 28, uint32_t(data));
            for (size_t k = 0; k < s.shapes.size(); ++k) g.U32(data + 4 * k, s.shapes[k].nameIndex);
            data += size_t(g.Pad(4 * s.shapes.size()));
            for (const KV3DWriterBlendShape& shape : s.shapes) {
                g.Floats(data, shape.offsets.data(), shape.offsets.size());
                data += size_t(g.Pad(32 * uint64_t(s.vertexCount)));
            }
        }
        g.Grow(data);
    }
    g.Grow(data);
    return std::move(g.Data());
}

std::vector<uint8_t> BuildAnimation(const KV3DWriterMesh& mesh, KV3DWriterLayout* layout) {
    const KV3DWriterAnimation& a = mesh.animation;
    Bytes b(mesh.alignment);
    const uint32_t first = a.firstCount < a.entries.size() ? a.firstCount : uint32_t(a.entries.size());
    b.U32(0, first);
    b.U32(4, a.rate);
    b.U32(8, a.frames);
    b.U32(12, uint32_t(a.entries.size()) - first);
    b.Floats(16, a.rootRotation, 4);
    b.Floats(32, a.rootTranslation, 3);
    b.Floats(44, a.rootScale, 3);
    b.U32(56, a.rootMotion);
    b.Grow(64);
    for (const KV3DWriterEntry& e : a.entries) {
        const size_t at = b.Size();
        layout->entries.push_back(uint32_t(at));
        b.U32(at, e.kind);
        b.Name(at + 16, e.name, 32);
        if (e.kind == 1) {
            b.U32(at + 4, uint32_t(e.pairs.size() / 8));
            b.Raw(at + 48, e.pairs.data(), e.pairs.size());
            b.Grow(at + 48 + size_t(b.Pad(e.pairs.size())));
            continue;
        }
        const size_t r = e.rotationTimes.size(), n = e.translationTimes.size(), s = e.scaleTimes.size();
        b.U32(at + 4, uint32_t(r));
        b.U32(at + 8, uint32_t(n));
        b.U32(at + 12, uint32_t(s));
        size_t p = at + 48;
        for (size_t i = 0; i < r; ++i) b.U32(p + 4 * i, e.rotationTimes[i]);
        p += size_t(b.Pad(4 * r));
        b.Floats(p, e.rotations.data(), 4 * r);
        p += 16 * r;
        for (size_t i = 0; i < n; ++i) b.U32(p + 4 * i, e.translationTimes[i]);
        p += size_t(b.Pad(4 * n));
        b.Floats(p, e.translations.data(), 3 * n);
        p += size_t(b.Pad(12 * n));
        for (size_t i = 0; i < s; ++i) b.U32(p + 4 * i, e.scaleTimes[i]);
        p += size_t(b.Pad(4 * s));
        b.Floats(p, e.scales.data(), 3 * s);
        p += size_t(b.Pad(12 * s));
        b.Grow(p);
    }
    return std::move(b.Data());
}

} // namespace

std::vector<uint8_t> KV3DWriter::Build(const KV3DWriterMesh& mesh, KV3DWriterLayout* layout) {
    KV3DWriterLayout local;
    KV3DWriterLayout& l = layout ? *layout : local;
    l = KV3DWriterLayout();
    const std::vector<uint8_t> geometry = mesh.hasGeometry ? BuildGeometry(mesh, &l) : std::vector<uint8_t>();
    const std::vector<uint8_t> animation = mesh.hasAnimation ? BuildAnimation(mesh, &l) : std::vector<uint8_t>();

    Bytes curves(1);
    for (const KV3DWriterCurve& c : mesh.curves) {
        const size_t at = curves.Size();
        curves.U32(at, uint32_t(c.points.size() / 4));
        curves.U32(at + 4, c.word);
        curves.Name(at + 16, c.name, 32);
        curves.Grow(at + 48);
        curves.Floats(at + 48, c.points.data(), c.points.size());
    }

    Bytes f(1);
    f.Raw(0, "KV3D", 4);
    f.U8(4, mesh.version);
    f.U8(5, mesh.alignment);
    f.U8(8, uint8_t(mesh.attachments.size()));
    f.U8(9, uint8_t(mesh.cameras.size()));
    f.U8(10, uint8_t(mesh.curves.size()));
    f.U8(11, uint8_t(mesh.lights.size()));
    f.U32(12, uint32_t(geometry.size()));
    f.U32(16, uint32_t(animation.size()));
    f.U32(20, uint32_t(curves.Size()));
    f.Grow(kHeaderSize);
    l.geometry = uint32_t(f.Size());
    l.geometrySize = uint32_t(geometry.size());
    f.Raw(f.Size(), geometry.data(), geometry.size());
    l.animation = uint32_t(f.Size());
    l.animationSize = uint32_t(animation.size());
    f.Raw(f.Size(), animation.data(), animation.size());
    l.attachments = uint32_t(f.Size());
    for (const KV3DWriterAttachment& a : mesh.attachments) {
        const size_t at = f.Size();
        f.Floats(at, a.matrix, 16);
        f.Name(at + 64, a.name, 32);
    }
    l.cameras = uint32_t(f.Size());
    for (const KV3DWriterCamera& c : mesh.cameras) {
        const size_t at = f.Size();
        f.Floats(at, c.position, 3);
        f.F32(at + 12, c.fov);
        f.Floats(at + 16, c.target, 3);
        f.Name(at + 32, c.name, 32);
    }
    l.curves = uint32_t(f.Size());
    l.curveSize = uint32_t(curves.Size());
    f.Raw(f.Size(), curves.Data().data(), curves.Size());
    l.lights = uint32_t(f.Size());
    for (const KV3DWriterLight& light : mesh.lights) {
        const size_t at = f.Size();
        f.Floats(at, light.position, 3);
        f.U32(at + 12, light.color);
        f.U32(at + 16, light.specular);
        f.U32(at + 20, light.ambient);
        f.F32(at + 24, light.constant);
        f.F32(at + 28, light.linear);
        f.F32(at + 32, light.quadratic);
        f.F32(at + 36, light.range);
        f.Name(at + 48, light.name, 32);
    }
    return std::move(f.Data());
}

std::vector<uint8_t> KV3DWriter::PlainVertices(uint32_t vertexCount, uint32_t stride) {
    Bytes v(1);
    for (uint32_t i = 0; i < vertexCount; ++i) {
        const size_t at = size_t(i) * stride;
        const float fields[6] = {float(i), 2.0f * float(i), 3.0f * float(i), 0, 0, 1};
        v.Floats(at, fields, 6);
        v.U32(at + 24, 0xFF000000u | i);
        v.F32(at + 28, 0.5f * float(i));
        v.F32(at + 32, 0.25f * float(i));
        v.Grow(at + stride);
    }
    return std::move(v.Data());
}

KV3DWriterSubmesh KV3DWriter::PlainSubmesh(const std::string& name, uint32_t vertexCount,
                                           std::vector<uint16_t> indices, uint32_t material) {
    KV3DWriterSubmesh s;
    s.name = name;
    s.vertexCount = vertexCount;
    s.vertices = PlainVertices(vertexCount);
    KV3DWriterPart part;
    part.material = material;
    part.indices = std::move(indices);
    s.parts.push_back(part);
    return s;
}

KV3DWriterMesh KV3DWriter::FullMesh(uint8_t alignment) {
    KV3DWriterMesh m;
    m.alignment = alignment;
    m.hasGeometry = true;
    m.boxMin[0] = -2.5f;
    m.boxMax[2] = 4.0f;

    KV3DWriterMaterial body;
    body.name = "body";
    body.diffuse[0] = 0.5f;
    body.ambient[1] = 0.25f;
    body.specular[2] = 0.75f;
    body.emissive[3] = 0.125f;
    body.shininess = 8.0f;
    body.backfaceCulling = 0;
    KV3DWriterMaterial glass;
    glass.name = "glass";
    glass.alphaTest = 1;
    glass.alphaBlend = 1;
    glass.flags = 1;
    glass.textures = {"glass.png", "glass_n.png", "glass_s.png"};
    m.materials = {body, glass};
    m.blendShapeNames = {"smile", "blink"};

    // Skinned: position, normal, colour, one uv set, three weights, four
    // joint indices, a tangent.
    KV3DWriterSubmesh skin;
    skin.name = "skin";
    skin.vertexCount = 4;
    skin.weightsPerVertex = 3;
    skin.hasJoints = 1;
    skin.hasTangents = 1;
    skin.stride = 28 + 8 + 12 + 4 + 12;
    skin.vertices = PlainVertices(4, skin.stride);
    skin.description = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    skin.parts.push_back({0, {0, 1, 2, 0, 2, 3}, 0, 1});
    KV3DWriterBone b0, b1;
    b0.inverseBind[12] = 1.0f;
    b1.inverseBind[13] = -2.0f;
    b1.node = 1;
    skin.bones = {b0, b1};
    for (uint32_t k = 0; k < 2; ++k) {
        KV3DWriterBlendShape shape;
        shape.nameIndex = 1 - k;
        for (uint32_t i = 0; i < 4 * 8; ++i) shape.offsets.push_back(float(k * 100 + i) * 0.5f);
        skin.shapes.push_back(shape);
    }
    // Plain, with a stride other than 36 and both kinds of part.
    KV3DWriterSubmesh plain = PlainSubmesh("plain", 3, {0, 1, 2}, 0);
    plain.stride = 40;
    plain.vertices = PlainVertices(3, 40);
    plain.parts.push_back({1, {2, 1, 0}, 1, 0});
    m.submeshes = {skin, plain};

    m.hasAnimation = true;
    m.animation.rate = 24;
    m.animation.frames = 10;
    m.animation.rootRotation[2] = 0.5f;
    m.animation.rootTranslation[0] = 3.0f;
    m.animation.rootScale[1] = 2.0f;
    m.animation.rootMotion = 3;
    KV3DWriterEntry node;
    node.kind = 0;
    node.name = "root";
    node.rotationTimes = {0, 9};
    node.rotations = {0, 0, 0, 1, 0, 0.7071f, 0, 0.7071f};
    node.translationTimes = {5};
    node.translations = {1, 2, 3};
    node.scaleTimes = {0};
    node.scales = {1, 1, 1};
    KV3DWriterEntry sub;
    sub.kind = 2;
    sub.name = "plain";
    sub.rotationTimes = {3};
    sub.rotations = {0, 0, 0, 1};
    sub.translationTimes = {0, 4};
    sub.translations = {0, 0, 0, 4, 5, 6};
    KV3DWriterEntry pairs;
    pairs.kind = 1;
    pairs.name = "pairs";
    for (uint8_t i = 0; i < 24; ++i) pairs.pairs.push_back(i);
    m.animation.entries = {node, sub, pairs};
    m.animation.firstCount = 2;

    KV3DWriterAttachment hand, head;
    hand.name = "hand";
    hand.matrix[12] = 7.0f;
    head.name = "head";
    m.attachments = {hand, head};
    KV3DWriterCamera near, far;
    near.name = "near";
    near.position[0] = 1.0f;
    far.name = "far";
    far.fov = 1.2f;
    far.target[1] = 9.0f;
    m.cameras = {near, far};
    KV3DWriterCurve path, loop;
    path.name = "path";
    path.word = 0x1234;
    path.points = {0, 0, 0, 0, 1, 2, 3, 1};
    loop.name = "loop";
    loop.points = {0, 0, 0, 0, 1, 0, 0, 0.5f, 0, 0, 0, 1};
    m.curves = {path, loop};
    KV3DWriterLight sun, lamp;
    sun.name = "sun";
    sun.color = 0xFFFFEE00;
    sun.specular = 0xFF101010;
    sun.ambient = 0xFF202020;
    sun.constant = 0.5f;
    sun.linear = 0.25f;
    sun.quadratic = 0.125f;
    sun.range = 100.0f;
    lamp.name = "lamp";
    lamp.position[1] = 3.0f;
    m.lights = {sun, lamp};
    return m;
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> KV3DWriter::BrokenVariants(uint8_t alignment) {
    KV3DWriterLayout l;
    const std::vector<uint8_t> good = Build(FullMesh(alignment), &l);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    auto add = [&](const std::string& name, size_t offset, uint32_t value) {
        std::vector<uint8_t> bytes = good;
        PutU32(&bytes, offset, value);
        out.emplace_back(name, std::move(bytes));
    };
    auto addByte = [&](const std::string& name, size_t offset, uint8_t value) {
        std::vector<uint8_t> bytes = good;
        bytes[offset] = value;
        out.emplace_back(name, std::move(bytes));
    };
    const size_t g = l.geometry, s0 = g + l.submeshes[0], s1 = g + l.submeshes[1];
    const size_t a = l.animation;
    addByte("alignment 0", 5, 0);
    addByte("alignment 3", 5, 3);
    addByte("version 2", 4, 2);
    add("geometry size past the file", 12, 0x7FFFFFF0);
    addByte("light count past the file", 11, 255);
    add("curve count without a curve block", 20, 0);
    add("submesh count past the block", g, 1000);
    add("material count past the block", g + 4, 1000);
    add("blend shape name count past the block", g + 44, 0x7FFFFFFF);
    add("texture count past the block", g + l.materials[1] + 64, 0x10000000);
    add("record size 0", s0 + 36, 0);
    add("record size past the block", s1 + 36, 0xFFFFFF00);
    addByte("part count past the record", s0 + 47, 255);
    add("bone count past the block", s0 + 52, 0x4000000);
    add("description size past the block", s0 + 56, 0xFFFFFFF0);
    add("vertex count past the block", s0 + 4, 0x10000000);
    add("vertex offset past the block", s0 + 20, l.geometrySize);
    add("stride below the vertex layout", s0 + 48, 36);
    add("index offset past the block", s1 + 16, l.geometrySize - 2);
    add("index size past the block", s1 + 96 + 12, 0x7FFFFFFF);
    add("index count past the index size", s1 + 96 + 4, 1000);
    add("blend shape count past the block", s0 + 40, 0x40000000);
    add("blend shape offset past the block", s0 + 28, l.geometrySize);
    add("entry count past the block", a, 1000);
    add("rotation key count past the block", a + l.entries[0] + 4, 0x10000000);
    add("translation key count past the block", a + l.entries[0] + 8, 0x20000000);
    add("scale key count past the block", a + l.entries[1] + 12, 0x08000000);
    add("pair count past the block", a + l.entries[2] + 4, 0x20000000);
    add("curve point count past the block", l.curves, 0x1000);
    return out;
}

void KV3DWriter::PutU32(std::vector<uint8_t>* bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) (*bytes)[offset + size_t(i)] = uint8_t(value >> (8 * i));
}

uint32_t KV3DWriter::GetU32(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(bytes[offset + size_t(i)]) << (8 * i);
    return v;
}

} // namespace kvtest
