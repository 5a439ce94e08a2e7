#include "app/log.h"

#include <cstdlib>
#include <iostream>

static void WriteLine(const char* prefix, const char* text, const char* detail) {
    std::cerr << prefix << text << (detail ? detail : "") << "\n";
}

void LogInfo(const char* text, const char* detail) {
    WriteLine("[Info]: ", text, detail);
}

void LogFatal(const char* text, const char* detail) {
    WriteLine("[Error]: ", text, detail);
    abort();
}

void LogError(const char* text, const char* detail) {
    WriteLine("[Error]: ", text, detail);
}
