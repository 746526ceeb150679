#include "tools/kvrdiag/options.h"

#include <cstdlib>

namespace kavrel::diag {

const char kUsage[] =
    "usage: kvrdiag.exe [--dll PATH] [--sources] [--scan [--keep]] [--timeout SECONDS] [--out FILE]\r\n"
    "                   [DIRECTORY [CLIENT_KEY]]\r\n"
    "  --dll PATH       the Kavrel.dll to check (default: the one beside kvrdiag.exe)\r\n"
    "  --sources        open every TWAIN source, interface hidden, and ask for its capabilities\r\n"
    "  --scan           scan one page with the module's kvrscan, as a teller does (choose the scanner,\r\n"
    "                   scan in its window), into a temporary folder; step by step if it fails\r\n"
    "  --keep           keep the scanned JPEG (its path is in the report)\r\n"
    "  --timeout SECONDS  how long one driver call may take before it counts as hanging (default 30;\r\n"
    "                   the scan four times as long)\r\n"
    "  --out FILE       also write the report to FILE, as UTF-8\r\n"
    "  DIRECTORY        the signature directory a script passes; CLIENT_KEY a client's key in it\r\n"
    "Exit code: the worst of\r\n"
    "  0  every line OK (and --help)\r\n"
    "  1  some WARN\r\n"
    "  2  some FAIL, or the report could not be written to --out (or, without --out, to the output)\r\n"
    "  3  bad arguments: nothing was checked\r\n";

std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::string* error) {
    Options options;
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
            return help;
        }
        // A directory never starts with a dash; an option mistyped with one is no directory.
        if (!optionsEnded && argument.size() > 1 && argument[0] == '-' && argument.rfind("--", 0) != 0) {
            *error = "unknown option " + argument;
            return std::nullopt;
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
        } else if (argument == "--out" && hasValue) {
            options.outFile = arguments[++i];
        } else if (argument == "--timeout" && hasValue) {
            const std::string& value = arguments[++i];
            char* end = nullptr;
            const long seconds = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || seconds < 1 || seconds > 3600) {
                *error = "--timeout takes a number of seconds from 1 to 3600, not \"" + value + "\"";
                return std::nullopt;
            }
            options.stepLimit = std::chrono::seconds(seconds);
        } else if (argument == "--dll" || argument == "--out" || argument == "--timeout") {
            *error = argument + " needs a value";
            return std::nullopt;
        } else {
            *error = "unknown option " + argument;
            return std::nullopt;
        }
    }
    if (options.keep && !options.scan) {
        *error = "--keep keeps the scanned file: it needs --scan";
        return std::nullopt;
    }
    if (positional.size() > 2) {
        *error = "more than a directory and a client key: \"" + positional[2] + "\"";
        return std::nullopt;
    }
    if (!positional.empty()) options.directory = positional[0];
    if (positional.size() > 1) options.clientKey = positional[1];
    return options;
}

}  // namespace kavrel::diag
