#include "base/reason_text.h"

// The length of the well-formed UTF-8 sequence at `at` (2 to 4 bytes), or 0.
static int Utf8Length(const unsigned char* at) {
    const unsigned char lead = at[0];
    int length = 0;
    unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) length = 2;
    else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;   // no overlong forms
        if (lead == 0xed) high = 0x9f;  // no UTF-16 surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at[1] < low || at[1] > high) return 0;
    for (int i = 2; i < length; ++i)
        if (at[i] < 0x80 || at[i] > 0xbf) return 0;  // a NUL stops here too
    return length;
}

void ReplaceUnfitBytes(char* text, char replacement) {
    unsigned char* at = reinterpret_cast<unsigned char*>(text);
    while (*at) {
        if (*at < 0x80) {
            if (*at < 0x20 || *at == 0x7f) *at = (unsigned char)replacement;
            ++at;
        } else if (int length = Utf8Length(at)) {
            at += length;
        } else {
            *at++ = (unsigned char)replacement;
        }
    }
}

void CleanReasonText(char* text) { ReplaceUnfitBytes(text, '?'); }
