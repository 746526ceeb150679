#include "module/signature_rule.h"

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

std::string ListingPattern(const std::string& directory) {
    std::string pattern = directory;
    if (!pattern.empty()) {
        const char last = pattern.back();
        if (last != ':' && last != '\\' && last != '/') pattern += '\\';
    }
    pattern += "*.*";
    return pattern;
}

}  // namespace kavrel
