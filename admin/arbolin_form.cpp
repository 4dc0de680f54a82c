// The main window of the console.
#include "arbolin_form.h"

#include <commctrl.h>

#include "about_binding.h"
#include "admin_dialog.h"
#include "admin_key.h"
#include "library_bitness.h"
#include "admin_ui.h"
#include "arbolin_layout.h"
#include "arbolin_res.h"
#include "log.h"
#include "op_wait_form.h"
#include "text_ids.h"
#include "texts.h"

namespace {

const char kFormClass[] = "TArbolinForm";
constexpr DWORD kInitWait = 15000;
constexpr UINT WM_ARBOLIN_ABOUT = WM_APP + 2;
constexpr UINT WM_ARBOLIN_HELP = WM_APP + 3;

TArbolinForm *g_hookForm = nullptr;  // the form whose loop the message hook serves (window thread)

// Waits for `handle` up to `ms`, serving only the messages other threads send to this thread's
// windows, so a thread that sends to them is never blocked by this wait.
void WaitServingSent(HANDLE handle, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, ms - elapsed, QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + 1)
            return;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

std::string ModuleFileName(HINSTANCE instance)
{
    char path[MAX_PATH * 2] = "";
    DWORD n = GetModuleFileNameA(instance, path, sizeof path);
    return n > 0 && n < sizeof path ? std::string(path) : std::string();
}

}  // namespace

TArbolinForm::TArbolinForm(TOpWaitForm *waitForm) : wait_(waitForm), core_(AdminKey())
{
    core_.onBusy = [this](bool busy) {
        if (busy)
            ShowWait();
        else
            HideWait();
    };
}

TArbolinForm::~TArbolinForm()
{
    if (hook_ != nullptr)
        UnhookWindowsHookEx(hook_);
    if (g_hookForm == this)
        g_hookForm = nullptr;
    if (marker_ != nullptr)
        CloseHandle(marker_);
}

bool TArbolinForm::Create(HINSTANCE instance)
{
    instance_ = instance;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;  // FormDblClick
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ARBOLIN_PRODUCT));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    wc.cbWndExtra = sizeof(void *);
    RegisterClassExA(&wc);

    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTEXTHELP | WS_EX_CONTROLPARENT;
    RECT r = {0, 0, Scale(kFormClientWidth), Scale(kFormClientHeight)};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    int width = r.right - r.left, height = r.bottom - r.top;
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int x = work.left + (work.right - work.left - width) / 2;
    int y = work.top + (work.bottom - work.top - height) / 2;
    window_ = CreateWindowExA(exStyle, kFormClass, "", style, x < work.left ? work.left : x,
                              y < work.top ? work.top : y, width, height, nullptr, nullptr, instance, this);
    if (window_ == nullptr)
        return false;
    SetKeyEventWindow(window_);
    CreateControls();
    return true;
}

void TArbolinForm::CreateControls()
{
    for (int i = 0; i < kFormControlCount; ++i) {
        const ControlSpec &spec = kFormControls[i];
        RECT b = ControlBounds96(spec);
        const char *cls = WC_STATICA;
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        switch (spec.kind) {
        case ControlKind::kLabel:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case ControlKind::kList:
            cls = WC_LISTVIEWA;
            style |= WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::kGroup:
            cls = WC_BUTTONA;
            style |= BS_GROUPBOX;
            break;
        case ControlKind::kEdit:
            cls = WC_EDITA;
            style |= WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::kButton:
            cls = WC_BUTTONA;
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        }
        if (spec.id == IDC_SEL_LAB)
            style &= ~WS_VISIBLE;  // shown once the Key layer has listed the Keys
        HWND control = CreateWindowExA(exStyle, cls, "", style, Scale(b.left), Scale(b.top),
                                       Scale(b.right - b.left), Scale(b.bottom - b.top), window_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance_, nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(AdminFont()), FALSE);
        EnableWindow(control, spec.enabled);
    }
    list_ = Item(IDC_KSD_LIST);
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
    HWND pin = Item(IDC_PIN_EDIT);
    SendMessageA(pin, EM_SETPASSWORDCHAR, 'X', 0);
    SendMessageA(pin, EM_LIMITTEXT, 8, 0);
    static const UINT kColumns[] = {IDS_READER_LIST_COLUMN, IDS_KSD_LABEL_COLUMN, IDS_KSD_INFO_COLUMN};
    for (int c = 0; c < 3; ++c) {
        LVCOLUMNA column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.cx = Scale(100);
        std::string text = Text(kColumns[c]);
        column.pszText = const_cast<char *>(text.c_str());
        column.iSubItem = c;
        ListView_InsertColumn(list_, c, &column);
    }
    FitColumns();
}

void TArbolinForm::SetCaptions()
{
    SetWindowTextA(window_, StandardCaption().c_str());
    for (int i = 0; i < kFormControlCount; ++i)
        if (kFormControls[i].captionId != 0)
            SetWindowTextA(Item(kFormControls[i].id), Text(kFormControls[i].captionId).c_str());
}

void TArbolinForm::CheckHelpFile()
{
    help.helpFile = ArbolinHelp::HelpFileBeside(ModuleFileName(nullptr).c_str(), Text(IDS_HELP_FILE_NAME));
    if (GetFileAttributesA(help.helpFile.c_str()) == INVALID_FILE_ATTRIBUTES)
        MessageBoxA(nullptr, TextF(IDS_HELP_FILE_NOT_FOUND, help.helpFile.c_str()).c_str(), StandardCaption().c_str(),
                    MB_OK | MB_ICONERROR);
}

void TArbolinForm::CreateMarker()
{
    // Only the mapping's existence matters: Tolvik finds it and leaves the Key to the console.
    marker_ = CreateConsoleMarker();
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::FormCreate - CreateFileMapping <%d>",
               static_cast<int>(reinterpret_cast<INT_PTR>(marker_)));
}

void TArbolinForm::ExtendSystemMenu()
{
    HMENU menu = GetSystemMenu(window_, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, "&About...");
}

bool TArbolinForm::StartKeyLayer()
{
    HANDLE initDone = AdminKey().StartInit(kAppNotes);
    if (initDone != nullptr && initDone != INVALID_HANDLE_VALUE)
        WaitServingSent(initDone, kInitWait);
    // Whether the smart-key library loaded. (The layer's error text without a reader would also
    // answer for a Key found blocked or in error at start, which is no reason to end.)
    if (!AdminKey().IsLoaded()) {
        MessageBoxA(nullptr, LibraryFailureText(IDS_ERROR_LOADING_QUOREL, "Quorel32.dll", AdminKey().LoadError()).c_str(),
                    StandardCaption().c_str(), MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

bool TArbolinForm::FormCreate()
{
    LogInit("Sentrio", nullptr);
    LoadLanguage(nullptr, instance_);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::FormCreate - LOG initialized");
    SetCaptions();
    CheckHelpFile();
    SetWindowContextHelpId(window_, kFormHelpContext);
    for (int i = 0; i < kFormControlCount; ++i)
        if (kFormControls[i].helpContext != 0)
            SetWindowContextHelpId(Item(kFormControls[i].id), kFormControls[i].helpContext);
    CreateMarker();
    ExtendSystemMenu();
    g_hookForm = this;
    hook_ = SetWindowsHookExA(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());
    if (!StartKeyLayer())
        return false;
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::FormCreate - Exit");
    return true;
}

void TArbolinForm::FormShow()
{
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    // The initialisation may already be over (its event is then waiting in the queue).
    if (wait_ != nullptr)
        wait_->Show();
}

// ---- Message hook and window procedure ------------------------------------------------------

LRESULT CALLBACK TArbolinForm::GetMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == PM_REMOVE && g_hookForm != nullptr) {
        const MSG *msg = reinterpret_cast<const MSG *>(lParam);
        // The hook only notes the request; the form runs it from its own procedure, outside the
        // hook. The message itself goes on as usual.
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_F2)
            PostMessageA(g_hookForm->window_, WM_ARBOLIN_ABOUT, 0, 0);
        else if (msg->message == WM_KEYDOWN && msg->wParam == VK_F1)
            PostMessageA(g_hookForm->window_, WM_ARBOLIN_HELP, 0, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool TArbolinForm::PreTranslate(MSG *msg)
{
    return !IsDialogMessageA(window_, msg);
}

LRESULT CALLBACK TArbolinForm::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TArbolinForm *self = reinterpret_cast<TArbolinForm *>(GetWindowLongPtrA(window, 0));
    if (message == WM_NCCREATE) {
        self = static_cast<TArbolinForm *>(reinterpret_cast<CREATESTRUCTA *>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    if (self == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT TArbolinForm::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEY_EVENT: {
        KeyEvent *e = reinterpret_cast<KeyEvent *>(lParam);
        OnKeyEvent(*e);
        delete e;
        return 0;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            Command(LOWORD(wParam));
        return 0;
    case WM_NOTIFY:
        Notify(reinterpret_cast<const NMHDR *>(lParam));
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CONTEXTHELP) {
            contextHelpMode_ = true;
            LRESULT r = DefWindowProcA(window_, message, wParam, lParam);
            contextHelpMode_ = false;
            return r;
        }
        if (wParam == IDM_ABOUT) {
            ShowAbout();
            return 0;
        }
        break;
    case WM_ARBOLIN_ABOUT:
        ShowAbout();
        return 0;
    case WM_ARBOLIN_HELP:
        help.ShowContext(window_, kFormHelpContext);
        return 0;
    case WM_HELP:
        HelpRequest(reinterpret_cast<const HELPINFO *>(lParam));
        return TRUE;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == list_ && LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
            return TRUE;
        }
        break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        int look = TArbolinForm::LookIndex(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
        if (look < 0)
            break;
        // A field with data looks like any text field of the system's colour scheme, and an empty
        // or unusable one like the window's face; each pair of colours belongs together, so the
        // text can be read under every scheme, high contrast included.
        bool data = dataLook_[look];
        int face = data ? COLOR_WINDOW : COLOR_BTNFACE;
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(data ? COLOR_WINDOWTEXT : COLOR_BTNTEXT));
        SetBkColor(dc, GetSysColor(face));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(face));
    }
    case WM_LBUTTONDBLCLK:
        FormDblClick();
        return 0;
    case WM_CLOSE:
        CloseBtClick();
        return 0;
    case WM_DESTROY:
        SetKeyEventWindow(nullptr);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

void TArbolinForm::Command(int id)
{
    // A click on a command disarmed meanwhile (queued before a Key event disabled it, or a
    // BM_CLICK sent to the disabled button) starts nothing.
    if (!IsWindowEnabled(Item(id)))
        return;
    switch (id) {
    case IDC_PIN_ENTER: PINEnterBtClick(); break;
    case IDC_CHANGE_PIN: ChangePINBtClick(); break;
    case IDC_UNBLOCK_PIN: UnblockPINClick(); break;
    case IDC_LABEL_BT: LabelBtClick(); break;
    case IDC_CLEAR_KSD: ClearKSDBtClick(); break;
    case IDC_CHANGE_BIO: ChangeBIOClick(); break;
    case IDC_CHANGE_ID: ChangeIDBtClick(); break;
    case IDC_DETACH_ID: DetachIDBtClick(); break;
    case IDC_SHOW_BT: ShowBtClick(); break;
    case IDC_CHANGE_LN_PASSWORD: ChangeLNPasswordBtClick(); break;
    case IDC_CLOSE_BT: CloseBtClick(); break;
    }
}

void TArbolinForm::Notify(const NMHDR *header)
{
    if (header->hwndFrom != list_)
        return;
    if (header->code == LVN_ITEMCHANGED) {
        const NMLISTVIEW *change = reinterpret_cast<const NMLISTVIEW *>(header);
        if ((change->uChanged & LVIF_STATE) == 0)
            return;
        bool was = (change->uOldState & LVIS_SELECTED) != 0, now = (change->uNewState & LVIS_SELECTED) != 0;
        if (was != now)
            KSDListViewSelectItem(change->iItem, now);
    } else if (header->code == NM_CLICK) {
        KSDListViewClick();
    }
}

void TArbolinForm::CloseBtClick()
{
    if (marker_ != nullptr) {
        CloseHandle(marker_);
        marker_ = nullptr;
    }
    DestroyWindow(window_);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::CloseBtClick");
}

// ---- About, help ---------------------------------------------------------------------

void TArbolinForm::ShowAbout()
{
    static std::string self;
    self = ModuleFileName(nullptr);
    std::size_t slash = self.find_last_of("\\/");
    if (slash != std::string::npos)
        self = self.substr(slash + 1);
    const char *const modules[] = {self.c_str(), "Quorel32.dll", "Ostrel.dll", "Tabrix.dll", "Braxial.dll", nullptr};
    RunAboutCommand(instance_, nullptr, modules);
}

void TArbolinForm::HelpRequest(const HELPINFO *info)
{
    bool callHelp = true;
    UINT command = contextHelpMode_ ? kHelpContextPopupCommand : 1u;
    help.ApplicationEventsHelp(command, info != nullptr ? info->dwContextId : 0,
                               info != nullptr ? info->MousePos : POINT{}, &callHelp);
}

