#include "twain/app_identity.h"

#include <cstddef>
#include <cstring>

namespace kavrel::twainlib {

using namespace twain;

namespace {

constexpr std::size_t kIdentityStringChars = 33;  // TW_STR32 holds 33 characters and the terminator

void CopyIdentityString(char (&field)[34], const char* text) {
    std::memset(field, 0, sizeof field);
    if (text) std::strncpy(field, text, kIdentityStringChars);
}

}  // namespace

TW_IDENTITY MakeAppIdentity(int majorNum, int minorNum, int language, int country, const char* version,
                            const char* manufacturer, const char* productFamily, const char* productName) {
    TW_IDENTITY id{};
    id.Id = 0;
    id.Version.MajorNum = static_cast<TW_UINT16>(majorNum);
    id.Version.MinorNum = static_cast<TW_UINT16>(minorNum);
    id.Version.Language = static_cast<TW_UINT16>(language);
    id.Version.Country = static_cast<TW_UINT16>(country);
    CopyIdentityString(id.Version.Info, version);
    id.ProtocolMajor = kProtocolMajor;
    id.ProtocolMinor = kProtocolMinor;
    id.SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyIdentityString(id.Manufacturer, manufacturer);
    CopyIdentityString(id.ProductFamily, productFamily);
    CopyIdentityString(id.ProductName, productName);
    return id;
}

}  // namespace kavrel::twainlib
