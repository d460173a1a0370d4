#include "KVTestLua.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include "kernel/KVFormat.h"

namespace kvtest {

KVTestLua::~KVTestLua() {
    if (m_installed && kvl::GetLuaBinding() == this) kvl::SetLuaBinding(nullptr);
}

void KVTestLua::Install() {
    kvl::SetLuaBinding(this);
    m_installed = true;
}

int KVTestLua::Call(kvl::KVLuaLibrary* library, const char* name, std::vector<KVTestLuaValue> arguments) {
    m_arguments = std::move(arguments);
    m_results.clear();
    m_errors.clear();
    const kvl::KVLuaFunctionEntry* table = nullptr;
    if (!library || library->GetLuaFunctions(&table) != kvl::KV_OK || !table) return -1;
    for (; table->name; ++table)
        if (std::strcmp(table->name, name) == 0) return table->function();
    return -1;
}

int32_t KVTestLua::RegisterLibrary(const char* name, kvl::KVLuaLibrary* library) {
    m_libraries.emplace_back(name ? name : "", library);
    return kvl::KV_OK;
}

int32_t KVTestLua::UnregisterLibrary(const char* name) {
    for (auto it = m_libraries.begin(); it != m_libraries.end(); ++it) {
        if (it->first == (name ? name : "")) {
            m_libraries.erase(it);
            return kvl::KV_OK;
        }
    }
    return kvl::KV_FAILED;
}

KVTestLuaValue* KVTestLua::Argument(int32_t position) {
    if (position < 0) position = int32_t(m_arguments.size()) + 1 + position;
    if (position < 1 || size_t(position) > m_arguments.size()) return nullptr;
    return &m_arguments[size_t(position) - 1];
}

int32_t KVTestLua::GetArgType(int32_t position, kvl::ScriptType* out) {
    KVTestLuaValue* v = Argument(position);
    if (out) *out = v ? v->type : kvl::SCRIPT_NIL;
    return kvl::KV_OK;
}

int32_t KVTestLua::CheckArgCount(int32_t count, bool atLeast) {
    int32_t top = GetTop();
    if (top == count || (atLeast && top > count)) return kvl::KV_OK;
    ReportError("Invalid number of arguments");
    return kvl::KV_FAILED;
}

int32_t KVTestLua::CheckArgType(int32_t position, kvl::ScriptType type) {
    kvl::ScriptType actual;
    GetArgType(position, &actual);
    if (actual == type) return kvl::KV_OK;
    FormatLocation(kvl::Format("Argument #{0} type is invalid (type {1} expected, but type {2} passed to the function)",
                               kvl::FormatValue(position), kvl::FormatValue(int32_t(type)),
                               kvl::FormatValue(int32_t(actual))));
    return kvl::KV_FAILED;
}

int32_t KVTestLua::PushNumber(double value) {
    m_results.push_back(KVTestLuaValue::Number(value));
    return kvl::KV_OK;
}

double KVTestLua::ToNumber(int32_t position) {
    KVTestLuaValue* v = Argument(position);
    return v && v->type == kvl::SCRIPT_NUMBER ? v->number : 0.0;
}

int32_t KVTestLua::PushString(const char* text) {
    m_results.push_back(KVTestLuaValue::String(text ? text : ""));
    return kvl::KV_OK;
}

const char* KVTestLua::ToString(int32_t position) {
    KVTestLuaValue* v = Argument(position);
    if (!v) return nullptr;
    if (v->type == kvl::SCRIPT_NUMBER) {
        // Numbers become their text in place, as Lua does.
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.14g", v->number);
        *v = KVTestLuaValue::String(buffer);
    }
    return v->type == kvl::SCRIPT_STRING ? v->text.c_str() : nullptr;
}

std::string KVTestLua::ToStdString(int32_t position) {
    const char* text = ToString(position);
    return text ? text : "";
}

int32_t KVTestLua::PushBoolean(bool flag) {
    m_results.push_back(KVTestLuaValue::Boolean(flag));
    return kvl::KV_OK;
}

bool KVTestLua::ToBoolean(int32_t position) {
    KVTestLuaValue* v = Argument(position);
    if (!v || v->type == kvl::SCRIPT_NIL) return false;
    return v->type != kvl::SCRIPT_BOOLEAN || v->boolean;
}

int32_t KVTestLua::PushInteger(int32_t value) {
    m_results.push_back(KVTestLuaValue::Number(value));
    return kvl::KV_OK;
}

int32_t KVTestLua::ToInteger(int32_t position) {
    KVTestLuaValue* v = Argument(position);
    if (!v || v->type != kvl::SCRIPT_NUMBER || std::isnan(v->number)) return 0;
    double t = std::trunc(v->number);
    if (t >= 2147483647.0) return INT32_MAX;
    if (t <= -2147483648.0) return INT32_MIN;
    return int32_t(t);
}

int32_t KVTestLua::PushNil() {
    m_results.push_back(KVTestLuaValue::Nil());
    return kvl::KV_OK;
}

int32_t KVTestLua::ReportError(const char* text) {
    m_errors.emplace_back(text ? text : "");
    return kvl::KV_OK;
}

int32_t KVTestLua::FormatLocation(const std::string& text) {
    m_errors.push_back(text);
    return kvl::KV_OK;
}

int32_t KVTestLua::ArgumentError(int32_t position) {
    m_errors.push_back(kvl::Format("Bad or missing argument (Arg #{0})", kvl::FormatValue(position)));
    return kvl::KV_OK;
}

std::string KVTestLua::ToText(int32_t position) {
    KVTestLuaValue* v = Argument(position);
    return v && v->type == kvl::SCRIPT_STRING ? v->text : std::string();
}

} // namespace kvtest
