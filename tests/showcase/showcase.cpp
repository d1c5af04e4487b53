// Runs the installer as a user would on a screen nobody watches: shows the window,
// presses "Registrar", answers the confirmation, closes the window. Saves a picture of
// the window and of the confirmation, and reports what the machine now holds.
// showcase <folder for the pictures> [program]
// The program is the build's own Pelmora.exe unless given. The exit code is 0 when the
// confirmation appeared and the registration is in place.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ComponentIds.h"
#include "Dialogs.h"
#include "Driver.h"
#include "SysUtils.h"
#include "U_TAVRO.h"

namespace {

// The screen under the window, title bar included, as a 24-bit BMP file.
bool SavePicture(HWND window, const std::string& path) {
    RECT rc = driver::WindowRect(window);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rc.left, rc.top, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (width * 3 + 3) & ~3u;
    std::vector<char> pixels(stride * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

// What a window shows, for the terminal; the dialog's line break becomes the terminal's.
std::string Printable(const std::wstring& text) {
    std::string out = driver::Utf8(text);
    std::replace(out.begin(), out.end(), '\r', '\n');
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: showcase <folder for the pictures> [program]\n");
        return 2;
    }
    const std::string pictures = argv[1];
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string program =
        argc > 2 ? argv[2] : platform::ExtractFilePath(self) + "..\\bin\\Pelmora.exe";

    driver::Program installer(program);
    HWND form = driver::WaitForWindow("TForm1", L"", installer.id(), 30000);
    if (!form) {
        std::printf("The installer's window did not appear.\n");
        return 1;
    }
    Sleep(700);  // let it paint
    SavePicture(form, pictures + "\\window.bmp");
    std::printf("Window: \"%s\"\n", Printable(driver::Text(form)).c_str());

    driver::Press(driver::ChildByText(form, "Button", L"Registrar"));
    HWND dialog = driver::WaitForWindow(platform::kMessageDlgClass, L"", installer.id(), 30000);
    if (!dialog) {
        std::printf("No dialog appeared after pressing \"Registrar\".\n");
        return 1;
    }
    Sleep(700);
    SavePicture(dialog, pictures + "\\confirmation.bmp");
    const auto seen = driver::ReadDialog(dialog);
    const bool confirmed = seen.caption == L"Information";
    std::printf("Dialog \"%s\":\n", Printable(seen.caption).c_str());
    for (const auto& text : seen.texts) std::printf("  %s\n", Printable(text).c_str());
    driver::Press(driver::ChildByText(dialog, "Button", L"OK"));
    driver::WaitUntilGone(dialog, 10000);

    PostMessageW(form, WM_CLOSE, 0, 0);
    DWORD code = 0;
    installer.WaitForExit(20000, code);
    std::printf("The installer ended with exit code %lu.\n", code);

    std::string folder;
    U_TAVRO::GetTargetDir(folder);  // the installer of this bitness installs there
    std::printf("Shared folder %s holds:\n", folder.c_str());
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                std::printf("  %s (%lu bytes)\n", data.cFileName, data.nFileSizeLow);
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    const std::string key = std::string("CLSID\\") + component::kClsid + "\\InprocServer32";
    char value[MAX_PATH] = {}, model[64] = {};
    DWORD size = sizeof value, modelSize = sizeof model;
    LONG rc =
        RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size);
    RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), "ThreadingModel", RRF_RT_REG_SZ, nullptr, model,
                 &modelSize);
    if (rc == ERROR_SUCCESS) {
        std::printf("Registry: HKCR\\%s\n  (default) = %s\n  ThreadingModel = %s\n", key.c_str(),
                    value, model);
    } else {
        std::printf("Registry: HKCR\\%s is absent.\n", key.c_str());
    }
    return confirmed && rc == ERROR_SUCCESS && code == 0 ? 0 : 1;
}
