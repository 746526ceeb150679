#include "tools/kvrdiag/authenticode.h"

#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <cwchar>
#include <vector>

#include "base/win_handles.h"
#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

struct CertStoreTraits {
    using Value = HCERTSTORE;
    static Value empty() noexcept { return nullptr; }
    static void close(Value h) noexcept { ::CertCloseStore(h, 0); }
};
struct CryptMessageTraits {
    using Value = HCRYPTMSG;
    static Value empty() noexcept { return nullptr; }
    static void close(Value h) noexcept { ::CryptMsgClose(h); }
};
struct CertificateTraits {
    using Value = PCCERT_CONTEXT;
    static Value empty() noexcept { return nullptr; }
    static void close(Value h) noexcept { ::CertFreeCertificateContext(h); }
};

// The subject of the certificate that signed `message`, found among the certificates the
// signature carries.
std::wstring SignerSubject(HCERTSTORE store, HCRYPTMSG message, DWORD encoding) {
    DWORD size = 0;
    if (!::CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) return {};
    std::vector<unsigned char> buffer(size);
    if (!::CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) return {};
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
    CERT_INFO wanted{};
    wanted.Issuer = signer->Issuer;
    wanted.SerialNumber = signer->SerialNumber;
    const UniqueHandle<CertificateTraits> certificate(
        ::CertFindCertificateInStore(store, encoding, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
    if (!certificate) return {};
    CERT_NAME_BLOB* subject = &certificate.get()->pCertInfo->Subject;
    const DWORD flags = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;
    const DWORD length = ::CertNameToStrW(X509_ASN_ENCODING, subject, flags, nullptr, 0);
    if (length <= 1) return {};
    std::wstring text(length, L'\0');
    ::CertNameToStrW(X509_ASN_ENCODING, subject, flags, text.data(), length);
    text.resize(length - 1);
    return text;
}

LONG VerifyTrust(const std::wstring& path) {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG answer = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return answer;
}

}  // namespace

SignatureFacts ReadSignature(const std::string& path) {
    SignatureFacts facts;
    const std::wstring wide = FromAnsi(path);
    DWORD encoding = 0, content = 0, format = 0;
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (::CryptQueryObject(CERT_QUERY_OBJECT_FILE, wide.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                           CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content, &format, &store, &message,
                           nullptr)) {
        const UniqueHandle<CertStoreTraits> storeOwner(store);
        const UniqueHandle<CryptMessageTraits> messageOwner(message);
        facts.present = true;
        facts.subject = SignerSubject(store, message, encoding);
    }
    facts.trust = VerifyTrust(wide);
    return facts;
}

std::wstring TrustRefusal(LONG trust) {
    static const struct {
        HRESULT answer;
        const wchar_t* reason;
    } kReasons[] = {
        {CERT_E_UNTRUSTEDROOT, L"its certificate's root is not trusted on this computer"},
        {CERT_E_CHAINING, L"its certificate chain does not reach a root this computer has"},
        {CERT_E_EXPIRED, L"its certificate had expired when it signed, and no time stamp says otherwise"},
        {CERT_E_REVOKED, L"its certificate is revoked"},
        {CERT_E_WRONG_USAGE, L"its certificate is not one for signing code"},
        {TRUST_E_BAD_DIGEST, L"the file was changed after it was signed"},
        {TRUST_E_EXPLICIT_DISTRUST, L"its certificate is marked as not to be trusted"},
        {TRUST_E_NOSIGNATURE, L"Windows finds no signature in it"},
    };
    for (const auto& known : kReasons) {
        if (static_cast<LONG>(known.answer) == trust) return known.reason;
    }
    wchar_t code[16];
    std::swprintf(code, sizeof code / sizeof code[0], L"0x%08lX", static_cast<unsigned long>(trust));
    return std::wstring(L"Windows refuses it (") + code + L")";
}

}  // namespace kavrel::diag
