#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace kavrel::test {

namespace {

std::string Convert(const std::wstring& text, UINT codePage) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text, UINT codePage) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}


std::string TestRootUnix() {
    char buffer[1024] = {};
    const DWORD n = ::GetEnvironmentVariableA("KAVREL_TEST_ROOT", buffer, sizeof buffer);
    if (n > 0 && n < sizeof buffer) return buffer;
    return "/tmp/kavrel-test-scratch";
}

}  // namespace

std::string WindowsArgument(const std::string& text) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

std::string WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    for (char& c : out) {
        if (c == '/') c = '\\';
    }
    return out;
}

std::string UnixPathOf(const std::string& windowsPath) {
    if (windowsPath.size() < 2 || (windowsPath[0] != 'Z' && windowsPath[0] != 'z') ||
        windowsPath[1] != ':') {
        ADD_FAILURE() << "not a path of drive Z: " << windowsPath;
        return "/nonexistent";
    }
    // The Linux side names files in UTF-8.
    std::string out = Convert(Widen(windowsPath.substr(2), CP_ACP), CP_UTF8);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

std::string KavrelDllPath() { return WindowsPath(KAVREL_DLL_PATH); }

std::string Ansi(const std::wstring& text) { return Convert(text, 1251); }
std::wstring FromOem(const std::string& oem) { return Widen(oem, 866); }
std::wstring FromAnsi(const std::string& ansi) { return Widen(ansi, 1251); }

std::string Hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X", c);
        if (!out.empty()) out += ' ';
        out += b;
    }
    return out;
}

int RunUnix(const std::string& command, DWORD timeoutMs) {
    // Wine starts a Linux program given by its Linux path, but detached: CreateProcess succeeds
    // with no process handle to wait on. The command therefore leaves its exit status in a
    // marker file, which appears (by a rename) only when it is complete.
    // Windows process ids repeat across the prefixes' servers: the clock makes the name unique.
    static int counter = 0;
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    const std::string marker = "/tmp/kavrel-rununix-" + std::to_string(::GetCurrentProcessId()) + "-" +
                               std::to_string(now.QuadPart) + "-" + std::to_string(++counter);
    const std::string script = "(" + command + "); echo $? > " + marker + ".part && mv " + marker +
                               ".part " + marker;
    std::string commandLine = "/bin/sh -c " + WindowsArgument(script);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA("Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        return -1;
    }
    // Not closed: for a Linux program Wine fills neither the handles nor the ids of
    // PROCESS_INFORMATION, but copies its own uninitialised record into it (its trace shows
    // random process ids). Closing those values closed whatever handles of this process they
    // happened to name -- once the desktop handle, after which no new thread got a desktop and
    // the next file dialog failed at once.
    const std::string markerPath = WindowsPath(marker);
    for (DWORD waited = 0; waited < timeoutMs; waited += 5) {
        if (::GetFileAttributesA(markerPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
            const auto bytes = ReadBytes(markerPath);
            ::DeleteFileA(markerPath.c_str());
            return std::atoi(std::string(bytes.begin(), bytes.end()).c_str());
        }
        ::Sleep(5);
    }
    ADD_FAILURE() << "the Linux command did not finish in time: " << command;
    return -1;
}

namespace {
bool MakeDirectories(const std::string& path) {
    if (::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS) return true;
    const auto slash = path.find_last_of('\\');
    if (slash == std::string::npos || slash < 3) return false;
    return MakeDirectories(path.substr(0, slash)) && ::CreateDirectoryA(path.c_str(), nullptr);
}
}  // namespace

ScratchDir::ScratchDir() {
    // Short on purpose: the TWAIN library's files go through OpenFile (128 characters at most),
    // and tests add names of their own below. Process ids repeat across the prefixes' Wine
    // servers, so a name is taken only by making its directory, which fails when another
    // program made it first.
    static int counter = 0;
    const std::string root = TestRootUnix();
    if (!MakeDirectories(WindowsPath(root))) {
        ADD_FAILURE() << "cannot make the scratch root " << root << " (error " << ::GetLastError() << ")";
    }
    for (int attempt = 0; attempt < 1000; ++attempt) {
        unixPath_ = root + "/" + std::to_string(::GetCurrentProcessId()) + "." + std::to_string(++counter);
        path_ = WindowsPath(unixPath_);
        if (::CreateDirectoryA(path_.c_str(), nullptr)) return;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    ADD_FAILURE() << "cannot make a scratch directory under " << root << " (error " << ::GetLastError() << ")";
}

ScratchDir::~ScratchDir() {
    RunUnix("chmod -R u+rwx " + ShellQuote(unixPath_) + " 2>/dev/null; rm -rf " + ShellQuote(unixPath_));
}

std::string ScratchDir::Subdir(const std::string& name) const {
    const std::string path = *this / name;
    if (!::CreateDirectoryA(path.c_str(), nullptr)) ADD_FAILURE() << "cannot make " << path;
    return path;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create " << path;
        return;
    }
    DWORD written = 0;
    if (!bytes.empty()) ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    if (written != bytes.size()) ADD_FAILURE() << "short write to " << path;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    const DWORD size = ::GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD read = 0;
    if (size) ::ReadFile(file, bytes.data(), size, &read, nullptr);
    bytes.resize(read);
    ::CloseHandle(file);
    return bytes;
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void LockPath(const std::string& windowsPath) {
    ASSERT_EQ(RunUnix("chmod 000 " + ShellQuote(UnixPathOf(windowsPath))), 0) << windowsPath;
}

void UnlockPath(const std::string& windowsPath) {
    ASSERT_EQ(RunUnix("chmod 755 " + ShellQuote(UnixPathOf(windowsPath))), 0) << windowsPath;
}

}  // namespace kavrel::test
