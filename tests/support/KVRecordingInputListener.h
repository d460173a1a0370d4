#pragma once
// A native input listener that records what reaches it ("name mask a b"),
// clears the bits it is told to consume, and can stand for a unit.
#include <functional>
#include <string>
#include <vector>

#include "kernel/IKVInputListener.h"

namespace kvl {
class IKVUnit;
}

namespace kvtest {

class KVRecordingInputListener : public kvl::IKVInputListener {
public:
    explicit KVRecordingInputListener(std::string name, std::vector<std::string>* journal = nullptr);

    // Answers the unit interface with this unit (none: the listener is no unit).
    void SetUnit(kvl::IKVUnit* unit, int32_t unitIndex);

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t GetUnitIndex() override { return unitIndex; }
    int32_t WantsHiddenInput() override { return wantsHidden ? 1 : 0; }
    int32_t OnInput(uint32_t* mask, int32_t a, int32_t b) override;

    std::string name;
    int32_t unitIndex = -1;
    bool wantsHidden = false;
    uint32_t consume = 0;            // bits cleared from the word it gets
    std::function<void()> onInput;   // runs after recording
    std::vector<std::string> calls;  // "mask a b", hexadecimal mask

private:
    kvl::IKVUnit* m_unit = nullptr;
    std::vector<std::string>* m_journal;
};

} // namespace kvtest
