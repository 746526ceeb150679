// Helpers shared by the tests: scratch directories, files, code-page conversions and running
// Linux commands from inside Wine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kavrel::test {

// The Windows path of a Linux path ("/a/b" -> "Z:\a\b"); Windows paths come back unchanged.
std::string WindowsPath(const std::string& path);

// The Kavrel.dll this build made, as a Windows path.
std::string KavrelDllPath();

// Texts. The module works in code page 1251; tests write expectations as UTF-16 literals so
// that they do not depend on the code page the test itself was compiled for.
std::string Ansi(const std::wstring& text);       // UTF-16 -> 1251
std::wstring FromOem(const std::string& oem);     // 866 -> UTF-16
std::wstring FromAnsi(const std::string& ansi);   // 1251 -> UTF-16
std::string Hex(const std::string& bytes);        // "88 A2 A0"

// One argument of a Windows command line, quoted so that the usual splitting rules give it back
// unchanged (backslashes before a quote are doubled, quotes escaped).
std::string WindowsArgument(const std::string& text);

// Runs `command` with /bin/sh on the Linux side and returns its exit status (-1 if it could
// not be started). Waits at most `timeoutMs`.
int RunUnix(const std::string& command, DWORD timeoutMs = 60000);

// A fresh directory for one test, removed again (whatever its permissions) when the test ends.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }    // Windows path, no trailing "\"
    const std::string& UnixPath() const { return unixPath_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

    // A sub-directory, made and returned as a path.
    std::string Subdir(const std::string& name) const;

private:
    std::string path_;
    std::string unixPath_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
// Takes away every permission of a Linux path (chmod 000) or gives them back (chmod 755).
void LockPath(const std::string& windowsPath);
void UnlockPath(const std::string& windowsPath);
// The Linux path of a Windows path of a Z: drive.
std::string UnixPathOf(const std::string& windowsPath);

}  // namespace kavrel::test
