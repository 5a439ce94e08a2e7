// log: the console log. One line per call on the standard error stream:
//   "[Info]: " or "[Error]: ", the message text, the detail if any, "\n".
// The detail of LogInfo and LogError (a path, a reason from outside) is written with its control
// characters and the bytes that are not well-formed UTF-8 as '?', so that it cannot break the
// line or forge another; LogFatal writes its detail as it is (a driver's multi-line log).
// No timestamp, no level filter (only the switch below), no flush of its own (std::cerr is
// unit-buffered, so a line is complete on the stream before a fatal error aborts).
#pragma once

// Whether LogInfo and LogError write their lines (true from the start). The command line's
// batch, which tells of each picture in lines of its own, turns them off unless asked for them.
// LogFatal always writes.
extern bool LogLinesShown;

void LogInfo(const char* text, const char* detail = nullptr);
// A failure of the program itself: writes the error line, then aborts.
[[noreturn]] void LogFatal(const char* text, const char* detail = nullptr);
// A failure caused by bad input (a picture that does not load): the program goes on.
void LogError(const char* text, const char* detail = nullptr);
