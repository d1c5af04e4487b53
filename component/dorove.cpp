// Companion library of the component server; the server refuses to register without it.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI DoroveVersion() { return 1; }
