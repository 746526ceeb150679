// Whether a file carries an Authenticode signature, whose, and whether Windows trusts it here:
// what application control (AppLocker, WDAC) judges before the interpreter may load the module.
#pragma once

#include <windows.h>

#include <string>

#include "tools/kvrdiag/texts.h"

namespace kavrel::diag {

struct SignatureFacts {
    DWORD readError = 0;    // why the file could not be read (then nothing else is known)
    bool claimed = false;   // the PE file's security directory names a signature
    bool present = false;   // an embedded Authenticode signature (PKCS#7) was found and read
    std::wstring subject;   // the signing certificate's subject, "CN=…, O=…"; empty if not found
    LONG trust = 0;         // WinVerifyTrust's answer for the file: ERROR_SUCCESS when trusted
};

// Reads the signature of `path` and asks WinVerifyTrust about it, without any network retrieval
// (a workstation need reach no revocation server for its report).
SignatureFacts ReadSignature(const std::string& path);

// Why WinVerifyTrust refused a signature, in a few words ("the certificate's root is not trusted
// on this computer").
std::wstring TrustRefusal(Language language, LONG trust);
// Whether the refusal is about whom this computer trusts (the certificate, its chain, its root),
// which IT can change, rather than about the file and its signature (changed, damaged).
bool RefusesOnlyTheCertificate(LONG trust);

}  // namespace kavrel::diag
