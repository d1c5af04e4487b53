#include "SysUtils.h"

namespace platform {

std::string ExceptionMessage(const std::exception_ptr& error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "Unknown exception.";
}

std::string IntToStr(long long value) {
    // Digits from the right; the magnitude as unsigned so the most negative value works too.
    unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    char digits[24];
    char* p = digits + sizeof digits;
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) *--p = '-';
    return std::string(p, digits + sizeof digits);
}

std::string IntToHex(unsigned long long value, int digits) {
    char text[17];
    char* p = text + sizeof text;
    do {
        *--p = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while ((value || text + sizeof text - p < digits) && p > text);
    return std::string(p, text + sizeof text);
}

std::string SysErrorMessage(DWORD error) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    UniqueLocal owned(buffer);
    std::string message(buffer ? buffer : "", buffer ? length : 0);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n')) {
        message.pop_back();
    }
    return message;
}

std::string Format(const std::string& format, std::initializer_list<FormatArg> args) {
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (++i == format.size()) throw Exception("Format '" + format + "' invalid");
        char conversion = format[i];
        if (conversion == '%') {
            out += '%';
            continue;
        }
        if (next == args.end())
            throw Exception("Format '" + format + "' invalid or incompatible with argument");
        const FormatArg& arg = *next++;
        if (conversion == 's' && std::holds_alternative<std::string>(arg)) {
            out += std::get<std::string>(arg);
        } else if (conversion == 'd' && std::holds_alternative<long long>(arg)) {
            out += IntToStr(std::get<long long>(arg));
        } else {
            throw Exception("Format '" + format + "' invalid or incompatible with argument");
        }
    }
    return out;
}

std::string ExtractFilePath(const std::string& path) {
    size_t pos = path.find_last_of("\\:");
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

namespace {

bool DirectoryExists(const std::string& dir) {
    DWORD attr = GetFileAttributesA(dir.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool ForceDirectories(const std::string& dir) {
    if (dir.empty()) throw Exception("Unable to create directory");
    std::string path = dir;
    // Drop trailing backslashes, but keep a drive root (C:\ ) and the root (\ ) whole.
    while (path.size() > 1 && path.back() == '\\' && !(path.size() == 3 && path[1] == ':')) {
        path.pop_back();
    }
    if (DirectoryExists(path)) return true;
    std::string parent = ExtractFilePath(path);
    if (!parent.empty() && parent != path && !ForceDirectories(parent)) return false;
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool SetCurrentDir(const std::string& dir) { return SetCurrentDirectoryA(dir.c_str()) != FALSE; }

int FindFirst(const std::string& path, int attr, TSearchRec& result) {
    constexpr DWORD special =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    WIN32_FIND_DATAA data{};
    UniqueFind find(FindFirstFileA(path.c_str(), &data));
    if (!find) return static_cast<int>(GetLastError());
    while ((data.dwFileAttributes & special & ~static_cast<DWORD>(attr)) != 0) {
        if (!FindNextFileA(find.get(), &data)) return static_cast<int>(GetLastError());
    }
    result.Name = data.cFileName;
    result.Attr = data.dwFileAttributes;
    result.FindHandle = std::move(find);
    return 0;
}

}  // namespace platform
