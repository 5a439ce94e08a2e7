#include "base/log.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "base/reason_text.h"

bool LogLinesShown = true;

static void WriteLine(const char* prefix, const char* text, const char* detail) {
    std::cerr << prefix << text << (detail ? detail : "") << "\n";
}

// The detail of a line that the program goes on from names what came from outside (a path, a
// decoder's reason): whatever it holds, the line stays one line of text.
static void WriteCleanLine(const char* prefix, const char* text, const char* detail) {
    if (!LogLinesShown) return;
    std::string clean = detail ? detail : "";
    CleanReasonText(&clean[0]);
    WriteLine(prefix, text, clean.c_str());
}

void LogInfo(const char* text, const char* detail) { WriteCleanLine("[Info]: ", text, detail); }

void LogFatal(const char* text, const char* detail) {
    WriteLine("[Error]: ", text, detail);
    abort();
}

void LogError(const char* text, const char* detail) { WriteCleanLine("[Error]: ", text, detail); }
