#include "host/host_interface.h"

#include <windows.h>

#include <cstring>

#include "base/no_throw.h"
#include "runtime/dll_startup.h"

namespace kavrel::host {

HostCallbackTable* HostCallbacks = nullptr;

namespace {

// The table is an array of 32-bit code pointers; read one slot as the type that slot has.
template <class Fn>
Fn Slot(int slot) {
    if (!HostCallbacks) return nullptr;
    void* const* slots = reinterpret_cast<void* const*>(HostCallbacks);
    return reinterpret_cast<Fn>(slots[slot]);
}

}  // namespace

std::string GetParamText(int index) {
    auto getParameter = Slot<GetParameterFn>(kSlotGetParameter);
    if (!getParameter) return {};
    // A host that has no argument at this index may leave the variable alone: preset it so that
    // "nothing came back" reads as the empty text instead of a wild pointer.
    ScriptValue* value = nullptr;
    getParameter(index, &value);
    if (!value) return {};
    const char* text = nullptr;
    std::memcpy(&text, reinterpret_cast<const unsigned char*>(value) + kScriptValueTextOffset,
                sizeof text);
    if (!text) return {};
    return std::string(text);  // copied at once: the host may reuse its record afterwards
}

void SetParamInt(int index, std::int32_t value) {
    auto setParameter = Slot<SetParameterFn>(kSlotSetParameter);
    if (!setParameter) return;
    std::int32_t local = value;
    setParameter(index, kIntegerTypeCode, &local);
}

void ReportMessage(std::string_view ansiText) {
    // CharToOemA needs a NUL-terminated source; the destination is sized for the text and its
    // terminator (the OEM form of a single-byte text is never longer).
    std::string source(ansiText);
    std::string oem(source.size() + 1, '\0');
    ::CharToOemA(source.c_str(), oem.data());
    ReportRawMessage(oem.c_str());
}

void ReportRawMessage(const char* text) {
    if (auto hostMessage = Slot<HostMessageFn>(kSlotHostMessage)) hostMessage(text);
}

void RegisterScriptFunction(const char* name, ScriptEntryFn entry) {
    if (auto registerFunction = Slot<RegisterFunctionFn>(kSlotRegisterFunction)) {
        registerFunction(0, name, entry, 0);
    }
}

}  // namespace kavrel::host

extern "C" {

int __stdcall RslSetCallBacks(kavrel::host::HostCallbackTable* table) {
    return kavrel::NoThrow(kavrel::host::kSetCallBacksAnswer, [&] {
        kavrel::host::HostCallbacks = table;
        return kavrel::host::kSetCallBacksAnswer;
    });
}

int __stdcall RslDllMain(void* instance, unsigned long reason, void* reserved) {
    return kavrel::NoThrow(FALSE, [&] {
        return kavrel::runtime::DllStartup(static_cast<HINSTANCE>(instance), reason, reserved);
    });
}

}  // extern "C"
