#include "support/import_patch.h"

#include <cstdint>
#include <cstring>

namespace kavrel::test {

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, const void* standIn) {
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    if (!base) return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0 || !d->OriginalFirstThunk) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* bound = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++bound) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            slot_ = reinterpret_cast<const void**>(&bound->u1.Function);
            original_ = *slot_;
            Write(standIn);
            return;
        }
    }
}

ImportPatch::~ImportPatch() {
    if (slot_) Write(original_);
}

void ImportPatch::Write(const void* value) {
    DWORD previous = 0;
    ::VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &previous);
    *slot_ = value;
    ::VirtualProtect(slot_, sizeof *slot_, previous, &previous);
}

}  // namespace kavrel::test
