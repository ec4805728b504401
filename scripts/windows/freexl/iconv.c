/* See iconv.h. */
#include "iconv.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

enum { kUtf16Le = 1200, kAscii = 20127, kMacRoman = 10000 };

typedef struct {
    UINT codePage;
} Converter;

static UINT codePageOf(const char* name)
{
    if (_stricmp(name, "UTF-16LE") == 0) return kUtf16Le;
    if (_stricmp(name, "ASCII") == 0) return kAscii;
    if (_stricmp(name, "MacRoman") == 0) return kMacRoman;
    if (_strnicmp(name, "CP", 2) == 0) return (UINT)strtoul(name + 2, NULL, 10);
    return 0;
}

iconv_t iconv_open(const char* to, const char* from)
{
    UINT codePage = codePageOf(from);
    if (_stricmp(to, "UTF-8") != 0 || codePage == 0
        || (codePage != kUtf16Le && !IsValidCodePage(codePage))) {
        errno = EINVAL;
        return (iconv_t)-1;
    }
    Converter* converter = malloc(sizeof *converter);
    if (!converter) {
        errno = ENOMEM;
        return (iconv_t)-1;
    }
    converter->codePage = codePage;
    return converter;
}

/* The input as UTF-16 in a new buffer (free it), its length in *units;
   NULL with errno set when the bytes are not valid in the code page. */
static WCHAR* toWide(UINT codePage, const char* in, size_t inBytes, int* units)
{
    if (codePage == kUtf16Le) {
        if (inBytes % 2 != 0) {
            errno = EINVAL;
            return NULL;
        }
        *units = (int)(inBytes / 2);
        WCHAR* wide = malloc(inBytes + sizeof(WCHAR));
        if (wide) memcpy(wide, in, inBytes);
        else errno = ENOMEM;
        return wide;
    }
    *units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in, (int)inBytes, NULL, 0);
    if (*units == 0) {
        errno = EILSEQ;
        return NULL;
    }
    WCHAR* wide = malloc((size_t)(*units + 1) * sizeof(WCHAR));
    if (!wide) {
        errno = ENOMEM;
        return NULL;
    }
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in, (int)inBytes, wide, *units);
    return wide;
}

size_t iconv(iconv_t cd, char** in, size_t* inleft, char** out, size_t* outleft)
{
    if (!in || !*in || *inleft == 0) return 0;  /* a reset, or nothing to do */
    const Converter* converter = cd;
    int units = 0;
    WCHAR* wide = toWide(converter->codePage, *in, *inleft, &units);
    if (!wide) return (size_t)-1;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, NULL, 0, NULL, NULL);
    if (bytes <= 0 || (size_t)bytes > *outleft) {
        free(wide);
        errno = bytes <= 0 ? EILSEQ : E2BIG;
        return (size_t)-1;
    }
    WideCharToMultiByte(CP_UTF8, 0, wide, units, *out, bytes, NULL, NULL);
    free(wide);
    *out += bytes;
    *outleft -= (size_t)bytes;
    *in += *inleft;
    *inleft = 0;
    return 0;
}

int iconv_close(iconv_t cd)
{
    free(cd);
    return 0;
}
