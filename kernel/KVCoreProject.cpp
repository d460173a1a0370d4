// The core's project loading and its kvl services.
#include <cstdio>

#include "../KVLua/KVLua.h"
#include "../graphics/IKVGraphicDevice.h"
#include "../units/KVSerialize.h"
#include "../units/KVUnitFactory.h"
#include "IKVLog.h"
#include "IKVThread.h"
#include "IKVThreadFactory.h"
#include "KVConfig.h"
#include "KVCore.h"
#include "KVFormat.h"
#include "KVLoadAnimator.h"
#include "KVLog.h"
#include "KVPak.h"
#include "KVProperties.h"

namespace kvl {

std::string KVCore::GetProjectPath() {
    IKVFile* file = m_file;
    if (!file) {
        void* out = nullptr;
        if (QueryInterface(IID_IKVFile, &out) == KV_OK) file = static_cast<IKVFile*>(out);
    }
    std::string root;
    if (file) file->GetRootPath(&root);
    std::string name;
    if (KVConfig* config = KVConfig::Instance()) name = config->GetString("STARTUP", "KVPROJ");
    if (name.empty() && file) {
        // The first in byte order: the order of a listing differs between
        // machines.
        FileFindData data;
        if (KVFindHandle find = file->FindFirst((root + "*.kvproj").c_str(), &data)) {
            do {
                if (name.empty() || data.name < name) name = data.name;
            } while (file->FindNext(find, &data) == KV_OK);
            file->FindClose(find);
        }
    }
    if (name.empty()) return std::string();
    if (name[0] == '/') return name;
    return root + name;
}

int32_t KVCore::LoadProject(const std::string& name) {
    std::string path = name.empty() ? GetProjectPath() : name;
    KVSerialize* serializer = KVSerialize::Instance();
    int32_t result = serializer ? serializer->LoadProject(path) : KV_FAILED;
    if (result != KV_OK) {
        ReportLoadFailure(path, result);
        return result;
    }
    m_loadPending = true;
    m_finishStarted = false;
    m_finishEnded = false;
    m_unitsError = KV_OK;
    m_projectPath = path;
    if (KVProperties* properties = KVProperties::Instance()) properties->ReadProjectBlock(*serializer);
    if (serializer->GetProjectVersion() < 0x10002) serializer->SkipChunk();
    if (KVLua* lua = KVLua::Instance()) lua->SetProjectFileVersion(serializer->GetProjectVersion());
    Init(2);

    if (m_loadAnimator.empty() || !StartLoadAnimator()) {
        m_loading = false;
        m_loadOnThread = false;
        FinishLoadHere();
        if (m_unitsError != KV_OK) {
            FailProjectLoad();
            return m_unitsError;
        }
        FlushUnitEnables();
        RememberFile(path);
        return KV_OK;
    }
    m_loading = true;
    if (m_loadOnThread) {
        IKVThreadFactory* threads = GetThreadFactory();
        m_loadingThread = threads ? threads->CreateThread() : nullptr;
        if (m_loadingThread) {
            m_finishStarted = true;
            m_loadingThread->Run([](IKVThread*, void* core) { static_cast<KVCore*>(core)->FinishProjectLoad(); },
                                 this, 0);
        } else {
            m_loadOnThread = false;
        }
    }
    UpdateLoadAnimator();
    RememberFile(path);
    return KV_OK;
}

void KVCore::ReportLoadFailure(const std::string& path, int32_t result) {
    // Before a project's properties are read the log also tells standard error.
    const std::string text =
        Format("Unable to load {0} (error 0x{1x})", FormatValue(path), FormatValue(uint32_t(result)));
    if (IKVLog* log = GetLog()) log->ErrorString(text);
    // Later (the project's units could not be read) the program still ends:
    // say why where a person who started it looks, unless "log.txt" has it.
    KVLog* log = KVLog::Instance();
    if (m_loadPending && !(log && log->WritesToDisk())) std::fprintf(stderr, "ERR  : %s\n", text.c_str());
    SetLoadError(4);
}

void KVCore::FinishLoadHere() {
    if (m_finishStarted) return;
    m_finishStarted = true;
    FinishProjectLoad();
}

void KVCore::FailProjectLoad() {
    // Without the project's class table there is no game to
    // run: every loading path ends the program the same way.
    ReportLoadFailure(m_projectPath, m_unitsError);
    m_quitRequested = true;
}

int32_t KVCore::FinishProjectLoad() {
    Init(3);
    KVSerialize* serializer = KVSerialize::Instance();
    KVUnitFactory* units = KVUnitFactory::Instance();
    int32_t err = units ? units->ReadProjectClasses() : KV_OK;
    if (serializer) serializer->CloseFile();
    // Marks the end of this run whichever way it returns; read by the main
    // thread once the loading thread is no longer busy.
    struct EndMark {
        std::atomic<bool>& ended;
        ~EndMark() { ended.store(true, std::memory_order_release); }
    } endMark{m_finishEnded};
    if (err != KV_OK) {
        m_unitsError = err;
        return err;
    }
    if (m_loadError != 0) return KV_FAILED;
    if (!CheckDevices()) {
        // The game runs on without scenes; say why, since nothing else will.
        if (IKVLog* log = GetLog()) {
            void* device = nullptr;
            bool graphic = QueryInterface(IID_IKVGraphicDevice, &device) == KV_OK;
            log->ErrorString(graphic ? "Scenes not loaded: no sound device (NeedSoundDevice is set)"
                                     : "Scenes not loaded: no graphic device");
        }
        return KV_FAILED;
    }
    if (!serializer) return KV_FAILED;
    std::vector<KVKvlRecord>& kvls = serializer->GetKvls();
    for (KVGroupRecord& group : serializer->GetGroups()) {
        group.startLoadHeld = group.loadAtStart;
        for (uint32_t k : group.kvls) {
            if (k >= kvls.size()) continue;
            KVKvlRecord& kvl = kvls[k];
            ++kvl.groupCount;
            if (!group.loadAtStart) continue;
            if (++kvl.loadCount != 1) continue;
            if (serializer->ReadKvlHeader(int32_t(k)) != KV_OK) continue;
            if (serializer->GetFileVersion() < 0x20000) {
                serializer->SkipChunk();
                serializer->SkipChunk();
            }
            if (units) units->CreateSceneUnits(int32_t(k));
            serializer->CloseFile();
            RememberFile(kvl.path);
        }
    }
    if (units) units->FinishSceneLoad(0, 1);
    if (KVPak* paks = KVPak::Instance()) paks->ReleaseTemporaryPaks();
    m_loadPending = false;
    return KV_OK;
}

int32_t KVCore::OpenKvl(int32_t index) {
    KVSerialize* serializer = KVSerialize::Instance();
    if (!serializer) return KV_NO_FILE;
    int32_t result = serializer->ReadKvlHeader(index);
    if (result != KV_OK) return result;
    if (serializer->GetFileVersion() < 0x20000) {
        serializer->SkipChunk();
        serializer->SkipChunk();
    }
    if (KVUnitFactory* units = KVUnitFactory::Instance()) units->CreateSceneUnits(index);
    serializer->CloseFile();
    if (KVKvlRecord* kvl = serializer->GetKvl(index)) RememberFile(kvl->path);
    return KV_OK;
}

int32_t KVCore::UnloadKvl(int32_t index, bool remove) {
    if (KVUnitFactory* units = KVUnitFactory::Instance()) units->CloseKvlUnits(index, remove);
    KVSerialize* serializer = KVSerialize::Instance();
    if (!serializer) return KV_OK;
    // Only the flag: the host hears of changes, not of unloads.
    if (KVKvlRecord* kvl = serializer->GetKvl(index)) kvl->modified = false;
    if (remove) serializer->RemoveKvl(index);
    return KV_OK;
}

uint64_t KVCore::GetProjectId() {
    KVSerialize* serializer = KVSerialize::Instance();
    return serializer ? serializer->GetProjectId() : 0;
}

int32_t KVCore::RememberFile(const std::string& path) {
    if (!m_editorMode || !m_file) return KV_OK;
    KVFileHandle handle = nullptr;
    if (m_file->Open(path.c_str(), KVFILE_READ, &handle) == KV_OK) m_rememberedFiles.emplace_back(path, handle);
    return KV_OK;
}

int32_t KVCore::ForgetFile(const std::string& path) {
    if (!m_editorMode) return KV_OK;
    for (size_t i = 0; i < m_rememberedFiles.size(); ++i) {
        const std::string& p = m_rememberedFiles[i].first;
        if (p.size() != path.size()) continue;
        bool same = true;
        for (size_t k = 0; k < p.size() && same; ++k) {
            char a = p[k], b = path[k];
            if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
            if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
            same = a == b;
        }
        if (!same) continue;
        if (m_file) m_file->Close(m_rememberedFiles[i].second);
        m_rememberedFiles.erase(m_rememberedFiles.begin() + std::ptrdiff_t(i));
        return KV_OK;
    }
    return KV_FAILED;
}

void KVCore::CloseRememberedFiles() {
    for (auto& entry : m_rememberedFiles) {
        if (m_file) m_file->Close(entry.second);
    }
    m_rememberedFiles.clear();
}

void KVCore::WaitForLoadingThread() {
    if (!m_loadingThread) return;
    IKVThreadFactory* threads = GetThreadFactory();
    while (m_loadingThread->IsBusy()) {
        if (threads) threads->Sleep(0.02f);
    }
    m_loadingThread->Release();
    m_loadingThread = nullptr;
}

void KVCore::LoadingStep() {
    KVLoadAnimator* animator = KVLoadAnimator::Instance();
    IKVThreadFactory* threads = GetThreadFactory();
    if (animator && animator->IsRunning()) {
        if (animator->IsSuspendRequested()) {
            if (m_loadPending) {
                if (m_loadOnThread)
                    WaitForLoadingThread();
                else
                    FinishLoadHere();
            }
            animator->ClearSuspendRequest();
        } else if (!LoadFailed()) {
            animator->Update();
            if (threads) threads->Sleep(0.02f);
        }
        if (LoadFailed()) FailProjectLoad();
        return;
    }
    if (m_loadPending && !m_loadOnThread) FinishLoadHere();
    WaitForLoadingThread();
    if (LoadFailed()) {
        FailProjectLoad();
        return;
    }
    FlushUnitEnables();
    m_loading = false;
}

void KVCore::FlushUnitEnables() {
    if (KVUnitFactory* units = KVUnitFactory::Instance()) units->FlushPendingEnables();
}

bool KVCore::LoadFailed() const {
    return m_finishEnded.load(std::memory_order_acquire) && m_unitsError != KV_OK;
}

bool KVCore::IsProjectLoading() const {
    return m_loadPending && !m_finishEnded.load(std::memory_order_acquire);
}

} // namespace kvl
