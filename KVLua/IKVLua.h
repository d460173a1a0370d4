#pragma once
// The interface through which every module works with script values.
#include <string>
#include <vector>
#include "../kernel/IKVUnknown.h"
#include "../kernel/KVLuaLibrary.h"

namespace kvl {

class IKVUnit;
class KVUnitRefArray;

constexpr KVInterfaceId IID_IKVLua = {0x5A858798u, 0x003B55E8u};

enum ScriptType : int32_t {
    SCRIPT_NUMBER = 0,
    SCRIPT_STRING = 1,
    SCRIPT_BOOLEAN = 2,
    SCRIPT_NIL = 3,
    SCRIPT_UNIT = 4,
    SCRIPT_TABLE = 5,
    SCRIPT_UNKNOWN = 6,
};

// One unit event call, filled by the caller.
struct EventCall {
    IKVUnit* unit = nullptr;
    const char* functionName = nullptr;
    int32_t argumentCount = 0;
    int32_t* resultCount = nullptr;  // none: results are dropped
    uint8_t stillEnabled = 1;
    uint8_t classOnly = 0;
};

// A script number as an unsigned 32-bit word, the script form of colours,
// u32 attributes and their structure fields: truncated toward zero to a
// 64-bit integer whose low 32 bits are kept. So 0 to 2^32 - 1 stay as they
// are and -2^31 to -1 give their two's complement (-16777216 is
// 0xFF000000). Outside -2^31 to 2^32 - 1 the number wraps modulo 2^32
// (2^32 + 5 gives 5, -2^32 - 1 gives 0xFFFFFFFF); from 2^63 up, +inf
// included, the 64-bit integer saturates and gives 0xFFFFFFFF, from -2^63
// down, -inf included, 0; NaN gives 0.
uint32_t NumberToUInt32(double value);

enum KVStructKind : int32_t {
    KVSTRUCT_INTEGER = 0,
    KVSTRUCT_FLOAT = 1,
    KVSTRUCT_STRING = 2,
    // An unsigned 32-bit word kept in the integer: read as 0 to 2^32 - 1,
    // written through NumberToUInt32, so a word reads back as written.
    KVSTRUCT_UINT32 = 3,
    KVSTRUCT_BOOLEAN = 4,
};

struct KVStructField;

// Called with the field, its position, the structure's copied data block
// (null when it is empty) and the block's length.
using KVStructHook = void (*)(KVStructField* field, int32_t position, void* block, int32_t length);

// A field of a structure pushed to scripts. The pushed table keeps its own
// copy of every field, so values live as long as the table does; hooks reach
// the caller's storage through addresses placed in the data block.
struct KVStructField {
    const char* name = nullptr;
    int32_t kind = KVSTRUCT_INTEGER;
    int32_t integer = 0;  // kinds 0, 3 and 4 (4 holds 1 or 0)
    float real = 0.0f;    // kind 1
    std::string text;     // kind 2
    KVStructHook get = nullptr;  // before a read: may refresh the value
    KVStructHook set = nullptr;  // after a write: may store the value
};

struct KVPoint3 {
    float x, y, z;
};

// Proxy getters and setters are native script functions: slot 1 is the
// proxy, slot 2 the key, slot 3 the assigned value; the object or the copied
// block comes from GetUpvalueObject / GetUpvalueObject2.
using KVProxyGet = KVLuaNativeFunction;
using KVProxySet = KVLuaNativeFunction;
// Reads a value for a unit class from the unit's extra data block.
using KVClassValueFunction = int (*)(void* extraData);

class IKVLua : public virtual IKVUnknown {
public:
    // Base of native objects that scripts hold; deleted by the collector.
    class LuaObject {
    public:
        virtual ~LuaObject() = default;
    };

    virtual int32_t RegisterLibrary(const char* name, KVLuaLibrary* library) = 0;
    virtual int32_t UnregisterLibrary(const char* name) = 0;
    virtual int32_t AddClassValue(int32_t classIndex, const char* name, KVClassValueFunction fn) = 0;
    virtual int32_t CallEvent(EventCall* call) = 0;
    virtual int32_t CallFunction(const char* nameSpace, const char* name, int32_t argumentCount,
                                 int32_t* resultCount) = 0;
    // A unit's table is SCRIPT_UNIT, and so is a plain table (no metatable,
    // no binding) a script stored under a unit's name: the binding adopts
    // it as the unit's table (CheckArgType takes it where a unit is wanted,
    // ToUnit gives that unit).
    virtual int32_t GetArgType(int32_t position, ScriptType* out) = 0;
    virtual int32_t GetTop() = 0;
    virtual int32_t CheckArgCount(int32_t count, bool atLeast) = 0;
    virtual int32_t CheckArgType(int32_t position, ScriptType type) = 0;
    virtual int32_t Pop(int32_t n) = 0;
    virtual int32_t PushNumber(double value) = 0;
    virtual double ToNumber(int32_t position) = 0;
    virtual int32_t PushString(const char* text) = 0;
    virtual const char* ToString(int32_t position) = 0;
    virtual std::string ToStdString(int32_t position) = 0;
    virtual int32_t PushBoolean(bool flag) = 0;
    virtual bool ToBoolean(int32_t position) = 0;
    virtual int32_t PushUnit(int32_t unitIndex) = 0;
    virtual int32_t ToUnit(int32_t position) = 0;
    virtual int32_t PushInteger(int32_t value) = 0;
    virtual int32_t ToInteger(int32_t position) = 0;
    virtual int32_t PushStruct(const KVStructField* fields, int32_t count, const void* data,
                               int32_t length) = 0;
    virtual int32_t PushPoint(const KVPoint3& point) = 0;
    virtual int32_t PushNil() = 0;
    virtual int32_t PushUnitArray(KVUnitRefArray* array, int32_t ownerUnit, uint64_t attributeId) = 0;
    virtual void ToIntegerArray(int32_t position, std::vector<int32_t>* out) = 0;
    virtual int32_t ToIntegerArrayImpl(int32_t position, std::vector<int32_t>* out) = 0;
    virtual int32_t ToStringArray(int32_t position, std::vector<std::string>* out) = 0;
    // A byte table: elements 1 to its length (GetLength), each number taken
    // modulo 2^32 as ToUInt32 takes it and its low 8 bits kept (2^32 + 65
    // and -191 give 65); holes and non-numbers give 0, a non-table nothing.
    virtual int32_t ToByteArray(int32_t position, std::vector<uint8_t>* out) = 0;
    virtual int32_t PushHex(const uint8_t* bytes, uint32_t count) = 0;
    virtual int32_t ToBytesFromHex(int32_t position, uint8_t* buffer, uint32_t length) = 0;
    virtual int32_t ToClassIndex(int32_t position) = 0;
    virtual int32_t PushProxy(void* object, KVProxyGet get, KVProxySet set) = 0;
    virtual void* GetUpvalueObject() = 0;
    virtual int32_t PushObject(LuaObject* object, const KVLuaFunctionEntry* methods, int32_t count) = 0;
    virtual LuaObject* GetSelfObject(int32_t position, int32_t* outFlag) = 0;
    virtual int32_t NewTable() = 0;
    virtual int32_t SetTable() = 0;
    virtual int32_t PushUserdataProxy(KVProxyGet get, KVProxySet set, const void* data,
                                      int32_t length) = 0;
    virtual void* GetUpvalueObject2() = 0;
    virtual int32_t ReportError(const char* text) = 0;
    virtual int32_t FormatLocation(const std::string& text) = 0;
    virtual int32_t CheckUnit(int32_t unitIndex) = 0;
    virtual int32_t FindUnit(const char* name) = 0;
    virtual int32_t GetFieldString(int32_t position, const char* key, std::string* out) = 0;
    virtual int32_t GetFieldBoolean(int32_t position, const char* key, uint8_t* out) = 0;
    virtual int32_t GetFieldFloat(int32_t position, const char* key, float* out) = 0;
    virtual int32_t GetFieldInteger(int32_t position, const char* key, int32_t* out) = 0;
    virtual int32_t GetFieldInteger2(int32_t position, const char* key, int32_t* out) = 0;
    virtual int32_t GetIndexString(int32_t position, int32_t index, std::string* out) = 0;
    virtual int32_t GetIndexInteger(int32_t position, int32_t index, int32_t* out) = 0;
    virtual int32_t GetIndexFloat(int32_t position, int32_t index, float* out) = 0;
    virtual int32_t GetIndexBoolean(int32_t position, int32_t index, uint8_t* out) = 0;
    virtual int32_t GetFieldUnit(int32_t position, const char* key, int32_t* out) = 0;
    virtual int32_t GetFieldText(int32_t position, const char* key, std::string* out) = 0;
    virtual int32_t PushField(int32_t position, const char* key) = 0;
    virtual int32_t GetLength(int32_t position) = 0;
    virtual int32_t ArgumentError(int32_t position) = 0;
    virtual std::string ToText(int32_t position) = 0;
    virtual int32_t CheckMinArgCount(int32_t count) = 0;

    // A report that always carries the script location.
    int32_t ReportErrorAt(const std::string& text) { return FormatLocation(text); }
    // An unsigned 32-bit word given by a script (colours, u32 attributes,
    // option bits): NumberToUInt32 of the value, 0 when it is not a number.
    // ToInteger stays signed and saturating.
    uint32_t ToUInt32(int32_t position) { return NumberToUInt32(ToNumber(position)); }
};

} // namespace kvl

namespace kvl {

// The binding of the main script state (set by its constructor), or null.
// Native script functions reach the state through it.
IKVLua* GetLuaBinding();
void SetLuaBinding(IKVLua* binding);

} // namespace kvl
