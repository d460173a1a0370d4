// The core's project loading and its kvl services.
#include <cstdio>

#include "IKVLog.h"
#include "IKVThread.h"
#include "IKVThreadFactory.h"
#include "KVConfig.h"
#include "KVCore.h"
#include "KVFormat.h"

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
        FileFindData data;
        KVFindHandle find = file->FindFirst((root + "*.kvproj").c_str(), &data);
        if (find) {
            name = data.name;
            file->FindClose(find);
        }
    }
    if (name.empty()) return std::string();
    if (name[0] == '/') return name;
    return root + name;
}

int32_t KVCore::LoadProject(const std::string& name) {
    std::string path = name.empty() ? GetProjectPath() : name;
    int32_t result = KV_OPEN_READ_FAILED;  // no project reader yet
    std::string message = Format("Unable to load {0} (error 0x{1x})", FormatValue(path),
                                 FormatValue(uint32_t(result)));
    if (IKVLog* log = GetLog()) log->ErrorString(message);
    // The log reaches the disk only once a project's properties are read, so a
    // start-up failure is also told on standard error.
    std::fprintf(stderr, "%s\n", message.c_str());
    SetLoadError(4);
    return result;
}

int32_t KVCore::FinishProjectLoad() { return KV_OK; }
int32_t KVCore::OpenKvl(int32_t) { return KV_NOT_FOUND; }
int32_t KVCore::UnloadKvl(int32_t, bool) { return KV_OK; }
uint64_t KVCore::GetProjectId() { return 0; }

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

void KVCore::LoadingStep() { m_loading = false; }

} // namespace kvl
