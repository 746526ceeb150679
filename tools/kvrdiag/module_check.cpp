// 1. The module.
#include <windows.h>

#include "tools/kvrdiag/authenticode.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/file_facts.h"
#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

// The file's Authenticode signature: application control (AppLocker, WDAC) lets only signed code
// load on a locked-down workstation, so an unsigned module is blocked before the interpreter calls it.
void CheckSignature(const std::string& path, ReportSection& section) {
    const Language language = section.Lang();
    const SignatureFacts signature = ReadSignature(path);
    if (signature.readError) {
        section.Warn(section.Say(TextId::SignatureUnreadable, {SystemError(language, signature.readError)}),
                     section.Say(TextId::ReinstallBesideKvrdiag));
        return;
    }
    const std::wstring signedRelease = section.Say(TextId::InstallSignedRelease);
    if (!signature.claimed) {
        section.Warn(section.Say(TextId::NotSigned), signedRelease);
        return;
    }
    if (!signature.present) {
        section.Fail(section.Say(TextId::SignatureDamaged), signedRelease);
        return;
    }
    const std::wstring signer = section.Say(
        TextId::SignedBy, {signature.subject.empty() ? section.Say(TextId::SignerNotCarried) : signature.subject});
    if (signature.trust == ERROR_SUCCESS) {
        // WinVerifyTrust's word, and no more: Windows accepts a signature whose chain reaches a
        // root it trusts; Wine 8.0 accepts any root and checks only that the file is as signed.
        section.Ok(section.Say(TextId::SignatureTrusted, {signer}));
    } else if (!RefusesOnlyTheCertificate(signature.trust)) {
        // The file or its signature is not as it was signed (changed, extended, damaged).
        section.Fail(section.Say(TextId::SignatureRefused, {signer, TrustRefusal(language, signature.trust)}),
                     signedRelease);
    } else {
        section.Warn(section.Say(TextId::SignatureNotTrustedHere, {signer, TrustRefusal(language, signature.trust)}),
                     section.Say(TextId::TrustCertificateAction, {signedRelease}));
    }
}

// The names AddModuleObjects registers, in its order.
const char* const kScriptFunctions[] = {"kvrshow", "kvrscan", "kvrprov"};

// Binds every export; the names `module` does not export go to `missing`.
TwainExports BindTwainExports(HMODULE module, std::vector<std::string>* missing) {
    TwainExports api;
#define KVRDIAG_BIND_EXPORT(name) \
    if (!twainlib::BindExport(module, #name, api.name)) missing->push_back(#name);
    KAVREL_TWAIN_EXPORTS(KVRDIAG_BIND_EXPORT)
    KAVREL_TWAIN_FILE_EXPORTS(KVRDIAG_BIND_EXPORT)
#undef KVRDIAG_BIND_EXPORT
    return api;
}

}  // namespace

void ReadScriptCall(const hoststandin::ScriptHost& host, int answerIndex, ScriptCallFacts* facts) {
    for (const auto& written : host.integers) {
        if (written.index == answerIndex) facts->result = written.value;
    }
    for (const auto& message : host.messages) facts->messages.push_back(FromOem(message));
    for (const auto& fault : host.faults) facts->faults.push_back(FromAnsi(fault));
}

void CheckModule(BoundedWorker& worker, std::chrono::milliseconds limit, const std::string& path,
                 ModuleUnderTest* module, ReportSection& section) {
    if (path.empty()) {
        section.Fail(section.Say(TextId::NoOwnFolderPath), section.Say(TextId::NoOwnFolderPathAction));
        return;
    }
    const Language language = section.Lang();
    const std::wstring shown = FromAnsi(path);
    const FileFacts file = ReadFileFacts(path);
    if (!file.exists || file.directory) {
        section.Fail(file.directory ? section.Say(TextId::IsDirectory, {shown})
                                    : section.Say(TextId::ModuleNotFound, {shown, SystemError(language, file.error)}),
                     section.Say(TextId::ModuleNotFoundAction));
        return;
    }
    const std::wstring facts =
        section.Say(TextId::ModuleFacts, {shown, Bytes(language, file.size), VersionText(language, file)});
    if (IsDeveloperBuild(file)) {
        section.Warn(section.Say(TextId::DeveloperBuild, {facts}), section.Say(TextId::InstallFromRelease));
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
        section.Fail(section.Say(TextId::LoadHung, {WholeSeconds(language, limit)}), section.Say(TextId::LoadHungAction));
        return;
    }
    if (!loaded || !*loaded) {
        section.Fail(section.Say(TextId::DoesNotLoad, {FromAnsi(host.LoadError())}),
                     section.Say(TextId::Must32Bit, {section.Say(TextId::ReinstallBesideKvrdiag)}));
        return;
    }
    std::vector<std::string> names;
    for (const auto& r : host.registrations) names.push_back(r.name);
    const bool allThree = names == std::vector<std::string>(std::begin(kScriptFunctions), std::end(kScriptFunctions));
    std::wstring registered;
    for (const auto& name : names) registered += (registered.empty() ? L"" : L", ") + FromAnsi(name);
    if (registered.empty()) registered = section.Say(TextId::Nothing);
    const std::wstring reinstall = section.Say(TextId::ReinstallBesideKvrdiag);
    if (allThree && host.faults.empty()) {
        section.Ok(section.Say(TextId::Registers, {registered}));
    } else {
        std::wstring faults;
        for (const auto& f : host.faults) faults += L"; " + FromAnsi(f);
        section.Fail(section.Say(TextId::RegistersWrong, {registered, faults}), reinstall);
    }
    module->started = true;

    std::vector<std::string> missing;
    const TwainExports twain = BindTwainExports(host.Module(), &missing);
    if (!missing.empty()) {
        std::wstring list;
        for (const auto& name : missing) list += (list.empty() ? L"" : L", ") + FromAnsi(name);
        section.Fail(section.Say(TextId::TwainLibraryLacks, {list}), reinstall);
        return;
    }
    section.Ok(section.Say(TextId::TwainLibraryExported, {std::to_wstring(twain.TWAIN_EasyVersion())}));
    module->twain = twain;
}

}  // namespace kavrel::diag
