// The wait window: caption, text and the product icon, topmost, centred on the screen.
#include "op_wait_form.h"

#include "admin_ui.h"
#include "arbolin_res.h"
#include "text_ids.h"

bool TOpWaitForm::Create()
{
    return CreateModeless(nullptr, IDD_OPWAIT_FORM) != nullptr;
}

void TOpWaitForm::FormShow()
{
    SetClientSize(480, 82);
    Place(IDC_LOGON_ICON, 8, 8, 73, 65);
    Place(IDC_WAIT_TXT, 96, 32, 376, 16);
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TOpWaitForm::Show()
{
    if (window_ == nullptr)
        return;
    SetWindowTextA(window_, StandardCaption().c_str());
    SetDlgItemTextA(window_, IDC_WAIT_TXT, Text(IDS_WAIT_FORM_TEXT).c_str());
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
}

void TOpWaitForm::Hide()
{
    if (window_ != nullptr)
        ShowWindow(window_, SW_HIDE);
}
