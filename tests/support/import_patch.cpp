#include "support/import_patch.h"

#include <cstdint>
#include <cstring>

namespace kavrel::test {

void** ImportPatch::Find(HMODULE module, const char* dll, const char* function) {
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    if (!base) return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); dir.VirtualAddress && d->Name; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0 || !d->OriginalFirstThunk) continue;
        auto* bound = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk); names->u1.AddressOfData;
             ++names, ++bound) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&bound->u1.Function);
            }
        }
    }
    return nullptr;
}

void* ImportPatch::Write(void* value) {
    DWORD previous = 0;
    ::VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &previous);
    void* replaced = *slot_;
    *slot_ = value;
    ::VirtualProtect(slot_, sizeof *slot_, previous, &previous);
    return replaced;
}

}  // namespace kavrel::test
