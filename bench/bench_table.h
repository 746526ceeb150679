// The one table scripts/benchmark.sh prints at the end: each benchmark hands it rows on lines of
// their own ("table|" and the columns, '|' between), besides its own detailed output.
#pragma once

#include <cstdio>
#include <string>

namespace kavrel::bench {

// A measure, what it cost, what the same work cost done bare, the ratio, and its goal.
inline void TableRow(const std::string& measure, const std::string& ours, const std::string& bare,
                     const std::string& ratio, const std::string& goal) {
    std::printf("table|%s|%s|%s|%s|%s\n", measure.c_str(), ours.c_str(), bare.c_str(), ratio.c_str(), goal.c_str());
    std::fflush(stdout);
}

inline std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A time row: medians in seconds, shown in milliseconds, and their ratio against `goal` (0: a row
// shown for what it costs, without a goal).
inline void TimeRow(const std::string& measure, double ours, double bare, double goal) {
    TableRow(measure, Format("%.1f ms", ours * 1000), Format("%.1f ms", bare * 1000), Format("%.3f", ours / bare),
             goal > 0 ? Format("<= %.2f", goal) : std::string("-"));
}

}  // namespace kavrel::bench
