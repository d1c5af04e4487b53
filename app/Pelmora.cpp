// Program entry: installs and registers the PDF split/merge component.
#include <windows.h>

#include <exception>

#include "Forms.h"
#include "U_Pelmora.h"

using platform::Application;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        Application.Initialize();
        Application.SetTitle("Drovanel");
        Application.CreateForm(U_Pelmora::Form1);
        Application.Run();
    } catch (...) {
        // Start-up failed (the window could not be built): say why, then leave.
        Application.HandleException(std::current_exception());
        return 1;
    }
    return 0;
}
