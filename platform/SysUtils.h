// String, path and file helpers of the framework.
#pragma once

#include <windows.h>

#include <exception>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <variant>

#include "Handles.h"

namespace platform {

// Base class of every exception the program raises.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The message shown for an exception of any kind.
std::string ExceptionMessage(const std::exception_ptr& error);

// Decimal text of a number.
std::string IntToStr(long long value);

// Upper-case hexadecimal text of a number, at least digits long.
std::string IntToHex(unsigned long long value, int digits);

// The system's message for a Windows error code, in the system's language, without its
// trailing line breaks and with its inserts (%1, ...) left as they are; "" when there is none.
std::string SysErrorMessage(DWORD error);

// One argument of Format: text for %s, a number for %d.
using FormatArg = std::variant<std::string, long long>;

// printf-like formatting with %s, %d and %%; a mismatched argument raises Exception.
std::string Format(const std::string& format, std::initializer_list<FormatArg> args);

// Folder part of a path, up to and including its last backslash (or colon).
std::string ExtractFilePath(const std::string& path);

// Creates a folder and its missing parents; true when the folder exists afterwards.
// Raises Exception for an empty path.
bool ForceDirectories(const std::string& dir);

bool SetCurrentDir(const std::string& dir);

// File attribute masks for FindFirst.
constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02;
constexpr int faSysFile = 0x04;
constexpr int faVolumeID = 0x08;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;
constexpr int faAnyFile = 0x3F;

// A search started by FindFirst; owns the find handle.
struct TSearchRec {
    std::string Name;
    DWORD Attr = 0;
    UniqueFind FindHandle;
};

// Searches for the first entry matching path (wildcards allowed) whose special attributes
// (hidden, system, folder) are all in attr. 0 when found, else the Windows error code.
int FindFirst(const std::string& path, int attr, TSearchRec& result);

}  // namespace platform
