// Whether this process runs under Wine, which says so through an export of its ntdll.
#pragma once

namespace kavrel {

// Wine's version ("8.0"), or null on Windows.
const char* WineVersion() noexcept;

}  // namespace kavrel
