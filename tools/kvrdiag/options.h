// kvrdiag's command line.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tools/kvrdiag/texts.h"

namespace kavrel::diag {

struct Options {
    bool help = false;    // --help, -h or /?: the usage alone
    std::string dllPath;  // empty: Kavrel.dll beside kvrdiag.exe
    bool sources = false;
    bool scan = false;
    bool keep = false;
    // --twain-log FILE: the module's TWAIN library writes its triplet log of this run there.
    std::string twainLog;
    std::string outFile;  // empty: the console only
    std::optional<std::string> directory;
    std::optional<std::string> clientKey;
    // How long one step that reaches a driver may take; a scan's message loop gets four times
    // as long (a page takes its time in a slow scanner).
    std::chrono::seconds stepLimit{30};
    Language language = Language::English;  // --lang, else the user's interface language
};

// The options of `arguments` (argv without the program), or none with `error` saying why not.
// `language` answers the run's language, --lang's or else `usersLanguage`, which `error` is in.
std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, Language usersLanguage,
                                    std::wstring* error, Language* language);

// Russian when the user's interface language is Russian, else English.
Language UsersLanguage();

}  // namespace kavrel::diag
