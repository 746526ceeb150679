#include "twain/default_palette.h"

namespace kavrel::twainlib {

namespace {

constexpr PaletteColor Grey(std::uint8_t level) { return {level, level, level, kNoCollapse}; }

constexpr bool IsReservedCubeColor(int r, int g, int b) {
    // Black and the seven full-intensity corners have their own entries (0 and 249-255), and
    // four near-primaries are left out so that the cube fits its 204 entries.
    const bool corner = (r == 0 || r == 255) && (g == 0 || g == 255) && (b == 0 || b == 255);
    const bool left_out = (r == 0 && g == 51 && b == 255) || (r == 0 && g == 255 && b == 51) ||
                          (r == 51 && g == 0 && b == 255) || (r == 51 && g == 255 && b == 0);
    return corner || left_out;
}

constexpr std::array<PaletteColor, 256> MakeDefaultPalette() {
    std::array<PaletteColor, 256> p{};
    const PaletteColor system_low[10] = {
        {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
        {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
        {192, 220, 192, 0}, {166, 202, 240, 0}};
    for (int i = 0; i < 10; ++i) p[i] = system_low[i];

    const std::uint8_t greys_low[12] = {4, 8, 12, 17, 22, 28, 34, 41, 85, 77, 66, 57};
    for (int i = 0; i < 12; ++i) p[10 + i] = Grey(greys_low[i]);

    const PaletteColor extras[7] = {{255, 124, 128, kNoCollapse}, {255, 80, 80, kNoCollapse},
                                    {214, 0, 147, kNoCollapse},   {204, 236, 255, kNoCollapse},
                                    {239, 214, 198, kNoCollapse}, {231, 231, 214, kNoCollapse},
                                    {173, 169, 144, kNoCollapse}};
    for (int i = 0; i < 7; ++i) p[22 + i] = extras[i];

    // The colour cube: red slowest, blue fastest, each component one of the six levels.
    int at = 29;
    for (int r = 0; r <= 255; r += 51) {
        for (int g = 0; g <= 255; g += 51) {
            for (int b = 0; b <= 255; b += 51) {
                if (IsReservedCubeColor(r, g, b)) continue;
                p[at++] = {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                           static_cast<std::uint8_t>(b), kNoCollapse};
            }
        }
    }

    p[233] = {165, 0, 33, kNoCollapse};
    const std::uint8_t greys_high[12] = {95, 119, 134, 150, 203, 178, 215, 221, 227, 234, 241, 248};
    for (int i = 0; i < 12; ++i) p[234 + i] = Grey(greys_high[i]);

    const PaletteColor system_high[10] = {
        {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},
        {0, 255, 0, 0},     {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},
        {0, 255, 255, 0},   {255, 255, 255, 0}};
    for (int i = 0; i < 10; ++i) p[246 + i] = system_high[i];
    return p;
}

constexpr std::array<PaletteColor, 256> kPalette = MakeDefaultPalette();

// The cube must fill entries 29 to 232 exactly.
constexpr int CubeColorsKept() {
    int n = 0;
    for (int r = 0; r <= 255; r += 51)
        for (int g = 0; g <= 255; g += 51)
            for (int b = 0; b <= 255; b += 51)
                if (!IsReservedCubeColor(r, g, b)) ++n;
    return n;
}
static_assert(CubeColorsKept() == 204);

}  // namespace

const std::array<PaletteColor, 256> defaultDibPalette = kPalette;

}  // namespace kavrel::twainlib
