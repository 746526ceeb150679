// 2. Windows and the regional settings.
#include <windows.h>

#include "base/windows_directory.h"
#include "base/wine.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/text.h"
#include "twain/export_binding.h"

namespace kavrel::diag {

namespace {

constexpr UINT kExpectedAnsi = 1251;
constexpr UINT kExpectedOem = 866;

// The version Windows itself reports (zeros when it cannot be asked): GetVersionEx answers what a
// program's manifest lets it see.
OSVERSIONINFOW RealVersion() {
    LONG(WINAPI * rtlGetVersion)(OSVERSIONINFOW*) = nullptr;
    if (const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll")) twainlib::BindExport(ntdll, "RtlGetVersion", rtlGetVersion);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!rtlGetVersion || rtlGetVersion(&info) != 0) return OSVERSIONINFOW{};
    return info;
}

// " (Wine 8.0)", or nothing on Windows.
std::wstring WineVersionText() {
    const char* version = kavrel::WineVersion();
    return version ? L" (Wine " + FromAnsi(version) + L")" : L"";
}

// "1251 (ANSI Cyrillic)", in the words the system has for it (Windows' own name begins with the
// number already: "1251  (ANSI - Cyrillic)").
std::wstring CodePageName(UINT codePage) {
    const std::wstring number = std::to_wstring(codePage);
    CPINFOEXW info{};
    if (!::GetCPInfoExW(codePage, 0, &info) || !info.CodePageName[0]) return number;
    const std::wstring name = info.CodePageName;
    return name.rfind(number, 0) == 0 ? name : number + L" (" + name + L")";
}

}  // namespace

void CheckSystem(ReportSection& section) {
    const OSVERSIONINFOW version = RealVersion();
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    section.Ok(section.Say(TextId::WindowsVersion,
                           {std::to_wstring(version.dwMajorVersion) + L"." + std::to_wstring(version.dwMinorVersion),
                            std::to_wstring(version.dwBuildNumber), section.Say(wow64 ? TextId::Bits64 : TextId::Bits32),
                            WineVersionText(), FromAnsi(WindowsDirectory())}));

    const UINT ansi = ::GetACP();
    if (ansi == kExpectedAnsi) {
        section.Ok(section.Say(TextId::AnsiCodePage, {CodePageName(ansi)}));
    } else {
        section.Warn(section.Say(TextId::AnsiNot1251, {CodePageName(ansi)}), section.Say(TextId::SetRussian));
    }
    const UINT oem = ::GetOEMCP();
    if (oem == kExpectedOem) {
        section.Ok(section.Say(TextId::OemCodePage, {CodePageName(oem)}));
    } else {
        section.Warn(section.Say(TextId::OemNot866, {CodePageName(oem)}), section.Say(TextId::SetRussian));
    }
}

}  // namespace kavrel::diag
