// log: the console log. One line per call on the standard error stream:
//   "[Info]: " or "[Error]: ", the message text, the detail if any, "\n".
// No timestamp, no level filter, no flush of its own (std::cerr is unit-buffered, so a line is
// complete on the stream before a fatal error aborts).
#pragma once

void LogInfo(const char* text, const char* detail = nullptr);
// A failure of the program itself: writes the error line, then aborts.
[[noreturn]] void LogFatal(const char* text, const char* detail = nullptr);
// A failure caused by bad input (a picture that does not load): the program goes on.
void LogError(const char* text, const char* detail = nullptr);
