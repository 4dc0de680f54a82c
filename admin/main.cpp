// Arbolin.exe, the admin console: makes the windows, runs the start-up and the message loop.
#include <windows.h>

#include <commctrl.h>

#include "admin_key.h"
#include "arbolin_form.h"
#include "op_wait_form.h"
#include "password_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    AdminKey();  // the Key access object exists before the windows

    static TOpWaitForm opWaitForm;
    static TArbolinForm arbolinForm(&opWaitForm);
    if (!arbolinForm.Create(instance))
        return 1;
    if (!arbolinForm.FormCreate())
        return 1;
    // The input dialogs of the commands are the form's own (each is made when it is shown);
    // the plain password dialog exists beside them, unused, as the base of TChangePasDlg.
    static TPasswordDlg passwordDlg;
    (void)passwordDlg;
    opWaitForm.Create();
    arbolinForm.FormShow();

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (arbolinForm.PreTranslate(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
