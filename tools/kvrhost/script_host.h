// A stand-in for the RSL script interpreter: loads Kavrel.dll the way the host does, hands it a
// callback table, and calls the registered script functions with text arguments. Everything the
// module does at the boundary is recorded, and anything it must not do is noted as a fault.
// kvrhost.exe is a command line around it; the tests use it in-process.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kavrel::hoststandin {

// What GetParameter does for an index the script did not pass.
enum class MissingArgument {
    LeaveVariable,  // returns without touching the caller's variable
    NullRecord,     // stores a null record pointer
    NullText,       // stores a record whose text pointer is null
};

struct Registration {
    std::int32_t first = -1;
    std::string name;
    void* entry = nullptr;
    std::int32_t last = -1;
};

struct IntegerWritten {
    std::int32_t index = 0;
    std::int32_t typeCode = 0;
    std::int32_t value = 0;
};

class ScriptHost {
public:
    ScriptHost();
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    // Loads the module (LoadLibrary); false with a description in LoadError() on failure.
    bool Load(const std::string& modulePath);
    // Unloads it again, telling it first through RslDllMain as the real host does.
    void Unload();
    const std::string& LoadError() const { return loadError_; }
    HMODULE Module() const { return module_; }

    // The host's start-up sequence: RslSetCallBacks, RslDllMain(attach), AddModuleObjects.
    bool Start();

    // The single boundary calls, each checked for the calling convention it must have.
    int SetCallBacks(void* table);  // this host's own table unless another is given
    int DllMainForward(DWORD reason);
    void AddModuleObjects();

    // Calls a registered script function with the given argument texts. False when no function
    // of that name was registered.
    bool Call(const std::string& name, const std::vector<std::string>& arguments);

    // This host's callback table (16 slots; the unused ones are traps).
    void* Table();

    void SetMissingArgument(MissingArgument behaviour) { missing_ = behaviour; }

    // Told of each message and integer as it arrives (kvrhost prints them live).
    std::function<void(const std::string& oemText)> onMessage;
    std::function<void(const IntegerWritten&)> onInteger;
    // Told of each argument the module asks for, before it is handed over (a test can change
    // the world in between, as another user of the workstation might).
    std::function<void(int index)> onParameterRead;

    // What the module did. Messages are the bytes handed to HostMessage (OEM code page).
    std::vector<std::string> messages;
    std::vector<IntegerWritten> integers;
    std::vector<Registration> registrations;
    std::vector<int> parametersRead;  // argument indexes asked for, in order
    // Boundary misbehaviour: unknown slots called, wrong type codes, a function that left the
    // stack unbalanced. Empty when the module behaved.
    std::vector<std::string> faults;

    // Forgets what was recorded (registrations stay: they are the host's function table).
    void ClearRecords();

    // The host whose table is in use (the slots are plain functions without a context).
    static ScriptHost* Active();

private:
    friend struct HostSlots;
    void ProvideArgument(std::int32_t index, void** variable);

    HMODULE module_ = nullptr;
    std::string loadError_;
    MissingArgument missing_ = MissingArgument::LeaveVariable;
    std::vector<std::string> arguments_;
    // One scratch record reused for every GetParameter, as an interpreter reuses its temporary:
    // the text it pointed at before is overwritten and freed at the next call.
    unsigned char scratchRecord_[8] = {};
    std::vector<char> scratchText_;
};

// Calls `function` with `count` 32-bit arguments and reports how many bytes of arguments the
// callee removed from the stack (0 for caller-cleans, 4 × count for callee-cleans).
std::uint32_t CallMeasured(const void* function, const std::uint32_t* args, int count,
                           int* bytesRemovedByCallee);

}  // namespace kavrel::hoststandin
