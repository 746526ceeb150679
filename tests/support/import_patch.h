// A system function answered by a test's stand-in, for one module and for a while: the entry of
// the module's import table is pointed elsewhere, so that a refusal or call the real system gives
// no way to bring about or to see (a clipboard that will not take data) can be made and counted.
#pragma once

#include <windows.h>

namespace kavrel::test {

class ImportPatch {
public:
    // For its lifetime, `module`'s calls of `dll`!`function` go to `standIn`; Holds() is false
    // (and nothing changed) when the module does not import it by name.
    template <class Function>
    ImportPatch(HMODULE module, const char* dll, const char* function, Function* standIn)
        : slot_(Find(module, dll, function)) {
        if (slot_) original_ = Write(reinterpret_cast<void*>(standIn));
    }
    ~ImportPatch() {
        if (slot_) Write(original_);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Holds() const { return slot_ != nullptr; }
    // The function the entry named before, to forward to.
    template <class Function>
    Function* Original() const { return reinterpret_cast<Function*>(original_); }

private:
    static void** Find(HMODULE module, const char* dll, const char* function);
    void* Write(void* value);  // answers the value it replaced

    void** slot_;
    void* original_ = nullptr;
};

}  // namespace kavrel::test
