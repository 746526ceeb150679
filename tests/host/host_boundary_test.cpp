// The host boundary of Kavrel.dll, driven the way the script interpreter drives it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <set>

#include "support/test_support.h"
#include "tools/kvrhost/script_host.h"

namespace kavrel::test {
namespace {

using hoststandin::MissingArgument;
using hoststandin::ScriptHost;

class HostBoundary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError(); }
    void TearDown() override {
        host.Unload();
        EXPECT_TRUE(host.faults.empty()) << host.faults.front();
    }
    ScriptHost host;
};

TEST_F(HostBoundary, SetCallBacksAnswers304ForAnyTableAndRemovesItsArgument) {
    EXPECT_EQ(host.SetCallBacks(host.Table()), 304);
    EXPECT_EQ(host.SetCallBacks(nullptr), 304);
    int junk[4] = {};
    EXPECT_EQ(host.SetCallBacks(junk), 304);  // stored without looking at it
    EXPECT_EQ(host.SetCallBacks(host.Table()), 304);
    // The stand-in measures the stack on every call: a wrong convention shows up as a fault.
}

TEST_F(HostBoundary, RegistersTheThreeFunctionsInOrderWithZeroArguments) {
    host.Start();
    ASSERT_EQ(host.registrations.size(), 3u);
    const char* expected[] = {"kvrshow", "kvrscan", "kvrprov"};
    std::set<void*> entries;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(host.registrations[i].name, expected[i]);
        EXPECT_EQ(host.registrations[i].first, 0);
        EXPECT_EQ(host.registrations[i].last, 0);
        entries.insert(host.registrations[i].entry);
    }
    EXPECT_EQ(entries.size(), 3u) << "each name needs its own entry";

    host.AddModuleObjects();
    ASSERT_EQ(host.registrations.size(), 6u) << "a second call registers the three names again";
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(host.registrations[3 + i].name, expected[i]);
        EXPECT_EQ(host.registrations[3 + i].entry, host.registrations[i].entry);
    }
}

// A second host table that records only the integers written through it.
std::vector<std::int32_t> secondTableIntegers;
int __stdcall SecondSetParameter(std::int32_t, std::int32_t, std::int32_t* value) {
    secondTableIntegers.push_back(*value);
    return 0;
}

TEST_F(HostBoundary, AReplacedTableTakesEffectForLaterCalls) {
    host.Start();
    // Keep the host's GetParameter (so kvrprov gets arguments) but send results elsewhere.
    void* second[16];
    std::memcpy(second, host.Table(), sizeof second);
    second[4] = reinterpret_cast<void*>(&SecondSetParameter);
    secondTableIntegers.clear();
    EXPECT_EQ(host.SetCallBacks(second), 304);
    ASSERT_TRUE(host.Call("kvrprov", {"", "Z:\\nonexistent\\dir", "key"}));
    EXPECT_TRUE(host.integers.empty()) << "the first table was used after it was replaced";
    ASSERT_EQ(secondTableIntegers.size(), 1u);
    EXPECT_EQ(secondTableIntegers[0], 2);
}

TEST_F(HostBoundary, NullTableMakesEveryHostCallANoOp) {
    host.Start();
    const auto entries = host.registrations;
    EXPECT_EQ(host.SetCallBacks(nullptr), 304);
    host.AddModuleObjects();  // registers nothing, and does not crash
    EXPECT_EQ(host.registrations.size(), entries.size());
    ASSERT_TRUE(host.Call("kvrprov", {"", "Z:\\nonexistent", "k"}));  // reads nothing, writes nothing
    EXPECT_TRUE(host.integers.empty());
    EXPECT_TRUE(host.parametersRead.empty());
}

TEST_F(HostBoundary, ArgumentTextSurvivesTheHostReusingItsRecord) {
    // The stand-in spoils the previous argument's text at every GetParameter, as an interpreter
    // that reuses its temporaries does: kvrprov reads the directory, then the key, and must
    // still see the directory it copied.
    ScratchDir dir;
    WriteBytes(dir / "K1.jpg", "x");
    host.Start();
    ASSERT_TRUE(host.Call("kvrprov", {"", dir.Path(), "K1"}));
    ASSERT_EQ(host.integers.size(), 1u);
    EXPECT_EQ(host.integers[0].value, 0);
    EXPECT_EQ(host.parametersRead, (std::vector<int>{1, 2}));
}

class MissingArguments : public HostBoundary,
                         public ::testing::WithParamInterface<MissingArgument> {};

TEST_P(MissingArguments, ReadAsEmptyText) {
    host.SetMissingArgument(GetParam());
    host.Start();
    // No arguments at all: the directory and the key read as empty texts, and the empty path is
    // no directory.
    ASSERT_TRUE(host.Call("kvrprov", {}));
    ASSERT_EQ(host.integers.size(), 1u);
    EXPECT_EQ(host.integers[0].index, 0);
    EXPECT_EQ(host.integers[0].value, 2);

    // A directory but no key: the empty key matches every signature file.
    ScratchDir dir;
    WriteBytes(dir / "anyone.bmp", "x");
    host.ClearRecords();
    ASSERT_TRUE(host.Call("kvrprov", {"", dir.Path()}));
    ASSERT_EQ(host.integers.size(), 1u);
    EXPECT_EQ(host.integers[0].value, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryHostBehaviour, MissingArguments,
                         ::testing::Values(MissingArgument::LeaveVariable, MissingArgument::NullRecord,
                                           MissingArgument::NullText));

TEST_F(HostBoundary, StartUpRoutineRefusesOnlyASecondAttach) {
    // The system attached when the library was loaded: the host's forwarded attach is refused.
    EXPECT_EQ(host.DllMainForward(DLL_PROCESS_ATTACH), 0);
    EXPECT_EQ(host.DllMainForward(DLL_THREAD_ATTACH), 1);
    EXPECT_EQ(host.DllMainForward(DLL_THREAD_DETACH), 1);
    EXPECT_EQ(host.DllMainForward(DLL_PROCESS_DETACH), 1);
    EXPECT_EQ(host.DllMainForward(DLL_PROCESS_DETACH), 1) << "a repeated detach is harmless";
    EXPECT_EQ(host.DllMainForward(DLL_PROCESS_ATTACH), 1) << "after a detach the module may attach again";
    EXPECT_EQ(host.DllMainForward(7), 1) << "unknown reasons report success";
    // The stand-in's Unload forwards one more detach before FreeLibrary; then the system's own.
}

TEST_F(HostBoundary, UnloadAndReloadWorksInOneProcess) {
    host.Start();
    ScratchDir dir;
    host.Unload();
    ASSERT_TRUE(host.Load(KavrelDllPath()));
    host.ClearRecords();
    host.Start();
    ASSERT_TRUE(host.Call("kvrprov", {"", dir.Path(), ""}));
    ASSERT_EQ(host.integers.size(), 1u);
    EXPECT_EQ(host.integers[0].value, 1);
}

// --- the DLL file itself ----------------------------------------------------------------------

struct PeImage {
    HMODULE module;
    const IMAGE_NT_HEADERS32* nt() const {
        auto* base = reinterpret_cast<const BYTE*>(module);
        auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    }
    template <class T>
    const T* at(DWORD rva) const {
        return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(module) + rva);
    }
};

TEST(KavrelDll, IsA32BitDllWithPlainExportNames) {
    ScriptHost host;
    ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError();
    PeImage image{host.Module()};
    EXPECT_EQ(image.nt()->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_TRUE(image.nt()->FileHeader.Characteristics & IMAGE_FILE_DLL);
    const auto& dir = image.nt()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    const auto* exports = image.at<IMAGE_EXPORT_DIRECTORY>(dir.VirtualAddress);
    const auto* names = image.at<DWORD>(exports->AddressOfNames);
    std::set<std::string> exported;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const std::string name = image.at<char>(names[i]);
        EXPECT_EQ(name.find('@'), std::string::npos) << "decorated export " << name;
        exported.insert(name);
    }
    for (const char* name : {"RslSetCallBacks", "RslDllMain", "AddModuleObjects"}) {
        EXPECT_EQ(exported.count(name), 1u) << name;
    }
}

TEST(KavrelDll, ImportsSystemDllsOnly) {
    ScriptHost host;
    ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError();
    PeImage image{host.Module()};
    const auto& dir = image.nt()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    const std::set<std::string> system = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMDLG32.DLL",
                                          "WINSPOOL.DRV", "ADVAPI32.DLL", "MSVCRT.DLL",
                                          "SHELL32.DLL", "OLE32.DLL"};
    int count = 0;
    for (auto* d = image.at<IMAGE_IMPORT_DESCRIPTOR>(dir.VirtualAddress); d->Name; ++d) {
        std::string name = image.at<char>(d->Name);
        for (char& c : name) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(system.count(name), 1u) << "imports " << name;
        ++count;
    }
    EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace kavrel::test
