// file_paths: two questions about a path that the export asks of the file system before it
// writes: is there something of that name already, and where does a relative path point.
//
//   if (PathExists("/home/me/coffee-painted.png")) ask before replacing;
//   std::string where = AbsolutePath("coffee.jpg");   // "/home/me/coffee.jpg" from /home/me
//
// Paths are UTF-8 on every platform (the wide-character calls on Windows, whose conversions
// are here too for the other picture files). Nothing here creates, opens or changes anything;
// any thread may call these.
#pragma once
#include <string>

// Whether the path names anything: a file, a folder, a link (even one that leads nowhere).
bool PathExists(const char* path);

// The path made absolute against the working folder, without resolving links or "..": an
// absolute path comes back as it is, "" stays "". On Windows "C:x" and "\x" are completed too.
// When the working folder cannot be read, the path comes back as it is.
std::string AbsolutePath(const char* path);

#ifdef _WIN32
// What the wide-character calls take and give: UTF-8 text as UTF-16, false (and "") when the
// text is not well-formed UTF-8; UTF-16 as UTF-8. "" stays "".
bool Utf8ToWide(const std::string& text, std::wstring* wide);
std::string WideToUtf8(const std::wstring& wide);
#endif
