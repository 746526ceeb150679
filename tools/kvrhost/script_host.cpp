#include "tools/kvrhost/script_host.h"

#include <cstring>
#include <utility>

extern "C" std::uint32_t __cdecl kavrel_call_measured(const void* fn, const std::uint32_t* args,
                                                      int count, int* bytesRemovedByCallee);

namespace kavrel::hoststandin {

namespace {

ScriptHost* activeHost = nullptr;
constexpr int kTableSlots = 16;
constexpr std::int32_t kIntegerType = 1;
constexpr unsigned char kTextTypeByte = 7;  // what this host keeps in byte 0; the module ignores it

void Fault(std::string text) {
    if (activeHost) activeHost->faults.push_back(std::move(text));
}

// A slot the module has no business calling. Caller-cleans with no declared parameters, so it
// is safe to call with any arguments.
template <int Slot>
int __cdecl TrapSlot() {
    Fault("unknown host slot " + std::to_string(Slot) + " called");
    return 0;
}

template <int... Slots>
void FillTraps(void** table, std::integer_sequence<int, Slots...>) {
    ((table[Slots] = reinterpret_cast<void*>(&TrapSlot<Slots>)), ...);
}

}  // namespace

struct HostSlots {
    static int __cdecl HostMessage(const char* text) {
        if (!activeHost) return 0;
        if (!text) {
            Fault("HostMessage called with a null text");
            return 0;
        }
        activeHost->messages.emplace_back(text);
        if (activeHost->onMessage) activeHost->onMessage(activeHost->messages.back());
        return 0;
    }

    static int __cdecl GetParameter(std::int32_t index, void** variable) {
        if (!activeHost) return 0;
        activeHost->parametersRead.push_back(index);
        if (activeHost->onParameterRead) activeHost->onParameterRead(index);
        if (!variable) {
            Fault("GetParameter called with a null variable");
            return 0;
        }
        activeHost->ProvideArgument(index, variable);
        return 0;
    }

    static int __stdcall SetParameter(std::int32_t index, std::int32_t typeCode, std::int32_t* value) {
        if (!activeHost) return 0;
        if (typeCode != kIntegerType) {
            Fault("SetParameter type code " + std::to_string(typeCode) + " (integer is 1)");
        }
        if (!value) {
            Fault("SetParameter called with a null value");
            return 0;
        }
        activeHost->integers.push_back({index, typeCode, *value});
        if (activeHost->onInteger) activeHost->onInteger(activeHost->integers.back());
        return 0;
    }

    static int __cdecl RegisterFunction(std::int32_t first, const char* name, void* entry,
                                        std::int32_t last) {
        if (!activeHost) return 0;
        if (!name || !entry) {
            Fault("RegisterFunction called without a name or an entry");
            return 0;
        }
        activeHost->registrations.push_back({first, name, entry, last});
        return 0;
    }
};

namespace {
void* hostTable[kTableSlots];

void BuildTable() {
    FillTraps(hostTable, std::make_integer_sequence<int, kTableSlots>{});
    hostTable[2] = reinterpret_cast<void*>(&HostSlots::HostMessage);
    hostTable[3] = reinterpret_cast<void*>(&HostSlots::GetParameter);
    hostTable[4] = reinterpret_cast<void*>(&HostSlots::SetParameter);
    hostTable[11] = reinterpret_cast<void*>(&HostSlots::RegisterFunction);
}
}  // namespace

std::uint32_t CallMeasured(const void* function, const std::uint32_t* args, int count,
                           int* bytesRemovedByCallee) {
    return kavrel_call_measured(function, args, count, bytesRemovedByCallee);
}

ScriptHost::ScriptHost() {
    BuildTable();
    activeHost = this;
}

ScriptHost::~ScriptHost() {
    Unload();
    if (activeHost == this) activeHost = nullptr;
}

ScriptHost* ScriptHost::Active() { return activeHost; }

void* ScriptHost::Table() { return hostTable; }

void ScriptHost::ClearRecords() {
    messages.clear();
    integers.clear();
    parametersRead.clear();
    faults.clear();
}

bool ScriptHost::Load(const std::string& modulePath) {
    Unload();
    module_ = ::LoadLibraryA(modulePath.c_str());
    if (!module_) {
        loadError_ = "cannot load " + modulePath + " (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    for (const char* name : {"RslSetCallBacks", "RslDllMain", "AddModuleObjects"}) {
        if (!::GetProcAddress(module_, name)) {
            loadError_ = modulePath + " does not export " + name;
            Unload();
            return false;
        }
    }
    return true;
}

void ScriptHost::Unload() {
    if (!module_) return;
    DllMainForward(DLL_PROCESS_DETACH);
    ::FreeLibrary(module_);
    module_ = nullptr;
}

int ScriptHost::SetCallBacks(void* table) {
    const void* fn = reinterpret_cast<const void*>(::GetProcAddress(module_, "RslSetCallBacks"));
    if (!module_ || !fn) {
        Fault("RslSetCallBacks called with no module loaded");
        return 0;
    }
    const std::uint32_t args[] = {static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(table))};
    int removed = 0;
    const int answer = static_cast<int>(CallMeasured(fn, args, 1, &removed));
    if (removed != 4) Fault("RslSetCallBacks removed " + std::to_string(removed) + " bytes of arguments, not 4");
    return answer;
}

int ScriptHost::DllMainForward(DWORD reason) {
    const void* fn = reinterpret_cast<const void*>(::GetProcAddress(module_, "RslDllMain"));
    if (!module_ || !fn) {
        Fault("RslDllMain called with no module loaded");
        return 0;
    }
    const std::uint32_t args[] = {static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(module_)),
                                  reason, 0};
    int removed = 0;
    const int answer = static_cast<int>(CallMeasured(fn, args, 3, &removed));
    if (removed != 12) Fault("RslDllMain removed " + std::to_string(removed) + " bytes of arguments, not 12");
    return answer;
}

void ScriptHost::AddModuleObjects() {
    const void* fn = reinterpret_cast<const void*>(::GetProcAddress(module_, "AddModuleObjects"));
    if (!module_ || !fn) {
        Fault("AddModuleObjects called with no module loaded");
        return;
    }
    int removed = 0;
    CallMeasured(fn, nullptr, 0, &removed);
    if (removed != 0) Fault("AddModuleObjects moved the stack by " + std::to_string(removed) + " bytes");
}

bool ScriptHost::Start() {
    if (!module_) return false;
    const int answer = SetCallBacks(Table());
    if (answer != 304) Fault("RslSetCallBacks answered " + std::to_string(answer) + ", not 304");
    // The system has attached the module already; the host forwards its own attach as well, and
    // the module may refuse it. Either answer is the module's business.
    DllMainForward(DLL_PROCESS_ATTACH);
    AddModuleObjects();
    return true;
}

bool ScriptHost::Call(const std::string& name, const std::vector<std::string>& arguments) {
    const Registration* found = nullptr;
    for (const auto& r : registrations) {
        if (r.name == name) found = &r;  // the latest registration of a name wins
    }
    if (!found) return false;
    arguments_ = arguments;
    int removed = 0;
    CallMeasured(found->entry, nullptr, 0, &removed);
    if (removed != 0) Fault(name + " moved the stack by " + std::to_string(removed) + " bytes");
    arguments_.clear();
    return true;
}

void ScriptHost::ProvideArgument(std::int32_t index, void** variable) {
    // Whatever the module kept of the previous text must not be relied on: spoil it, then free it.
    if (!scratchText_.empty()) std::memset(scratchText_.data(), '#', scratchText_.size() - 1);
    std::vector<char>().swap(scratchText_);

    if (index < 0 || static_cast<std::size_t>(index) >= arguments_.size()) {
        switch (missing_) {
        case MissingArgument::LeaveVariable:
            return;
        case MissingArgument::NullRecord:
            *variable = nullptr;
            return;
        case MissingArgument::NullText: {
            const char* none = nullptr;
            scratchRecord_[0] = kTextTypeByte;
            std::memcpy(scratchRecord_ + 1, &none, sizeof none);
            *variable = scratchRecord_;
            return;
        }
        }
    }
    const std::string& text = arguments_[static_cast<std::size_t>(index)];
    scratchText_.assign(text.begin(), text.end());
    scratchText_.push_back('\0');
    const char* pointer = scratchText_.data();
    scratchRecord_[0] = kTextTypeByte;
    std::memcpy(scratchRecord_ + 1, &pointer, sizeof pointer);  // unaligned, at byte offset 1
    *variable = scratchRecord_;
}

}  // namespace kavrel::hoststandin
