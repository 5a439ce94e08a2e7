// decoder_token_win: the decoder helper's restricted, low-integrity token (see the header).
#include "picture/decoder_token_win.h"

#include <cstdio>

#include "base/log.h"

namespace {

struct {
    HANDLE Token;
    bool Tried;  // made, or given up on: either way only once
} DecoderTokenState;

// The token as CreateProcessAsUserW needs it (these rights pass to the restricted copy).
const DWORD TokenRights = TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT;

bool SetLowIntegrity(HANDLE token) {
    SID_IDENTIFIER_AUTHORITY labels = SECURITY_MANDATORY_LABEL_AUTHORITY;
    PSID low = nullptr;
    if (!AllocateAndInitializeSid(&labels, 1, SECURITY_MANDATORY_LOW_RID, 0, 0, 0, 0, 0, 0, 0, &low)) return false;
    TOKEN_MANDATORY_LABEL label;
    label.Label.Sid = low;
    label.Label.Attributes = SE_GROUP_INTEGRITY;
    const BOOL set = SetTokenInformation(token, TokenIntegrityLevel, &label, sizeof label + GetLengthSid(low));
    const DWORD error = GetLastError();
    FreeSid(low);
    SetLastError(error);
    return set != FALSE;
}

}  // namespace

void DropDecoderToken(const char* step, DWORD error) {
    if (DecoderTokenState.Token) CloseHandle(DecoderTokenState.Token);
    DecoderTokenState.Token = nullptr;
    DecoderTokenState.Tried = true;
    char detail[160];
    snprintf(detail, sizeof detail, "%s failed (error %lu)", step, static_cast<unsigned long>(error));
    LogInfo("The picture decoder runs without a restricted token, in its job only: ", detail);
}

HANDLE DecoderToken() {
    if (DecoderTokenState.Tried) return DecoderTokenState.Token;
    DecoderTokenState.Tried = true;
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TokenRights, &own)) {
        DropDecoderToken("OpenProcessToken", GetLastError());
        return nullptr;
    }
    HANDLE restricted = nullptr;
    const BOOL made =
        CreateRestrictedToken(own, DISABLE_MAX_PRIVILEGE, 0, nullptr, 0, nullptr, 0, nullptr, &restricted);
    const DWORD error = GetLastError();
    CloseHandle(own);
    if (!made) {
        DropDecoderToken("CreateRestrictedToken", error);
        return nullptr;
    }
    DecoderTokenState.Token = restricted;
    if (!SetLowIntegrity(restricted)) {
        DropDecoderToken("setting its integrity level to low", GetLastError());
        return nullptr;
    }
    return restricted;
}
