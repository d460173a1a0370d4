#include "KVPakArchive.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "KVTypes.h"

namespace kvl {
namespace {

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// A text field that may fill its whole width without a terminating zero.
std::string FieldText(const uint8_t* p, size_t width) {
    size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

char NodeCharacter(uint32_t node) { return char(uint8_t(node >> 24)); }

// Whether a listed name, given back as a path or pattern, names itself.
bool Answerable(const std::string& name, bool directory) {
    if (name.find('\0') != std::string::npos) return false;
    return !directory || name.find_first_of("*?") == std::string::npos;
}

} // namespace

bool KVPakArchive::ParseDescriptor(const uint8_t* data, size_t size, std::vector<PakDescriptorRecord>* out) {
    if (out) out->clear();
    if (!data || size < kDescriptorHeadSize) return false;
    if (std::memcmp(data, "PADE", 4) != 0 || data[4] > 1) return false;
    size_t count = size_t(data[6]) | (size_t(data[7]) << 8);
    if ((size - kDescriptorHeadSize) / kDescriptorRecordSize < count) return false;
    if (!out) return true;
    out->resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* r = data + kDescriptorHeadSize + i * kDescriptorRecordSize;
        PakDescriptorRecord& record = (*out)[i];
        record.name = FieldText(r, 30);
        record.loadWithProject = (r[30] & 1) != 0;
        record.compressed = (r[30] & 2) != 0;
        record.group = FieldText(r + 32, 32);
    }
    return true;
}

bool KVPakArchive::CheckHead(const uint8_t* data, size_t size) {
    return data && size >= kHeadSize && std::memcmp(data, "PAKN", 4) == 0 && ReadU32(data + 4) == kVersion;
}

bool KVPakArchive::Allocate(uint32_t size) {
    m_valid = false;
    m_size = 0;
    m_body.reset(new (std::nothrow) uint8_t[size ? size : 1]());
    if (!m_body) return false;
    m_size = size;
    return true;
}

bool KVPakArchive::Word(uint32_t index, uint32_t* out) const {
    if (uint64_t(index) * 4 + 4 > m_size) return false;
    *out = ReadU32(m_body.get() + size_t(index) * 4);
    return true;
}

bool KVPakArchive::ReadRecord(uint32_t payload, PakFileRecord* out) const {
    if (uint64_t(payload) + 8 > m_size) return false;
    out->offset = ReadU32(m_body.get() + payload);
    out->size = ReadU32(m_body.get() + payload + 4);
    return true;
}

bool KVPakArchive::CheckContent(const PakFileRecord& record) const {
    if (!m_compressed) return uint64_t(record.offset) + record.size <= m_size;
    if (uint64_t(record.offset) + 4 > m_size) return false;
    uint32_t compressedLength = ReadU32(m_body.get() + record.offset);
    return uint64_t(record.offset) + 4 + compressedLength <= m_size;
}

bool KVPakArchive::Validate() {
    m_valid = false;
    if (!m_body) return false;
    // An empty body is a pak without entries.
    if (m_size == 0) return m_valid = true;
    uint32_t words = m_size / 4;
    if (words == 0) return false;
    std::vector<bool> seen(words, false);
    m_shadowed.assign(words, false);
    std::vector<uint32_t> lists{0};
    while (!lists.empty()) {
        uint32_t position = lists.back();
        lists.pop_back();
        bool met[256] = {};
        for (;;) {
            uint32_t node;
            if (!Word(position, &node) || seen[position]) return false;
            seen[position] = true;
            bool& character = met[uint8_t(NodeCharacter(node))];
            m_shadowed[position] = character;
            character = true;
            ++position;
            if (node & kEndsFile) {
                uint32_t payload;
                PakFileRecord record;
                if (!Word(position, &payload) || seen[position]) return false;
                seen[position] = true;
                ++position;
                if (!ReadRecord(payload, &record) || !CheckContent(record)) return false;
            }
            if (node & kHasChildren) {
                uint32_t child = node & kChildMask;
                if (child >= words) return false;
                lists.push_back(child);
            }
            if (!(node & kHasSibling)) break;
        }
    }
    return m_valid = true;
}

bool KVPakArchive::FindInList(char c, uint32_t* position, uint32_t* node) const {
    for (;;) {
        if (!Word(*position, node)) return false;
        if (NodeCharacter(*node) == c) return true;
        if (!(*node & kHasSibling)) return false;
        *position += (*node & kEndsFile) ? 2 : 1;
    }
}

bool KVPakArchive::Lookup(const char* path, size_t length, PakFileRecord* out) const {
    if (!m_valid || !path || length == 0 || m_size == 0) return false;
    uint32_t list = 0;
    for (size_t i = 0; i < length; ++i) {
        uint32_t position = list;
        uint32_t node;
        if (!FindInList(path[i], &position, &node)) return false;
        if (i + 1 == length) {
            uint32_t payload;
            if (!(node & kEndsFile) || !Word(position + 1, &payload)) return false;
            PakFileRecord record;
            if (!ReadRecord(payload, &record) || !CheckContent(record)) return false;
            if (out) *out = record;
            return true;
        }
        if (!(node & kHasChildren)) return false;
        list = node & kChildMask;
    }
    return false;
}

void KVPakArchive::Advance(ListState* state) const {
    while (!state->stack.empty()) {
        auto& top = state->stack.back();
        uint32_t node;
        if (!Word(top.first, &node)) {
            state->stack.clear();
            return;
        }
        if (node & kHasSibling) {
            top.first += (node & kEndsFile) ? 2 : 1;
            return;
        }
        state->stack.pop_back();
    }
}

std::string KVPakArchive::StackName(const ListState& state, bool directory) const {
    // The characters from just after the nearest "/" below the top node up
    // to the top node; a directory's own "/" is left out.
    size_t end = state.stack.size();
    if (directory && end > 0) --end;
    size_t begin = end;
    while (begin > 0) {
        uint32_t node = 0;
        Word(state.stack[begin - 1].first, &node);
        if (NodeCharacter(node) == '/') break;
        --begin;
    }
    std::string name;
    name.reserve(end - begin);
    for (size_t i = begin; i < end; ++i) {
        uint32_t node = 0;
        Word(state.stack[i].first, &node);
        name += NodeCharacter(node);
    }
    return name;
}

bool KVPakArchive::FindFolderList(const std::string& pattern, uint32_t* list, size_t* length) const {
    *list = 0;
    *length = 0;
    // A folder named outright: the walk starts in it, and ends with it.
    const size_t slash = pattern.rfind('/');
    if (slash == std::string::npos || slash + 1 == pattern.size() || pattern.find_first_of("*?") < slash)
        return true;
    uint32_t position = 0;
    for (size_t i = 0; i <= slash; ++i) {
        uint32_t node;
        if (!FindInList(pattern[i], &position, &node) || !(node & kHasChildren)) return false;
        position = node & kChildMask;
    }
    *list = position;
    *length = slash + 1;
    return true;
}

bool KVPakArchive::ListNext(ListState* state, const std::string& pattern, std::string* name,
                            bool* directory) const {
    if (!state) return false;
    if (!state->started) {
        state->started = true;
        state->stack.clear();
        uint32_t list = 0;
        size_t folder = 0;
        if (m_valid && m_size >= 4 && FindFolderList(pattern, &list, &folder))
            state->stack.emplace_back(list, uint32_t(folder));
    }
    const size_t length = pattern.size();
    while (!state->stack.empty()) {
        uint32_t position = state->stack.back().first;
        size_t k = state->stack.back().second;
        uint32_t node;
        if (!Word(position, &node)) {
            state->stack.clear();
            return false;
        }
        if (k >= length) {
            Advance(state);
            continue;
        }
        if (position < m_shadowed.size() && m_shadowed[position]) {
            Advance(state);
            continue;
        }
        const size_t k0 = k;
        const char c = NodeCharacter(node);
        const char p = pattern[k];
        if (p == '*') {
            // The star ends where the character after it is met.
            if (k + 1 < length && c == pattern[k + 1]) k += 2;
        } else if (p == '?') {
            ++k;
        } else {
            if (p != c) {
                Advance(state);
                continue;
            }
            ++k;
        }
        const bool starFinal = length - k0 == 1 && pattern[k0] == '*';
        if (c == '/' && starFinal) {
            // A directory is listed by its name and not entered.
            std::string found = StackName(*state, true);
            Advance(state);
            if (!Answerable(found, true)) continue;
            if (name) *name = std::move(found);
            if (directory) *directory = true;
            return true;
        }
        const bool hasChildren = (node & kHasChildren) != 0;
        if ((node & kEndsFile) && (k == length || starFinal)) {
            std::string found = StackName(*state, false);
            if (hasChildren)
                state->stack.emplace_back(node & kChildMask, uint32_t(k));
            else
                Advance(state);
            if (!Answerable(found, false)) continue;
            if (name) *name = std::move(found);
            if (directory) *directory = false;
            return true;
        }
        if (hasChildren) {
            // A valid directory is a tree, so the walk is never deeper than
            // the body has words.
            if (state->stack.size() > m_size / 4) {
                state->stack.clear();
                return false;
            }
            state->stack.emplace_back(node & kChildMask, uint32_t(k));
            continue;
        }
        Advance(state);
    }
    return false;
}

void KVPakArchive::ForEachEntry(const std::function<void(const std::string&, const PakFileRecord&)>& visit) const {
    if (!m_valid || m_size < 4 || !visit) return;
    // Depth-first over {list position, path length at the list}.
    struct Frame {
        uint32_t position;
        size_t depth;
    };
    std::vector<Frame> frames{{0, 0}};
    std::string path;
    while (!frames.empty()) {
        Frame frame = frames.back();
        frames.pop_back();
        uint32_t node;
        if (!Word(frame.position, &node)) continue;
        path.resize(frame.depth);
        path += NodeCharacter(node);
        uint32_t next = frame.position + ((node & kEndsFile) ? 2 : 1);
        // The sibling goes below the child, so the child's subtree comes first.
        if (node & kHasSibling) frames.push_back({next, frame.depth});
        if (node & kHasChildren) frames.push_back({node & kChildMask, frame.depth + 1});
        if (node & kEndsFile) {
            uint32_t payload;
            PakFileRecord record;
            if (Word(frame.position + 1, &payload) && ReadRecord(payload, &record)) visit(path, record);
        }
    }
}

bool KVPakEntry::Open(const KVPakArchive& archive, const PakFileRecord& record) {
    Close();
    m_compressed = archive.IsCompressed();
    m_size = record.size;
    m_position = 0;
    m_damaged = false;
    const uint8_t* body = archive.Body();
    uint32_t bodySize = archive.BodySize();
    if (!m_compressed) {
        if (uint64_t(record.offset) + record.size > bodySize) return false;
        m_data = body + record.offset;
        m_dataSize = record.size;
        m_open = true;
        return true;
    }
    if (uint64_t(record.offset) + 4 > bodySize) return false;
    const uint8_t* p = body + record.offset;
    uint32_t length = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    if (uint64_t(record.offset) + 4 + length > bodySize) return false;
    m_data = p + 4;
    m_dataSize = length;
    m_stream = z_stream{};
    m_stream.next_in = const_cast<Bytef*>(m_data);
    m_stream.avail_in = m_dataSize;
    if (inflateInit(&m_stream) != Z_OK) return false;
    m_streamLive = true;
    m_open = true;
    return true;
}

void KVPakEntry::Close() {
    if (m_streamLive) inflateEnd(&m_stream);
    m_streamLive = false;
    m_open = false;
    m_data = nullptr;
    m_dataSize = 0;
}

bool KVPakEntry::RestartStream() {
    if (!m_streamLive) return false;
    if (inflateReset(&m_stream) != Z_OK) return false;
    m_stream.next_in = const_cast<Bytef*>(m_data);
    m_stream.avail_in = m_dataSize;
    m_position = 0;
    m_damaged = false;
    return true;
}

int32_t KVPakEntry::Read(void* buffer, uint32_t count, uint32_t* outCount) {
    if (outCount) *outCount = 0;
    if (!m_open) return KV_INVALID;
    uint32_t n = std::min(count, m_size - std::min(m_position, m_size));
    // The file layer's end of file (IKVFile.h): a read that gives nothing fails.
    if (n == 0) return KV_READ_FAILED;
    if (!buffer) return KV_INVALID;
    if (!m_compressed) {
        std::memcpy(buffer, m_data + m_position, n);
        m_position += n;
        if (outCount) *outCount = n;
        return KV_OK;
    }
    if (m_damaged) return KV_READ_FAILED;
    m_stream.next_out = static_cast<Bytef*>(buffer);
    m_stream.avail_out = n;
    int status = Z_OK;
    while (m_stream.avail_out > 0) {
        uInt before = m_stream.avail_out;
        status = inflate(&m_stream, Z_SYNC_FLUSH);
        if (status != Z_OK || m_stream.avail_out == before) break;
    }
    uint32_t produced = n - m_stream.avail_out;
    m_position += produced;
    if (outCount) *outCount = produced;
    if (produced == n) return KV_OK;
    // The stream ended early, stalled or is corrupt: the entry cannot give
    // what its record promises.
    m_damaged = true;
    return KV_READ_FAILED;
}

int32_t KVPakEntry::SeekTo(int64_t target) {
    if (!m_open) return KV_INVALID;
    uint32_t to = uint32_t(std::clamp<int64_t>(target, 0, m_size));
    if (!m_compressed) {
        m_position = to;
        return KV_OK;
    }
    if (to < m_position || m_damaged) {
        if (!RestartStream()) return KV_READ_FAILED;
    }
    uint8_t scratch[4096];
    while (m_position < to) {
        uint32_t step = std::min<uint32_t>(to - m_position, sizeof scratch);
        uint32_t got = 0;
        if (Read(scratch, step, &got) != KV_OK || got != step) return KV_READ_FAILED;
    }
    return KV_OK;
}

} // namespace kvl
