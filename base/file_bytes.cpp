#include "base/file_bytes.h"

#include <windows.h>

#include "base/error.h"
#include "base/win_handles.h"

namespace kavrel {

std::vector<std::uint8_t> ReadFileBytes(const std::string& path, long long maxBytes) {
    KernelHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw Error("Не удалось открыть файл " + path);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) throw Error("Не удалось прочитать файл " + path);
    if (size.QuadPart > maxBytes) throw Error("Файл " + path + " слишком велик для изображения");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        throw Error("Не удалось прочитать файл " + path);
    }
    return bytes;
}

}  // namespace kavrel
