// The project's own error: a message for the operator, in the ANSI code page (1251).
#pragma once

#include <stdexcept>
#include <string>

namespace kavrel {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& ansiMessage) : std::runtime_error(ansiMessage) {}
};

}  // namespace kavrel
