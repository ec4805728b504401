/* The part of iconv that freexl uses, for its Windows build: conversions
   from a Windows code page (or UTF-16LE) to UTF-8, done by the system's own
   code page functions. MinGW-w64 has no iconv of its own. */
#ifndef ORVANE_WIN_ICONV_H
#define ORVANE_WIN_ICONV_H

#include <stddef.h>

typedef void* iconv_t;

/* Only "UTF-8" is accepted as the target; the source is "UTF-16LE",
   "ASCII", "MacRoman" or "CP<number>". Anything else: (iconv_t)-1, EINVAL. */
iconv_t iconv_open(const char* to, const char* from);

/* Converts the whole input at once. Returns 0, or (size_t)-1 with errno
   E2BIG (output too small; nothing consumed), EILSEQ (bytes invalid in the
   code page) or EINVAL (a UTF-16 unit cut in half). */
size_t iconv(iconv_t cd, char** in, size_t* inleft, char** out, size_t* outleft);

int iconv_close(iconv_t cd);

#endif
