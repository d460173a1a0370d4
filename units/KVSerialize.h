#pragma once
// Serializer: reads the project file and the scene (kvl) files through one
// open file, keeps the project's scene list and scene groups, loads and
// unloads groups, and resolves the game's paths against the project
// directory.
#include <string>
#include <vector>
#include "../kernel/IKVModule.h"
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"
#include "IKVSerialize.h"
#include "KVChunkReader.h"
#include "KVFileInfoCache.h"
#include "KVProjectFile.h"
#include "KVSerializeHost.h"

namespace kvl {

class KVSerialize : public Singleton<KVSerialize>,
                    public IKVModule,
                    public IKVSerialize,
                    public KVLuaLibrary,
                    public KVChunkReader {
public:
    KVSerialize();
    ~KVSerialize() override;

    // IKVUnknown: answers IKVSerialize only.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // IKVModule
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    // KVLuaLibrary: "KVFileManager"
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // IKVSerialize
    int32_t MakeAbsolutePath(const std::string& path, std::string* out) override;
    int32_t MakeRelativePath(const std::string& path, std::string* out) override;
    int32_t IsRootedPath(const std::string& path) override;
    int32_t SplitList(const std::string& text, std::vector<std::string>* out) override;
    int32_t GetFileTitle(const std::string& path, std::string* out) override;
    int32_t CheckFileChanged(const std::string& path) override;
    const std::string& GetProjectDirectory() override { return m_projectDirectory; }

    // Folds "/./" steps, then "/../" steps with the component before them.
    static void NormalizePath(std::string* path);

    // Reads the head of a project file and leaves it open at the properties
    // block. 0, or 1 on any failure (the file is then closed).
    int32_t LoadProject(const std::string& path);
    // Opens a kvl and checks its header: 0 when positioned after it; 1 after
    // a logged header failure; the file layer's code when it does not open;
    // 3 for an index outside the kvl list.
    int32_t ReadKvlHeader(int32_t index);

    uint64_t GetProjectId() const { return m_projectId; }
    uint32_t GetProjectVersion() const { return m_projectVersion; }
    const std::string& GetProjectPath() const { return m_projectPath; }
    bool IsProjectOpened() const { return m_projectOpened; }
    int32_t GetCurrentKvlIndex() const { return m_currentKvlIndex; }

    // Scene groups. A bad index answers 3 and changes nothing. LoadGroup
    // answers 1 when a kvl of the group failed to open.
    int32_t LoadGroup(int32_t group);
    int32_t UnloadGroup(int32_t group);
    int32_t UnloadAllGroups();
    // The first group of exactly this name, -1 when none.
    int32_t FindGroup(const std::string& name) const;
    std::vector<KVGroupRecord>& GetGroups() { return m_groups; }

    // Scene files, by kvl index.
    std::vector<KVKvlRecord>& GetKvls() { return m_kvls; }
    KVKvlRecord* GetKvl(int32_t index);
    int32_t GetKvlCount() const { return int32_t(m_kvls.size()); }
    // The first kvl with the same file title, ASCII case ignored; -1 when none.
    int32_t FindKvlByTitle(const std::string& path);
    // A scene named by its path or its title: the lookup by file title.
    int32_t GetKVLIndex(const std::string& path);
    int32_t SetKvlModified(int32_t index, bool modified);
    // Removes a kvl: later kvls move down by one, and every group forgets
    // the index and renumbers the later ones.
    int32_t RemoveKvl(int32_t index);

    // The rest of the engine as the serializer sees it; null restores the
    // engine's own.
    void SetHost(IKVSerializeHost* host) { m_host = host ? host : &m_engineHost; }
    KVFileInfoCache& GetFileInfoCache() { return m_fileInfo; }

private:
    bool EnsureFileInterface();
    void UnloadGroupScenes(int32_t group);

    std::string m_projectPath;
    std::string m_projectDirectory;
    uint32_t m_projectVersion = 0;
    bool m_projectOpened = false;
    std::vector<KVGroupRecord> m_groups;
    std::vector<KVKvlRecord> m_kvls;
    int32_t m_currentKvlIndex = 0;
    KVFileInfoCache m_fileInfo;
    uint64_t m_projectId = 0;
    KVSerializeHost m_engineHost{&m_projectId};
    IKVSerializeHost* m_host = &m_engineHost;
};

} // namespace kvl
