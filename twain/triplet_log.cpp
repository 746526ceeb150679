#include "twain/triplet_log.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/critical_section.h"
#include "base/win_handles.h"
#include "twain/code_names.h"
#include "twain/twain_protocol.h"

namespace kavrel::twainlib {

namespace {

// The size past which the log starts a new file, the full one kept beside it as "<file>.1" (the
// one before that is dropped): at most twice this on disk, however long the workstation runs.
// One line is about 120 bytes, so each file holds some 8,000 triplets -- many acquisitions -- and
// the file before it still holds the start of an acquisition that filled one. The window messages
// passed to the source that were not its own (thousands a minute with its window open) are
// counted in one line, not written one by one, or they would push the acquisition's opening out
// of both files. Starting again in place would lose exactly the lines that led up to the fault.
constexpr DWORD kLogFileCap = 1024 * 1024;
constexpr char kLogVariable[] = "KAVREL_TWAIN_LOG";
constexpr char kLogKey[] = "Software\\Kavrel";
constexpr char kLogValue[] = "TwainLog";
constexpr DWORD kPathChars = MAX_PATH;

// Window messages handed to the source in a row that were not its own (MSG_PROCESSEVENT answered
// TWRC_NOTDSEVENT, the state unchanged): written as one line, with the latest one's time, thread
// and state, before the next other line or when the log is closed.
struct NotTheSourcesRun {
    unsigned long count = 0;
    LoggedTriplet last;
    SYSTEMTIME time{};
    DWORD thread = 0;
};

struct TripletLogFile {
    CriticalSection lock;  // triplets may be sent from more than one thread
    std::string path;
    KernelHandle file;
    DWORD size = 0;
    NotTheSourcesRun run;
};

TripletLogFile& TheLog() {
    static TripletLogFile log;
    return log;
}

// The file named by the variable (which wins, even set empty) or the registry value; empty for
// none, or for a name that does not fit a path.
std::string LogSetting() {
    char text[kPathChars] = {};
    ::SetLastError(ERROR_SUCCESS);  // a variable set empty answers 0 without an error of its own
    const DWORD length = ::GetEnvironmentVariableA(kLogVariable, text, sizeof text);
    if (length >= sizeof text) return {};
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, kLogKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
        DWORD type = 0;
        DWORD size = sizeof text - 1;  // a value stored without its terminator still ends in one
        const LONG read = ::RegQueryValueExA(key, kLogValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
        ::RegCloseKey(key);
        if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    }
    char expanded[kPathChars] = {};
    const DWORD expandedLength = ::ExpandEnvironmentStringsA(text, expanded, sizeof expanded);
    if (expandedLength == 0 || expandedLength > sizeof expanded) return {};
    return expanded;
}

// Appending only, so that each line lands at the end whoever else writes to the file; shared for
// reading (support reads it live), writing (another program logs to the same file) and deleting
// (the full file is renamed while open elsewhere).
KernelHandle OpenLogFile(const std::string& path, DWORD access, DWORD disposition) {
    return KernelHandle(::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void OpenForAppending(TripletLogFile& log) {
    log.file = OpenLogFile(log.path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, OPEN_ALWAYS);
    const DWORD size = log.file ? ::GetFileSize(log.file.get(), nullptr) : 0;
    log.size = size == INVALID_FILE_SIZE ? 0 : size;
}

// The file is full: kept as "<file>.1", and a new one begun. Where it cannot be renamed (a reader
// holds it open without sharing its deletion, as support's viewer may while the scan runs) its
// lines are copied to "<file>.1" and it is emptied, so that it stays bounded and the lines that led
// up to a fault are still there; only where even the copy fails are they given up for the bound.
void StartAnew(TripletLogFile& log) {
    log.file.reset();
    const std::string kept = log.path + ".1";
    if (!::MoveFileExA(log.path.c_str(), kept.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ::CopyFileA(log.path.c_str(), kept.c_str(), FALSE);
        OpenLogFile(log.path, GENERIC_WRITE, TRUNCATE_EXISTING);
    }
    OpenForAppending(log);
    if (log.size >= kLogFileCap) log.file.reset();  // neither worked: no more lines until reopened
}

// A code as its name, or as a number where it has none.
const char* NameOr(const char* name, unsigned value, char (&number)[16]) {
    if (name && std::strcmp(name, "unknown") != 0) return name;
    std::snprintf(number, sizeof number, "0x%04X", value);
    return number;
}

// Appends a triplet's line; `times` above 1 for a run of the same triplet. Any error writing it
// is swallowed: nothing of the traced call depends on its line.
void WriteLine(TripletLogFile& log, const LoggedTriplet& t, const SYSTEMTIME& at, DWORD thread,
               unsigned long times) noexcept {
    try {
        char group[16], argumentType[16], message[16], result[16], condition[16];
        char conditionPart[48] = "";
        if (t.conditionCode != kNoLoggedCondition) {
            std::snprintf(conditionPart, sizeof conditionPart, " (%s)",
                          NameOr(ConditionCodeName(t.conditionCode), static_cast<unsigned>(t.conditionCode), condition));
        }
        char timesPart[32] = "";
        if (times > 1) std::snprintf(timesPart, sizeof timesPart, ", %lu times", times);
        char line[256];
        const int length = std::snprintf(
            line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u.%03u thread %lu %s %s %s %s -> %s%s, state %d -> %d%s\r\n",
            at.wYear, at.wMonth, at.wDay, at.wHour, at.wMinute, at.wSecond, at.wMilliseconds,
            static_cast<unsigned long>(thread), t.toSource ? "DS " : "DSM",
            NameOr(DataGroupName(t.group), static_cast<unsigned>(t.group), group),
            NameOr(DataArgumentTypeName(t.argumentType), t.argumentType, argumentType),
            NameOr(MessageName(t.message), t.message, message),
            NameOr(ResultCodeName(t.resultCode), static_cast<unsigned>(t.resultCode), result), conditionPart,
            t.stateBefore, t.stateAfter, timesPart);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof line || !log.file) return;
        if (log.size + static_cast<DWORD>(length) > kLogFileCap) StartAnew(log);
        DWORD written = 0;
        if (log.file && ::WriteFile(log.file.get(), line, static_cast<DWORD>(length), &written, nullptr)) {
            log.size += written;
        }
    } catch (...) {
        // No memory for the name of "<file>.1": the line is given up.
    }
}

// Writes the run of messages that were not the source's, if any, and begins a new one.
void WriteRun(TripletLogFile& log) noexcept {
    if (log.run.count == 0) return;
    WriteLine(log, log.run.last, log.run.time, log.run.thread, log.run.count);
    log.run.count = 0;
}

}  // namespace

void OpenTripletLog() noexcept {
    try {
        TripletLogFile& log = TheLog();
        std::string path = LogSetting();
        const CriticalSectionLock locked(log.lock);
        if (path == log.path && log.file) return;
        WriteRun(log);
        log.file.reset();
        log.path = std::move(path);
        if (!log.path.empty()) OpenForAppending(log);
    } catch (...) {
        // No memory for the name: no log, and the call goes on.
    }
}

void CloseTripletLog() noexcept {
    TripletLogFile& log = TheLog();
    const CriticalSectionLock locked(log.lock);
    WriteRun(log);
    log.file.reset();
}

bool TripletLogOpen() noexcept {
    TripletLogFile& log = TheLog();
    const CriticalSectionLock locked(log.lock);
    return static_cast<bool>(log.file);
}

void LogTriplet(const LoggedTriplet& t) noexcept {
    TripletLogFile& log = TheLog();
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const DWORD thread = ::GetCurrentThreadId();
    const CriticalSectionLock locked(log.lock);
    if (!log.file) return;
    const bool notTheSources = t.group == twain::DG_CONTROL && t.argumentType == twain::DAT_EVENT &&
                               t.message == twain::MSG_PROCESSEVENT && t.resultCode == twain::TWRC_NOTDSEVENT &&
                               t.stateBefore == t.stateAfter;
    // A run is of one line's triplets: one in another state (a callback pumping messages in state
    // 7) begins a run of its own.
    if (!notTheSources || (log.run.count > 0 && (log.run.last.stateBefore != t.stateBefore ||
                                                 log.run.last.toSource != t.toSource))) {
        WriteRun(log);
    }
    if (notTheSources) {
        ++log.run.count;
        log.run.last = t;
        log.run.time = now;
        log.run.thread = thread;
        return;
    }
    WriteLine(log, t, now, thread, 1);
}

}  // namespace kavrel::twainlib
