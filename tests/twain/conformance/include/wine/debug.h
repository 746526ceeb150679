/* What Wine's test header needs of Wine's debugging header, for a test built with MinGW rather
 * than inside Wine's tree: the printf attribute and wine_dbg_sprintf, a formatted text that
 * lives long enough to be printed (a ring of buffers, as Wine's own is). Also the console
 * declarations Wine's headers bring along with windows.h. */
#pragma once

#include <stdarg.h>
#include <stdio.h>
#include <windows.h>

#define __WINE_PRINTF_ATTR(fmt, args) __attribute__((format(printf, fmt, args)))

static inline const char *wine_dbg_sprintf(const char *format, ...) __WINE_PRINTF_ATTR(1, 2);
static inline const char *wine_dbg_sprintf(const char *format, ...)
{
    static char texts[8][64];
    static unsigned next;
    char *text = texts[next++ % 8];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof texts[0], format, args);
    va_end(args);
    return text;
}
