#include "KVSerialize.h"

#include "../KVLua/IKVLua.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVFormat.h"
#include "../kernel/KVPath.h"

namespace kvl {
namespace {

constexpr int32_t kModifiedNotifyCode = 15;

void LogPlain(const std::string& text) {
    if (IKVLog* log = GetLog()) log->WriteString(text, KVLOG_ERROR, 0);
}

} // namespace

KVSerialize::KVSerialize() = default;
KVSerialize::~KVSerialize() {
    // The project directory belongs to the project this serializer loaded.
    SetProjectDirectory(std::string());
}

int32_t KVSerialize::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVSerialize) return AnswerInterface(static_cast<IKVSerialize*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

bool KVSerialize::EnsureFileInterface() {
    if (!GetFileInterface()) SetFileInterface(QueryCoreInterface<IKVFile>(IID_IKVFile));
    return GetFileInterface() != nullptr;
}

int32_t KVSerialize::Init(int32_t phase) {
    switch (phase) {
    case 0:
        m_fileInfo.SetExactMatch(false);
        CloseFile();
        SetFileInterface(nullptr);
        break;
    case 1: {
        uint64_t uid = 0;
        m_host->NewUid(&uid);
        m_projectId = uid;
        m_kvls.clear();
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVFileManager", this);
        break;
    }
    case 2:
        m_currentKvlIndex = 0;
        m_fileInfo.Clear();
        EnsureFileInterface();
        break;
    default:
        break;
    }
    return KV_OK;
}

int32_t KVSerialize::Release(int32_t phase) {
    if (phase == 1) UnloadAllGroups();
    if (phase == 2) m_kvls.clear();
    return KV_OK;
}

int32_t KVSerialize::LoadProject(const std::string& path) {
    EnsureFileInterface();
    if (path.empty()) return KV_FAILED;
    m_projectPath = path;
    const size_t slash = path.rfind('/');
    m_projectDirectory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    SetProjectDirectory(m_projectDirectory);
    m_host->SetPakBasePath(m_projectDirectory);
    SetCurrentFilePath(path);
    if (path.back() == 'x' || path.back() == 'X') return KV_FAILED;
    m_projectOpened = true;
    if (OpenFile(path) != KV_OK) return KV_FAILED;

    // The previous project's model is gone once another project file opens.
    m_groups.clear();
    m_kvls.clear();
    KVProjectFile file;
    if (file.ReadHeader(*this) != KV_OK) {
        CloseFile();
        return KV_FAILED;
    }
    m_projectVersion = file.GetVersion();
    SetVersion(m_projectVersion);
    const bool oldFormat = m_projectVersion < KVProjectFile::kFirstNewFormatVersion;
    SetOldValueEncoding(oldFormat);
    SetOldChunkHeader(oldFormat);
    if (file.GetProjectId() != 0) m_projectId = file.GetProjectId();

    if (file.ReadBody(*this) != KV_OK) {
        CloseFile();
        return KV_FAILED;
    }
    std::vector<KVKvlRecord> kvls(file.Paths().size());
    for (size_t i = 0; i < kvls.size(); ++i) MakeAbsolutePath(file.Paths()[i], &kvls[i].path);
    m_kvls = std::move(kvls);
    m_groups = std::move(file.Groups());
    return KV_OK;
}

int32_t KVSerialize::ReadKvlHeader(int32_t index) {
    EnsureFileInterface();
    KVKvlRecord* kvl = GetKvl(index);
    if (!kvl) {
        LogPlain(Format("kvl index {0} is out of range ({1} kvls)", FormatValue(index), FormatValue(GetKvlCount())));
        return KV_INVALID;
    }
    SetCurrentFilePath(kvl->path);
    uint32_t attributes = 0;
    if (IKVFile* file = GetFileInterface()) {
        if (file->GetFileAttributes(kvl->path.c_str(), &attributes) == KV_OK) {
            kvl->readOnly = (attributes & KVFILE_ATTR_READONLY) != 0;
        }
    }
    kvl->modified = false;
    m_currentKvlIndex = index;
    if (!m_projectOpened) return KV_OK;
    const std::string path = kvl->path;
    int32_t result = OpenFile(path);
    if (result != KV_OK) return result;
    return ReadSceneHeader(m_host->GetProjectId());
}

KVKvlRecord* KVSerialize::GetKvl(int32_t index) {
    if (index < 0 || size_t(index) >= m_kvls.size()) return nullptr;
    return &m_kvls[size_t(index)];
}

int32_t KVSerialize::LoadGroup(int32_t group) {
    if (group < 0 || size_t(group) >= m_groups.size()) return KV_INVALID;
    // The core may call back into the serializer while it opens a kvl, so
    // the group is read by index, not held by reference.
    const std::vector<uint32_t> indices = m_groups[size_t(group)].kvls;
    const std::string name = m_groups[size_t(group)].name;
    bool opened = false;
    bool failed = false;
    for (uint32_t index : indices) {
        if (index >= m_kvls.size()) continue;
        if (m_kvls[index].loadCount++ != 0) continue;
        if (m_host->HasPendingProject()) return KV_OK;
        if (!opened) m_host->LoadScenePaks(name);
        opened = true;
        const int32_t result = m_host->OpenKvl(int32_t(index));
        if (result != KV_OK) {
            failed = true;
            const std::string path = index < m_kvls.size() ? m_kvls[index].path : std::string();
            LogPlain(Format("{0}: scene not loaded (error 0x{1x})", FormatValue(path), FormatValue(uint32_t(result))));
        }
    }
    if (m_host->HasPendingProject()) return KV_OK;
    // Counted before the new units' events run: an unload from one of them
    // finds the group loaded and takes it back.
    if (size_t(group) < m_groups.size()) ++m_groups[size_t(group)].loadCount;
    if (opened) {
        m_host->FinishSceneLoad(1, 0);
        m_host->ReleaseTemporaryPaks();
    }
    return failed ? KV_FAILED : KV_OK;
}

void KVSerialize::UnloadGroupScenes(int32_t group) {
    const std::vector<uint32_t> indices = m_groups[size_t(group)].kvls;
    m_groups[size_t(group)].unloading = true;
    for (uint32_t index : indices) {
        // A kvl nothing holds stays as it is: its count never wraps below 0.
        if (index >= m_kvls.size() || m_kvls[index].loadCount == 0) continue;
        if (--m_kvls[index].loadCount == 0) m_host->UnloadKvl(int32_t(index), false);
    }
    if (size_t(group) < m_groups.size()) m_groups[size_t(group)].unloading = false;
}

int32_t KVSerialize::UnloadGroup(int32_t group) {
    if (group < 0 || size_t(group) >= m_groups.size()) return KV_INVALID;
    KVGroupRecord& record = m_groups[size_t(group)];
    // The events of this group's own unload ("OnDisable") have nothing
    // more to take back.
    if (record.unloading) return KV_OK;
    // What the group holds: its loads, then its load at start; a group
    // that holds nothing stays at 0.
    if (record.loadCount > 0)
        --record.loadCount;
    else if (record.startLoadHeld)
        record.startLoadHeld = false;
    else
        return KV_OK;
    UnloadGroupScenes(group);
    return KV_OK;
}

int32_t KVSerialize::UnloadAllGroups() {
    // The loads at start are the unit factory's to release.
    for (size_t g = 0; g < m_groups.size(); ++g) {
        for (int32_t count = m_groups[g].loadCount; count > 0 && g < m_groups.size(); --count) {
            --m_groups[g].loadCount;
            UnloadGroupScenes(int32_t(g));
        }
    }
    return KV_OK;
}

int32_t KVSerialize::FindGroup(const std::string& name) const {
    for (size_t g = 0; g < m_groups.size(); ++g) {
        if (m_groups[g].name == name) return int32_t(g);
    }
    return -1;
}

int32_t KVSerialize::SetKvlModified(int32_t index, bool modified) {
    KVKvlRecord* kvl = GetKvl(index);
    if (!kvl) return KV_INVALID;
    kvl->modified = modified;
    m_host->Notify(kModifiedNotifyCode, 0, nullptr);
    return KV_OK;
}

int32_t KVSerialize::RemoveKvl(int32_t index) {
    if (!GetKvl(index)) return KV_INVALID;
    m_kvls.erase(m_kvls.begin() + index);
    const uint32_t removed = uint32_t(index);
    for (KVGroupRecord& group : m_groups) {
        std::vector<uint32_t> kept;
        kept.reserve(group.kvls.size());
        for (uint32_t k : group.kvls) {
            if (k == removed) continue;  // would otherwise name the next kvl
            kept.push_back(k > removed ? k - 1 : k);
        }
        group.kvls = std::move(kept);
    }
    return KV_OK;
}

int32_t KVSerialize::CheckFileChanged(const std::string& path) {
    IKVFile* file = GetFileInterface();
    KVFileTime info;
    if (!file || file->GetFileTime(path.c_str(), &info) != KV_OK) return 1;
    return m_fileInfo.Check(path, info);
}

} // namespace kvl
