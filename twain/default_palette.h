// The 256-colour palette given to DIBs that carry no colour table of their own.
#pragma once

#include <array>
#include <cstdint>

namespace kavrel::twainlib {

struct PaletteColor {
    std::uint8_t red, green, blue, flags;
};

constexpr std::uint8_t kNoCollapse = 0x04;  // PC_NOCOLLAPSE

extern const std::array<PaletteColor, 256> defaultDibPalette;

}  // namespace kavrel::twainlib
