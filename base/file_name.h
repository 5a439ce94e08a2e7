// file_name: the last component of a path, and the same made fit to show a person.
//
//   FileNameOfPath("/home/ann/coffee.jpg");    // "coffee.jpg"
//   DisplayFileName("/home/ann/caf\xe9\n.jpg");  // "caf??.jpg": one line of well-formed text
//
// Separators: '/' everywhere, and '\' too on Windows, where "C:name" is "name" on drive C. On
// Linux a backslash is an ordinary character of a name. Nothing here touches the file system.
#pragma once
#include <cstddef>
#include <string>

bool IsPathSeparator(char ch);
// Where the last component of `path` starts: path.size() when it ends in a separator.
size_t FileNameStart(const std::string& path);
// The last component as it is ("" for a path that ends in a separator).
std::string FileNameOfPath(const char* path);
// The last component (the whole path when that is empty) with control characters and bytes that
// are not well-formed UTF-8 shown as '?' (CleanReasonText), so that a name cannot break a line of
// the log or of a message. What every notice, strip and confirmation names a file by.
std::string DisplayFileName(const char* path);
