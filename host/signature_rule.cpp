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

bool IsStorableFileName(std::string_view name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 32 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return !IsDeviceName(name);
}

bool IsDeviceName(std::string_view name) {
    // The device is named by what comes before the first dot, trailing spaces dropped.
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    std::string upper(stem);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
        if (upper == device) return true;
    }
    return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

std::string JoinPath(const std::string& directory, std::string_view name) {
    std::string path = directory;
    if (!path.empty()) {
        const char last = path.back();
        if (last != ':' && last != '\\' && last != '/') path += '\\';
    }
    path += name;
    return path;
}

std::string ListingPattern(const std::string& directory, std::string_view pattern) {
    return JoinPath(directory, pattern);
}

namespace {

constexpr std::size_t kMaxPath = 260;  // MAX_PATH: a pattern with its directory must fit it
constexpr std::size_t kMaxName = 255;  // the longest name a directory entry has

// The letters of code page 1251 that a pattern takes literally: ASCII and the Russian letters,
// whose case pairs the file system's case-insensitive comparison makes as the system's 1251
// upper-case mapping does.
bool IsLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0xC0 || c == 0xA8 || c == 0xB8;  // А-я, Ё, ё
}

// Characters a pattern takes literally in `mode`.
bool TakenLiterally(unsigned char c, KeyMode mode) {
    if (c >= '0' && c <= '9') return true;
    // Letters only where the pattern may compare exactly: a case-sensitive directory would miss
    // the other letter case that the case-insensitive rule accepts.
    if (IsLetter(c)) return mode == KeyMode::ExactBytes;
    constexpr std::string_view kPlain = " !#$%&'()+,-;=@[]^_`{}~";
    return kPlain.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string SignatureSearchPattern(std::string_view clientKey, KeyMode mode, std::size_t maxLength) {
    std::string pattern;
    for (const char c : clientKey) {
        if (!TakenLiterally(static_cast<unsigned char>(c), mode) || pattern.size() + 1 >= maxLength) break;
        pattern += c;
    }
    pattern += '*';
    return pattern;
}

std::optional<std::vector<std::string>> WalkSignatureFiles(const std::string& directory,
                                                           std::string_view clientKey, KeyMode mode,
                                                           UpperCaseMapping upper, const DirectoryListing& listing,
                                                           std::size_t limit) {
    const std::size_t room = directory.size() + 2 < kMaxPath ? kMaxPath - directory.size() - 2 : 1;
    const std::string pattern =
        ListingPattern(directory, SignatureSearchPattern(clientKey, mode, room < kMaxName ? room : kMaxName));
    std::vector<std::string> names;
    const bool listed = listing(pattern, [&](const std::string& name) {
        if (names.size() >= limit) return false;
        // A device name with an extension ("nul.bmp", from another system) is no file of the
        // directory to the file calls: they would read, and delete, the device by it.
        if (IsSignatureName(name, clientKey, mode, upper) && !IsDeviceName(name)) names.push_back(name);
        return names.size() < limit;
    });
    if (!listed) return std::nullopt;
    return names;
}

}  // namespace kavrel
