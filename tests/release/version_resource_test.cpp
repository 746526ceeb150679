// The version resource of every shipped binary, read back the way Windows reads it for the
// file's Properties and an inventory of workstations does: GetFileVersionInfoA, VerQueryValueA.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kavrel_version.h"
#include "shipped_binaries.h"
#include "support/test_support.h"

namespace kavrel::test {
namespace {

struct ShippedBinary {
    const char* path;         // as the build made it (a Linux path)
    const char* fileName;     // what OriginalFilename must say
    const char* description;  // what FileDescription must say (kavrel_shipped_binary)
    bool program;             // an .exe (VFT_APP), else a DLL (VFT_DLL)
};

// One row per shipped binary, written by the build (tests/CMakeLists.txt).
const ShippedBinary kShipped[] = {KAVREL_SHIPPED_BINARIES};

// The version resource of a file, and its strings in the language and code page it declares.
class VersionBlock {
public:
    explicit VersionBlock(const std::string& path) {
        DWORD ignored = 0;
        const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0) return;
        bytes_.resize(size);
        if (!::GetFileVersionInfoA(path.c_str(), 0, size, bytes_.data())) bytes_.clear();
    }
    bool Present() const { return !bytes_.empty(); }

    const VS_FIXEDFILEINFO* Fixed() const {
        void* value = nullptr;
        UINT size = 0;
        if (!::VerQueryValueA(bytes_.data(), "\\", &value, &size) || size < sizeof(VS_FIXEDFILEINFO)) return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }

    // "<absent>" when the resource has no such string.
    std::string String(const char* name) const {
        struct Translation {
            WORD language;
            WORD codePage;
        };
        void* value = nullptr;
        UINT size = 0;
        if (!::VerQueryValueA(bytes_.data(), "\\VarFileInfo\\Translation", &value, &size) ||
            size < sizeof(Translation))
            return "<no translation>";
        const auto* translation = static_cast<const Translation*>(value);
        char key[96];
        std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                      translation->codePage, name);
        if (!::VerQueryValueA(bytes_.data(), key, &value, &size) || size == 0) return "<absent>";
        const char* text = static_cast<const char*>(value);
        return std::string(text, strnlen(text, size));
    }

private:
    std::vector<char> bytes_;
};

class VersionResource : public ::testing::TestWithParam<ShippedBinary> {};

TEST_P(VersionResource, CarriesTheVersionAndTheCommitAndItsOwnNames) {
    const ShippedBinary& shipped = GetParam();
    const VersionBlock block(WindowsPath(shipped.path));
    ASSERT_TRUE(block.Present()) << shipped.fileName << " has no version resource";

    const VS_FIXEDFILEINFO* fixed = block.Fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    // The numbers Windows compares, from the project's version (CMakeLists.txt) and the build's
    // number (the commits since that version was set).
    const DWORD high = MAKELONG(KAVREL_PROJECT_VERSION_MINOR, KAVREL_PROJECT_VERSION_MAJOR);
    const DWORD low = MAKELONG(KAVREL_VERSION_BUILD, KAVREL_PROJECT_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, shipped.program ? static_cast<DWORD>(VFT_APP) : static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));

    // The texts: the version with the commit, as this build knows it; a build with uncommitted
    // changes says so in its version, its flags and a string of its own.
    EXPECT_EQ(block.String("FileVersion"), KAVREL_VERSION_TEXT);
    EXPECT_EQ(block.String("ProductVersion"), KAVREL_VERSION_TEXT);
    EXPECT_EQ(std::string(KAVREL_VERSION_TEXT).rfind(KAVREL_PROJECT_VERSION, 0), 0u) << KAVREL_VERSION_TEXT;
#ifdef KAVREL_PRIVATE_BUILD
    EXPECT_NE(std::string(KAVREL_VERSION_TEXT).find("-dirty"), std::string::npos);
    EXPECT_EQ(fixed->dwFileFlags & VS_FF_PRIVATEBUILD, static_cast<DWORD>(VS_FF_PRIVATEBUILD));
    EXPECT_EQ(block.String("PrivateBuild"), KAVREL_PRIVATE_BUILD);
#else
    EXPECT_EQ(std::string(KAVREL_VERSION_TEXT).find("dirty"), std::string::npos);
    EXPECT_EQ(fixed->dwFileFlags & VS_FF_PRIVATEBUILD, 0u);
    EXPECT_EQ(block.String("PrivateBuild"), "<absent>");
#endif
    EXPECT_EQ(block.String("ProductName"), "Kavrel");
    EXPECT_EQ(block.String("FileDescription"), shipped.description);
    EXPECT_EQ(block.String("OriginalFilename"), shipped.fileName);
    EXPECT_EQ(block.String("LegalCopyright").rfind("Copyright (c) ", 0), 0u) << block.String("LegalCopyright");
}

std::string RowName(const ::testing::TestParamInfo<ShippedBinary>& info) {
    std::string name = info.param.fileName;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(ShippedBinaries, VersionResource, ::testing::ValuesIn(kShipped), RowName);

}  // namespace
}  // namespace kavrel::test
