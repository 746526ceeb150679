// Where a benchmark program and this build's Kavrel.dll (built beside it) are.
#pragma once

#include <windows.h>

#include <string>

namespace kavrel::bench {

inline std::string ThisProgramPath() {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    return self;
}

inline std::string KavrelDllBesideThisProgram() {
    const std::string self = ThisProgramPath();
    return self.substr(0, self.find_last_of('\\')) + "\\Kavrel.dll";
}

}  // namespace kavrel::bench
