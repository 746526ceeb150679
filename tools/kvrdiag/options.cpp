#include "tools/kvrdiag/options.h"

#include <windows.h>

#include <cstdlib>

#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

// The language --lang names, looked for first so that every complaint about the other arguments
// is in it; the first --lang before "--" counts (a wrong one is complained about in the parse).
Language LanguageOf(const std::vector<std::string>& arguments, Language usersLanguage) {
    for (std::size_t i = 0; i + 1 < arguments.size() && arguments[i] != "--"; ++i) {
        if (arguments[i] == "--lang") return LanguageNamed(arguments[i + 1]).value_or(usersLanguage);
    }
    return usersLanguage;
}

}  // namespace

Language UsersLanguage() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_RUSSIAN ? Language::Russian : Language::English;
}

std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, Language usersLanguage,
                                    std::wstring* error, Language* language) {
    Options options;
    options.language = *language = LanguageOf(arguments, usersLanguage);
    const auto fail = [&](TextId text, const std::string& value) {
        *error = Say(options.language, text, {FromAnsi(value)});
        return std::nullopt;
    };
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        // An option that takes a value never takes the next option for it ("--dll --scan"), nor
        // an empty one ("--out ''" would write nowhere without a word).
        const bool hasValue =
            i + 1 < arguments.size() && !arguments[i + 1].empty() && arguments[i + 1].rfind("--", 0) != 0;
        if (!optionsEnded && (argument == "--help" || argument == "-h" || argument == "/?")) {
            Options help;
            help.help = true;
            help.language = options.language;
            return help;
        }
        // A directory never starts with a dash; an option mistyped with one is no directory.
        if (!optionsEnded && argument.size() > 1 && argument[0] == '-' && argument.rfind("--", 0) != 0) {
            return fail(TextId::UnknownOption, argument);
        }
        if (optionsEnded || argument.rfind("--", 0) != 0) {
            positional.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--sources") {
            options.sources = true;
        } else if (argument == "--scan") {
            options.scan = true;
        } else if (argument == "--keep") {
            options.keep = true;
        } else if (argument == "--dll" && hasValue) {
            options.dllPath = arguments[++i];
        } else if (argument == "--twain-log" && hasValue) {
            options.twainLog = arguments[++i];
        } else if (argument == "--out" && hasValue) {
            options.outFile = arguments[++i];
        } else if (argument == "--lang" && hasValue) {
            const std::string& value = arguments[++i];
            if (!LanguageNamed(value)) return fail(TextId::LanguageValue, value);
        } else if (argument == "--timeout" && hasValue) {
            const std::string& value = arguments[++i];
            char* end = nullptr;
            const long seconds = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || seconds < 1 || seconds > 3600) return fail(TextId::TimeoutValue, value);
            options.stepLimit = std::chrono::seconds(seconds);
        } else if (argument == "--dll" || argument == "--out" || argument == "--timeout" || argument == "--lang" ||
                   argument == "--twain-log") {
            return fail(TextId::NeedsValue, argument);
        } else {
            return fail(TextId::UnknownOption, argument);
        }
    }
    if (options.keep && !options.scan) return fail(TextId::KeepNeedsScan, {});
    if (!options.twainLog.empty() && !options.scan) return fail(TextId::TwainLogNeedsScan, {});
    if (positional.size() > 2) return fail(TextId::TooManyArguments, positional[2]);
    if (!positional.empty()) options.directory = positional[0];
    if (positional.size() > 1) options.clientKey = positional[1];
    return options;
}

}  // namespace kavrel::diag
