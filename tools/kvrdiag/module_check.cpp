// 1. The module.
#include <windows.h>

#include "tools/kvrdiag/authenticode.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/file_facts.h"
#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

constexpr wchar_t kReinstall[] = L"install Kavrel.dll from the release archive again, beside kvrdiag.exe";
constexpr wchar_t kSignedRelease[] = L"install Kavrel.dll from the bank's signed release (its Windows Installer package)";

// The file's Authenticode signature: application control (AppLocker, WDAC) lets only signed code
// load on a locked-down workstation, so an unsigned module is blocked before the interpreter calls it.
void CheckSignature(const std::string& path, ReportSection& section) {
    const SignatureFacts signature = ReadSignature(path);
    if (signature.readError) {
        section.Warn(L"its signature could not be read: " + SystemError(signature.readError), kReinstall);
        return;
    }
    if (!signature.claimed) {
        section.Warn(L"not signed: it carries no Authenticode signature, and application control that admits signed "
                     L"code only (AppLocker, WDAC) blocks it",
                     kSignedRelease);
        return;
    }
    if (!signature.present) {
        section.Fail(L"its Authenticode signature is damaged: the file names one that cannot be read (the file was "
                     L"changed or cut short after it was signed)",
                     kSignedRelease);
        return;
    }
    const std::wstring signer =
        L"signed by " + (signature.subject.empty() ? std::wstring(L"a certificate the signature does not carry")
                                                   : signature.subject);
    if (signature.trust == ERROR_SUCCESS) {
        // WinVerifyTrust's word, and no more: Windows accepts a signature whose chain reaches a
        // root it trusts; Wine 8.0 accepts any root and checks only that the file is as signed.
        section.Ok(signer + L" (Authenticode), and WinVerifyTrust accepts the signature");
    } else if (!RefusesOnlyTheCertificate(signature.trust)) {
        // The file or its signature is not as it was signed (changed, extended, damaged).
        section.Fail(signer + L", but " + TrustRefusal(signature.trust), kSignedRelease);
    } else {
        section.Warn(signer + L", but Windows does not trust the signature here: " + TrustRefusal(signature.trust),
                     L"make the bank's code-signing certificate trusted on this computer (Group Policy), or " +
                         std::wstring(kSignedRelease));
    }
}

// The names AddModuleObjects registers, in its order.
const char* const kScriptFunctions[] = {"kvrshow", "kvrscan", "kvrprov"};

}  // namespace

void CheckModule(BoundedWorker& worker, std::chrono::milliseconds limit, const std::string& path,
                 ModuleUnderTest* module, ReportSection& section) {
    if (path.empty()) {
        section.Fail(L"kvrdiag.exe's own folder has no path that Kavrel.dll can be loaded by (longer than 259 "
                     L"characters without a short form, or with characters outside the ANSI code page)",
                     L"copy kvrdiag.exe and Kavrel.dll into a shorter folder, or name Kavrel.dll with --dll PATH");
        return;
    }
    const std::wstring shown = FromAnsi(path);
    const FileFacts file = ReadFileFacts(path);
    if (!file.exists || file.directory) {
        section.Fail(shown + (file.directory ? L" is a directory" : L" cannot be found: " + SystemError(file.error)),
                     L"put Kavrel.dll beside kvrdiag.exe, or name it with --dll PATH");
        return;
    }
    const std::wstring facts = shown + L": " + Bytes(file.size) + L", file version " + VersionText(file);
    if (IsDeveloperBuild(file)) {
        section.Warn(facts + L": a developer's build, which no release is (built with uncommitted changes, or without the history "
                     L"that numbers a build)",
                     L"install Kavrel.dll from the release archive");
    } else {
        section.Ok(facts);
    }
    CheckSignature(path, section);

    hoststandin::ScriptHost& host = module->host;
    // Loading the module loads what it imports (the spooler's client among them), and their
    // start-up code runs under the loader lock: under Wine, winspool.drv's registers newly found
    // printers and loads their drivers there. A load that does not come back is reported, and
    // nothing after it may need the loader (kvrdiag_main.cpp).
    const auto loaded = worker.Ask({limit}, [module, path] {
        if (!module->host.Load(path)) return false;
        module->host.Start();
        return true;
    });
    if (!loaded && worker.Stuck()) {
        module->hung = true;
        section.Fail(L"it did not finish loading in " + WholeSeconds(limit) +
                         L": a DLL it loads is stuck in its start-up (under Wine often a printer's driver, loaded by "
                         L"the print spooler's client); the interpreter would hang the same way, and the sections that "
                         L"need Windows' loader are not checked",
                     L"make another printer the default or remove the printer added last; update its driver");
        return;
    }
    if (!loaded || !*loaded) {
        section.Fail(L"it does not load: " + FromAnsi(host.LoadError()),
                     std::wstring(kReinstall) + L"; it must be the 32-bit build");
        return;
    }
    std::vector<std::string> names;
    for (const auto& r : host.registrations) names.push_back(r.name);
    const bool allThree = names == std::vector<std::string>(std::begin(kScriptFunctions), std::end(kScriptFunctions));
    std::wstring registered;
    for (const auto& name : names) registered += (registered.empty() ? L"" : L", ") + FromAnsi(name);
    if (registered.empty()) registered = L"nothing";
    if (allThree && host.faults.empty()) {
        section.Ok(L"loads as the interpreter loads it and registers " + registered);
    } else {
        std::wstring faults;
        for (const auto& f : host.faults) faults += L"; " + FromAnsi(f);
        section.Fail(L"loads, but registers " + registered + L" (kvrshow, kvrscan, kvrprov expected)" + faults,
                     kReinstall);
    }
    module->started = true;

    std::vector<std::string> missing;
    const TwainExports twain = BindTwainExports(host.Module(), &missing);
    if (!missing.empty()) {
        std::wstring list;
        for (const auto& name : missing) list += (list.empty() ? L"" : L", ") + FromAnsi(name);
        section.Fail(L"its TWAIN library lacks " + list, kReinstall);
        return;
    }
    section.Ok(L"exports its TWAIN library (TWAIN_EasyVersion = " + std::to_wstring(twain.TWAIN_EasyVersion()) + L")");
    module->twain = twain;
}

}  // namespace kavrel::diag
