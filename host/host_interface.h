// The boundary with the RSL script interpreter (the host): its callback table, its argument
// records, and the three operations through which the script functions and the viewer talk back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kavrel::host {

// The host's record of one script argument. Only the text pointer at byte offset 1 is read
// (unaligned, little-endian); the type byte at offset 0 is never looked at.
struct ScriptValue;
constexpr std::size_t kScriptValueTextOffset = 1;

// Signatures of the four slots the module calls. Slots 2, 3 and 11 are caller-cleans;
// slot 4 removes its own 12 bytes of arguments. Results are never examined.
using HostMessageFn = int(__cdecl*)(const char* oemText);
using GetParameterFn = int(__cdecl*)(std::int32_t index, ScriptValue** value);
using SetParameterFn = int(__stdcall*)(std::int32_t index, std::int32_t typeCode, std::int32_t* value);
using ScriptEntryFn = void(__cdecl*)();
using RegisterFunctionFn = int(__cdecl*)(std::int32_t zero, const char* name, ScriptEntryFn entry,
                                         std::int32_t zero2);

// The host owns the table: an array of 32-bit function pointers, at least twelve long.
struct HostCallbackTable;
constexpr int kSlotHostMessage = 2;
constexpr int kSlotGetParameter = 3;
constexpr int kSlotSetParameter = 4;
constexpr int kSlotRegisterFunction = 11;
constexpr int kMinimumTableSlots = 12;
constexpr std::int32_t kIntegerTypeCode = 1;

// Result of RslSetCallBacks, whatever it is given.
constexpr int kSetCallBacksAnswer = 304;

// The module-wide pointer to the host's table; replaced by every RslSetCallBacks.
extern HostCallbackTable* HostCallbacks;

// Argument `index` as a module-owned copy of its text. A missing argument, a null record or a
// null text pointer reads as the empty text, and so does a call made before the host has
// handed over its table.
std::string GetParamText(int index);

// Stores an integer into the script variable passed at `index`.
void SetParamInt(int index, std::int32_t value);

// Hands an ANSI (code page 1251) message to the host, converted to the OEM code page.
void ReportMessage(std::string_view ansiText);

// Hands a text to the host exactly as given, without conversion.
void ReportRawMessage(const char* text);

// Registers a script function under `name`.
void RegisterScriptFunction(const char* name, ScriptEntryFn entry);

}  // namespace kavrel::host

// The module's three entries for the host. AddModuleObjects registers the script functions, which
// sit above the viewer; it is defined with them (module/module_objects.cpp).
extern "C" {
__declspec(dllexport) int __stdcall RslSetCallBacks(kavrel::host::HostCallbackTable* table);
__declspec(dllexport) int __stdcall RslDllMain(void* instance, unsigned long reason, void* reserved);
__declspec(dllexport) void __cdecl AddModuleObjects();
}
