#pragma once
// The interface of every scene object. The unit factory keeps units by
// index and hands this interface to other modules.
#include <string>
#include "../kernel/IKVUnknown.h"

namespace kvl {

class KVUnit;
class KVUnitRefArray;
class IKVLinker;

constexpr KVInterfaceId IID_IKVUnit = MakeId(0x0038BD6B, 0x92D85F7C);

// Kinds of the typed arguments and results of a unit's script function.
enum KVScriptValueType : int32_t {
    KVSCRIPT_NONE = 0,
    KVSCRIPT_INTEGER = 1,
    KVSCRIPT_NUMBER = 2,
    KVSCRIPT_STRING = 3,
    KVSCRIPT_BOOLEAN = 4,
    KVSCRIPT_UNIT = 5,
};

// One argument of CallScriptFunction; any other type pushes nothing.
struct KVScriptArgument {
    int32_t type = KVSCRIPT_NONE;
    int32_t integer = 0;         // integer, or a unit index
    float number = 0.0f;
    const char* text = nullptr;  // NUL-terminated
    bool boolean = false;
};

// What a script function gave back: the last returned value. The text is
// a copy, so it outlives the script values.
struct KVScriptResult {
    int32_t type = KVSCRIPT_NONE;
    float number = 0.0f;
    bool boolean = false;
    std::string text;
};

class IKVUnit : public virtual IKVUnknownRef {
public:
    virtual int32_t GetClassIndex() = 0;
    virtual const uint64_t* GetClassId() = 0;
    // Stores the state the unit asks for and applies it to its subtree.
    virtual void SetEnabled(bool enabled) = 0;
    // The effective state: its own and its parents'.
    virtual bool IsEnabled() = 0;
    virtual bool IsVisible() = 0;
    virtual bool IsDrawn() = 0;
    virtual int32_t GetIndex() = 0;
    virtual void* GetExtraData() = 0;
    virtual int32_t GetParentIndex() = 0;
    virtual void SetParent(int32_t parentIndex) = 0;
    // The unit's class or one of its base classes has the id.
    virtual bool IsKindOf(uint64_t classId) = 0;
    virtual KVUnitRefArray* GetChildren() = 0;
    virtual int32_t AddListener(IKVLinker* listener) = 0;
    // 1 when the listener was not there.
    virtual int32_t RemoveListener(IKVLinker* listener) = 0;
    virtual uint32_t GetFlags() = 0;
    virtual void SetFlags(uint32_t flags) = 0;
    // Calls a function of the unit's script: 0, 4 when it has none, or the
    // script error status.
    virtual int32_t CallScriptFunction(const char* name, int32_t option, int32_t count,
                                       const KVScriptArgument* arguments, KVScriptResult* result) = 0;
    virtual void RaiseError(int32_t code) = 0;
    virtual const std::string& GetName() = 0;
    virtual void SetModified() = 0;
    virtual void SetDrawable(bool drawable) = 0;
    virtual int32_t GetNotifyTarget() = 0;
    virtual void SetNotifyTarget(int32_t unitIndex) = 0;
    virtual void SetSceneList(int32_t list) = 0;
    virtual int32_t GetSceneList() = 0;
    // The unit object itself.
    virtual KVUnit* GetUnit() = 0;
};

} // namespace kvl
