#include "KVShaderParams.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "../graphics/IKVGraphicDevice3D.h"
#include "../kernel/IKVFile.h"
#include "../kernel/KVCore.h"
#include "IKVShaderProgram.h"
#include "KVSerialize.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

constexpr int32_t kNotifyValuesChanged = 14;
// Description files are small texts; a larger file is not one.
constexpr uint32_t kMaxDescriptionSize = 1u << 20;

int32_t ParseLocation(const std::string& text) {
    errno = 0;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return int32_t(value);
}

// The shader parameters' change callback: the unit's list goes to its
// program again.
void ShaderParamChanged(IKVUnit* unit, void* user) {
    if (unit && user) unit->GetUnit()->ApplyShaderParams(*static_cast<KVShaderParamList*>(user));
}

} // namespace

std::vector<KVShaderParamLine> ParseShaderParamText(const std::string& text) {
    std::vector<KVShaderParamLine> lines;
    std::vector<std::string> fields;
    std::string field;
    bool comment = false;
    auto endLine = [&]() {
        fields.push_back(field);
        if (!fields[0].empty()) {
            KVShaderParamLine line;
            line.name = fields[0];
            if (fields.size() > 1) line.location = ParseLocation(fields[1]);
            for (size_t k = 2; k < fields.size() && k < 6; ++k) line.values[k - 2] = std::strtof(fields[k].c_str(), nullptr);
            lines.push_back(line);
        }
        fields.clear();
        field.clear();
        comment = false;
    };
    for (char c : text) {
        if (c == '\n') {
            endLine();
            continue;
        }
        if (comment) continue;
        if (c == ';') {
            comment = true;
        } else if (c == ',') {
            fields.push_back(field);
            field.clear();
        } else if (uint8_t(c) >= uint8_t('!')) {
            field += c;
        }
    }
    endLine();
    return lines;
}

KVShaderParamList* KVUnit::NewShaderParamList(IKVShaderProgram** program) {
    auto* list = new KVShaderParamList;
    list->program = program;
    return list;
}

void KVUnit::FreeShaderParamList(KVShaderParamList* list) { delete list; }

void KVUnit::ApplyShaderParams(const KVShaderParamList& list) {
    IKVShaderProgram* program = list.program ? *list.program : nullptr;
    if (!program || !m_parameters) return;
    for (const KVShaderParamEntry& entry : list.entries) {
        KVUnitParameter* parameter = m_parameters->At(entry.index);
        if (!parameter || parameter->values.empty()) continue;
        const int32_t count = int32_t(parameter->values.size());
        if (parameter->kind == KVPARAM_INTEGER)
            program->SetIntegerParameter(entry.location, &parameter->values[0].integer, count);
        else if (parameter->kind == KVPARAM_FLOAT)
            program->SetFloatParameter(entry.location, &parameter->values[0].real, count);
    }
}

IKVUnknownRef* KVUnit::LoadShaderObject(const std::string& path, bool pixel, KVShaderParamList* list,
                                        IKVShaderProgram** program) {
    *program = nullptr;
    if (path.empty() || !IsEnabled()) return nullptr;
    auto* device = QueryCoreInterface<IKVGraphicDevice3D>(IID_IKVGraphicDevice3D);
    if (!device) return nullptr;
    std::string full = path;
    if (KVSerialize* serializer = KVSerialize::Instance()) serializer->MakeAbsolutePath(path, &full);
    IKVUnknownRef* shader = nullptr;
    const int32_t result =
        pixel ? device->LoadPixelShader(full.c_str(), &shader) : device->LoadVertexShader(full.c_str(), &shader);
    if (result != KV_OK) {
        // A failed load keeps nothing, even what the device handed out.
        if (shader) shader->Release();
        return nullptr;
    }
    if (!shader) return nullptr;
    void* face = nullptr;
    if (shader->QueryInterface(IID_IKVShaderProgram, &face) == KV_OK) *program = static_cast<IKVShaderProgram*>(face);
    if (list) ApplyShaderParams(*list);
    return shader;
}

void KVUnit::ClearShaderParams(KVShaderParamList* list) {
    if (m_parameters)
        for (const KVShaderParamEntry& entry : list->entries) m_parameters->Remove(entry.index);
    list->entries.clear();
}

void KVUnit::LoadShaderParams(KVShaderParamList* list, const std::string& shaderPath) {
    if (!list) return;
    ClearShaderParams(list);
    ReadShaderDescription(list, shaderPath);
    ApplyShaderParams(*list);
}

void KVUnit::ReloadShaderParams(KVShaderParamList* list, const std::string& shaderPath) {
    if (!list) return;
    ClearShaderParams(list);
    if (!shaderPath.empty()) ReadShaderDescription(list, shaderPath);
}

void KVUnit::ReadShaderDescription(KVShaderParamList* list, const std::string& shaderPath) {
    KVSerialize* serializer = KVSerialize::Instance();
    IKVFile* file = QueryCoreInterface<IKVFile>(IID_IKVFile);
    if (!file) return;
    std::string path = shaderPath;
    if (serializer) serializer->MakeAbsolutePath(shaderPath, &path);
    path += ".info";
    KVFileHandle handle = nullptr;
    if (file->Open(path.c_str(), KVFILE_READ, &handle) != KV_OK || !handle) return;
    const uint32_t size = file->GetSize(handle);
    std::string text(size <= kMaxDescriptionSize ? size : 0u, '\0');
    uint32_t got = 0;
    if (!text.empty() && file->Read(handle, &text[0], uint32_t(text.size()), &got) == KV_OK)
        text.resize(got < text.size() ? got : text.size());
    else
        text.clear();
    for (const KVShaderParamLine& line : ParseShaderParamText(text)) {
        int32_t index = AddParameter(line.name, KVPARAM_FLOAT, 4, &ShaderParamChanged, list);
        if (KVUnitParameter* parameter = m_parameters->At(index))
            for (size_t k = 0; k < 4; ++k) parameter->values[k].real = line.values[k];
        list->entries.push_back(KVShaderParamEntry{line.name, index, line.location});
    }
    file->Close(handle);
    if (KVCore* core = KVCore::Instance()) core->Notify(kNotifyValuesChanged, m_index, nullptr);
}

} // namespace kvl
