#pragma once
// The file side of a movie: a thread of its own reads the open file into a
// ring of 16 blocks of 4096 bytes, starting again at the loop point after
// the end when looping. The consumer copies blocks into an Ogg sync state.
// A rewind travels to the reader as a message (1) and is answered by one
// (1) once taken; the end of the data travels back as a message (0).
#include <atomic>
#include <cstdint>
#include <memory>

#include <ogg/ogg.h>

#include "../kernel/IKVFile.h"
#include "../kernel/IKVThreadFactory.h"

namespace kvl {

class KVTheoraReader {
public:
    static constexpr uint32_t kBlockSize = 4096;
    static constexpr uint32_t kBlocks = 16;

    KVTheoraReader() = default;
    ~KVTheoraReader() { Stop(); }
    KVTheoraReader(const KVTheoraReader&) = delete;
    KVTheoraReader& operator=(const KVTheoraReader&) = delete;

    // Starts reading the open file from where it stands. False, with nothing
    // started, when no thread can be made.
    bool Start(IKVFile* files, KVFileHandle file);
    // Stops the thread and waits for it (only when one was started); the
    // file stays open.
    void Stop();
    bool IsRunning() const { return m_thread != nullptr; }

    void SetLoop(bool loop) { m_loop = loop; }
    // Where a new pass starts. Negative while unknown: the reader then waits
    // at the end instead of looping, and a rewind goes to the file's start.
    void SetLoopPoint(int64_t offset) { m_loopPoint = offset; }
    int64_t LoopPoint() const { return m_loopPoint; }

    // Consumer: copies the next block into the sync state and returns its
    // length; 0 at the end of the data, when the next block starts a new pass
    // and may not be crossed, and when the reader waits at the end for a loop
    // point. `newPass` tells whether the block starts a new pass.
    uint32_t ReadBlock(ogg_sync_state* sync, bool* newPass, bool mayCross);
    // What ReadBlock would meet next, found without waiting for the reader.
    enum class Next { Pending, Data, NewPass, End };
    Next Peek();
    // File offset of the first byte the sync state has not consumed, as long
    // as no new pass was crossed.
    int64_t ConsumedOffset(const ogg_sync_state& sync) const { return m_consumed + sync.returned; }
    bool EndSeen() const { return m_endSeen; }
    // Sends a rewind and waits until the reader has taken it: the ring is
    // then empty and the end forgotten; reading goes on at the loop point
    // (the file's start while it is unknown).
    void Rewind();

private:
    static void ThreadMain(IKVThread* thread, void* self);
    void Run(IKVThread* thread);
    void Sleep(float seconds);
    uint32_t ReadInto(uint8_t* block);

    IKVFile* m_files = nullptr;
    KVFileHandle m_file = nullptr;
    IKVThread* m_thread = nullptr;
    IKVCriticalSection* m_lock = nullptr;
    std::unique_ptr<uint8_t[]> m_ring;
    uint32_t m_length[kBlocks] = {};
    uint8_t m_newPass[kBlocks] = {};
    // Guarded by m_lock.
    uint32_t m_readIndex = 0;
    uint32_t m_writeIndex = 0;
    uint32_t m_filled = 0;

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_loop{true};
    std::atomic<bool> m_waitingForLoopPoint{false};
    std::atomic<int64_t> m_loopPoint{-1};
    // Consumer side only.
    bool m_endSeen = false;
    int64_t m_consumed = 0;
};

} // namespace kvl
