#include "KVTheoraReader.h"

#include <cstring>

namespace kvl {
namespace {

// Message values; side 0 is the consumer, side 1 the reader.
constexpr uintptr_t kEndOfData = 0;
constexpr uintptr_t kRewind = 1;

void* AsMessage(uintptr_t value) { return reinterpret_cast<void*>(value); }

constexpr float kReaderWait = 0.05f;
constexpr float kConsumerWait = 0.01f;

} // namespace

bool KVTheoraReader::Start(IKVFile* files, KVFileHandle file) {
    Stop();
    IKVThreadFactory* factory = GetThreadFactory();
    if (!factory || !files || !file) return false;
    m_files = files;
    m_file = file;
    m_stop = false;
    m_finished = false;
    m_waitingForLoopPoint = false;
    m_readIndex = m_writeIndex = m_filled = 0;
    m_endSeen = false;
    m_consumed = 0;
    m_lock = factory->CreateCriticalSection();
    m_ring.reset(new uint8_t[kBlockSize * kBlocks]);
    m_thread = factory->CreateThread();
    if (!m_lock || !m_thread || m_thread->Run(&KVTheoraReader::ThreadMain, this, 0) != KV_OK) {
        // Nothing runs yet: nothing to wait for.
        if (m_thread) m_thread->Release();
        m_thread = nullptr;
        Stop();
        return false;
    }
    return true;
}

void KVTheoraReader::Stop() {
    // Only a started reader is waited for: one that never ran never finishes.
    if (m_thread) {
        m_stop = true;
        while (!m_finished) Sleep(kConsumerWait);
        m_thread->Release();
        m_thread = nullptr;
    }
    if (m_lock) m_lock->Release();
    m_lock = nullptr;
    m_ring.reset();
    m_files = nullptr;
    m_file = nullptr;
    m_readIndex = m_writeIndex = m_filled = 0;
    m_endSeen = false;
    m_consumed = 0;
}

void KVTheoraReader::Sleep(float seconds) {
    if (IKVThreadFactory* factory = GetThreadFactory()) factory->Sleep(seconds);
}

void KVTheoraReader::ThreadMain(IKVThread* thread, void* self) {
    static_cast<KVTheoraReader*>(self)->Run(thread);
}

uint32_t KVTheoraReader::ReadInto(uint8_t* block) {
    uint32_t got = 0;
    if (m_files->Read(m_file, block, kBlockSize, &got) != KV_OK) return 0;
    return got > kBlockSize ? kBlockSize : got;
}

void KVTheoraReader::Run(IKVThread* thread) {
    bool endReached = false;
    for (;;) {
        if (m_stop) {
            m_finished = true;
            return;
        }
        void* message = nullptr;
        if (thread->HasMessage(1) && thread->ReceiveOwned(1, &message) == KV_OK) {
            int64_t target = m_loopPoint;
            m_files->Seek(m_file, target > 0 && target <= INT32_MAX ? int32_t(target) : 0, 0);
            {
                // The consumer waits for the answer: nothing of the old pass is read after it.
                KVLockGuard guard(m_lock);
                m_filled = 0;
                m_readIndex = m_writeIndex;
            }
            endReached = false;
            m_waitingForLoopPoint = false;
            thread->SendOwned(1, AsMessage(kRewind), 0);
        } else if (endReached) {
            Sleep(kReaderWait);
            continue;
        }

        uint32_t write;
        {
            KVLockGuard guard(m_lock);
            write = m_writeIndex;
            if (m_filled == kBlocks) write = kBlocks;
        }
        if (write == kBlocks) {
            Sleep(kReaderWait);
            continue;
        }

        uint8_t* block = m_ring.get() + size_t(write) * kBlockSize;
        uint8_t newPass = 0;
        uint32_t got = ReadInto(block);
        if (got == 0 && m_loop) {
            int64_t target = m_loopPoint;
            if (target < 0) {
                // The headers are still being read: looping now would replay them.
                m_waitingForLoopPoint = true;
                Sleep(kReaderWait);
                continue;
            }
            m_waitingForLoopPoint = false;
            if (target <= INT32_MAX && m_files->Seek(m_file, int32_t(target), 0) == KV_OK) {
                got = ReadInto(block);
                newPass = 1;
            }
        }
        if (got == 0) {
            thread->SendOwned(1, AsMessage(kEndOfData), 0);
            endReached = true;
            continue;
        }
        m_length[write] = got;
        m_newPass[write] = newPass;
        KVLockGuard guard(m_lock);
        m_writeIndex = (m_writeIndex + 1) % kBlocks;
        ++m_filled;
    }
}

uint32_t KVTheoraReader::ReadBlock(ogg_sync_state* sync, bool* newPass, bool mayCross) {
    if (newPass) *newPass = false;
    if (m_endSeen || !m_thread) return 0;
    uint32_t index = 0;
    for (;;) {
        // Looked at before the count: whatever the reader wrote before it
        // sent the end or began to wait is counted by then.
        bool endWaiting = m_thread->HasMessage(0);
        bool waiting = m_waitingForLoopPoint;
        {
            KVLockGuard guard(m_lock);
            index = m_readIndex;
            if (m_filled > 0) break;
        }
        if (endWaiting) {
            void* message = nullptr;
            if (m_thread->ReceiveOwned(0, &message) == KV_OK &&
                reinterpret_cast<uintptr_t>(message) == kEndOfData) {
                m_endSeen = true;
                return 0;
            }
            continue;
        }
        if (waiting && m_loopPoint < 0) return 0;
        Sleep(kConsumerWait);
    }

    if (m_newPass[index] && !mayCross) return 0;
    const uint32_t length = m_length[index];
    m_consumed += sync->returned;
    char* buffer = ogg_sync_buffer(sync, long(length));
    if (!buffer) return 0;
    std::memcpy(buffer, m_ring.get() + size_t(index) * kBlockSize, length);
    ogg_sync_wrote(sync, long(length));
    if (newPass) *newPass = m_newPass[index] != 0;
    KVLockGuard guard(m_lock);
    m_readIndex = (index + 1) % kBlocks;
    --m_filled;
    return length;
}

KVTheoraReader::Next KVTheoraReader::Peek() {
    if (m_endSeen || !m_thread) return Next::End;
    // As in ReadBlock: the end message is looked at before the count.
    const bool endWaiting = m_thread->HasMessage(0);
    {
        KVLockGuard guard(m_lock);
        if (m_filled > 0) return m_newPass[m_readIndex] ? Next::NewPass : Next::Data;
    }
    if (endWaiting) {
        void* message = nullptr;
        if (m_thread->ReceiveOwned(0, &message) == KV_OK && reinterpret_cast<uintptr_t>(message) == kEndOfData) {
            m_endSeen = true;
            return Next::End;
        }
    }
    return Next::Pending;
}

void KVTheoraReader::Rewind() {
    if (!m_thread) return;
    m_thread->SendOwned(0, AsMessage(kRewind), 0);
    // Messages before the answer belong to the old pass (an end of data sent
    // before the rewind was taken) and are dropped.
    for (;;) {
        m_thread->WaitMessage(0);
        void* message = nullptr;
        if (m_thread->ReceiveOwned(0, &message) == KV_OK &&
            reinterpret_cast<uintptr_t>(message) == kRewind)
            break;
    }
    m_endSeen = false;
    int64_t target = m_loopPoint;
    m_consumed = target > 0 ? target : 0;
}

} // namespace kvl
