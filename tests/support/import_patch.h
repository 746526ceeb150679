// A system function answered by a test's stand-in, for one module and for a while: the entry of
// that module's import table is pointed elsewhere, so that a refusal the real system gives only
// in conditions a test cannot set up (a clipboard that will not take data) can be made to happen.
#pragma once

#include <windows.h>

namespace kavrel::test {

class ImportPatch {
public:
    // For its lifetime, `module`'s calls of `dll`!`function` go to `standIn`. Holds() is false
    // when the module does not import it by name (then nothing is changed).
    template <class Function>
    ImportPatch(HMODULE module, const char* dll, const char* function, Function* standIn)
        : ImportPatch(module, dll, function, reinterpret_cast<const void*>(standIn)) {}
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Holds() const { return slot_ != nullptr; }
    // The function the entry named before, to forward to.
    template <class Function>
    Function* Original() const { return reinterpret_cast<Function*>(original_); }

private:
    ImportPatch(HMODULE module, const char* dll, const char* function, const void* standIn);
    void Write(const void* value);

    const void** slot_ = nullptr;
    const void* original_ = nullptr;
};

}  // namespace kavrel::test
