// kvrprov: does a client have signature images in a directory.
#include "base/no_throw.h"
#include "host/host_interface.h"
#include "module/script_functions.h"
#include "host/signature_files.h"

namespace kavrel::script {

namespace {
constexpr int kSignaturesOnFile = 0;
constexpr int kNoSignatures = 1;
constexpr int kNoDirectory = 2;
}  // namespace

void __cdecl kvrprov() {
    // The host must never see an error, whatever happens below.
    NoThrowVoid([] {
        try {
            const std::string directory = host::GetParamText(1);
            const std::string clientKey = host::GetParamText(2);

            int result = kNoDirectory;
            if (DirectoryExists(directory)) {
                // One signature file answers the question: the walk stops at the first.
                const auto names = ListSignatureFiles(directory, clientKey, KeyMode::IgnoreCase, 1);
                // A directory that exists but cannot be listed answers 2, like a missing one: the
                // script cannot use it, and answering 1 would claim that the client has no
                // signature on file when there may well be one behind the refusal.
                if (names) result = names->empty() ? kNoSignatures : kSignaturesOnFile;
            }
            host::SetParamInt(0, result);
        } catch (...) {
            // Only running out of memory can get here. The host must not see an error, and the
            // script still gets an answer it can act on.
            host::SetParamInt(0, kNoDirectory);
        }
    });
}

}  // namespace kavrel::script
