#include "host/signature_rule.h"

namespace kavrel {

namespace {

bool EndsWithSignatureExtension(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view ending = name.substr(name.size() - 4);
    return ending == ".bmp" || ending == ".jpg";
}

std::string UpperCased(std::string_view text, UpperCaseMapping upper) {
    std::string result(text);
    if (!result.empty()) upper(result.data(), result.size());
    return result;
}

}  // namespace

bool IsSignatureName(std::string_view name, std::string_view clientKey, KeyMode mode, UpperCaseMapping upper) {
    if (name == "." || name == "..") return false;
    if (!EndsWithSignatureExtension(name)) return false;
    if (name.size() < clientKey.size()) return false;
    const std::string_view prefix = name.substr(0, clientKey.size());
    if (mode == KeyMode::ExactBytes) return prefix == clientKey;
    return UpperCased(prefix, upper) == UpperCased(clientKey, upper);
}

std::string ListingPattern(const std::string& directory, std::string_view pattern) {
    std::string path = directory;
    if (!path.empty()) {
        const char last = path.back();
        if (last != ':' && last != '\\' && last != '/') path += '\\';
    }
    path += pattern;
    return path;
}

namespace {

// Characters a file-name pattern takes literally and that the file system's case-insensitive
// comparison pairs exactly as the system's 1251 upper-case mapping does.
bool TakenLiterally(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    if (c >= 0xC0 || c == 0xA8 || c == 0xB8) return true;  // А-я, Ё, ё
    constexpr std::string_view kPlain = " !#$%&'()+,-;=@[]^_`{}~";
    return kPlain.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string SignatureSearchPattern(std::string_view clientKey, std::size_t maxLength) {
    std::string pattern;
    for (const char c : clientKey) {
        if (!TakenLiterally(static_cast<unsigned char>(c)) || pattern.size() + 1 >= maxLength) break;
        pattern += c;
    }
    pattern += '*';
    return pattern;
}

}  // namespace kavrel
