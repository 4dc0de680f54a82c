// The colours the console's main window hands its fields, read in this process: the form is made
// here among virtual Keys, as Arbolin.exe makes it, so that the colour messages can be sent with a
// device context of this process and the colours read back from it.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cmath>
#include <string>

#include "arbolin_form.h"
#include "arbolin_res.h"
#include "key_records.h"
#include "op_wait_form.h"
#include "testkit.h"
#include "virtual_keys.h"

namespace {

using testkit::WaitUntil;

const char kReaderAnna[] = "Reader A";
const char kReaderBert[] = "Reader B";

// What the form handed a field for one paint.
struct Handed {
    COLORREF text = CLR_INVALID, back = CLR_INVALID, brush = CLR_INVALID;
};

// The message the field itself sends before it paints: an edit that can be typed into asks with
// WM_CTLCOLOREDIT, a disabled or read-only one with WM_CTLCOLORSTATIC.
UINT ColourMessage(HWND field)
{
    bool typable = IsWindowEnabled(field) && (GetWindowLongA(field, GWL_STYLE) & ES_READONLY) == 0;
    return typable ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC;
}

// Sends the field's colour message to the form with a device context of the field whose colours
// were set to odd values first, so that a colour the form leaves alone shows as such.
Handed AskForm(HWND form, HWND field)
{
    Handed handed;
    HDC dc = GetDC(field);
    if (dc == nullptr)
        return handed;
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkColor(dc, RGB(4, 5, 6));
    HBRUSH brush = reinterpret_cast<HBRUSH>(
        SendMessageA(form, ColourMessage(field), reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(field)));
    handed.text = GetTextColor(dc);
    handed.back = GetBkColor(dc);
    LOGBRUSH fill = {};
    if (brush != nullptr && GetObjectA(brush, sizeof fill, &fill) == sizeof fill && fill.lbStyle == BS_SOLID)
        handed.brush = fill.lbColor;
    ReleaseDC(field, dc);
    return handed;
}

// The relative luminance of a colour and the contrast ratio of two (1 to 21; text wants 4.5).
double Luminance(COLORREF colour)
{
    auto linear = [](int channel) {
        double c = channel / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(GetRValue(colour)) + 0.7152 * linear(GetGValue(colour)) + 0.0722 * linear(GetBValue(colour));
}

double Contrast(COLORREF a, COLORREF b)
{
    double la = Luminance(a), lb = Luminance(b);
    return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

// The looks: a field with data is an ordinary text field of the system's scheme, an empty or
// unusable one has the window's face.
enum class Look { kData, kEmpty };

void ExpectLook(HWND form, HWND field, Look look)
{
    Handed handed = AskForm(form, field);
    COLORREF face = GetSysColor(look == Look::kData ? COLOR_WINDOW : COLOR_BTNFACE);
    COLORREF text = GetSysColor(look == Look::kData ? COLOR_WINDOWTEXT : COLOR_BTNTEXT);
    EXPECT_EQ(face, handed.back) << "background colour";
    EXPECT_EQ(face, handed.brush) << "brush colour";
    EXPECT_EQ(text, handed.text) << "text colour";
    EXPECT_GE(Contrast(handed.text, handed.brush), 4.5) << std::hex << handed.text << " on " << handed.brush;
    // A disabled field greys its text whatever it is handed; a field with data is usable.
    EXPECT_EQ(look == Look::kData, IsWindowEnabled(field) != FALSE);
}

class FieldLooks : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(keys.ok());
        anna = keys.InsertNewKey(kReaderAnna, "Anna", "");
        ASSERT_NE(0, anna);
        ASSERT_TRUE(QsimSetCapacity(anna, 32768, 4096, 0));
        ASSERT_TRUE(testkit::PutKeyRecord(anna, {"Anna Berg/Morvath", "secret", "anna.id", std::string(700, 'I')}));
        ASSERT_NE(0, keys.InsertNewKey(kReaderBert, "Bert", "1234"));
        // As the program makes its windows (admin/main.cpp).
        ASSERT_TRUE(form.Create(GetModuleHandleA(nullptr)));
        ASSERT_TRUE(form.FormCreate());
        ASSERT_TRUE(wait.Create());
        list = GetDlgItem(form.Window(), IDC_KSD_LIST);
        ASSERT_TRUE(WaitUntil([&] { return ListView_GetItemCount(list) == 2; }));
    }
    void TearDown() override
    {
        if (IsWindow(form.Window()))
            SendMessageA(form.Window(), WM_CLOSE, 0, 0);
        testkit::PumpMessages(50);
    }

    HWND Field(int id) const { return GetDlgItem(form.Window(), id); }
    // Selects the row of `reader` as a click would; true once its effects are over.
    bool Select(const char *reader)
    {
        LVFINDINFOA find = {};
        find.flags = LVFI_STRING;
        find.psz = reader;
        int row = ListView_FindItem(list, -1, &find);
        if (row < 0)
            return false;
        ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        testkit::PumpMessages(100);
        return form.CurrentReader() == reader;
    }

    testkit::VirtualKeys keys;
    int anna = 0;
    TOpWaitForm wait;
    TArbolinForm form{&wait};
    HWND list = nullptr;
};

TEST_F(FieldLooks, FieldsWithDataHaveTheSystemsTextFieldColoursAndEmptyOnesTheFace)
{
    // Empty at start.
    for (int id : {IDC_PIN_EDIT, IDC_ID_FILE_NAME, IDC_ID_FILE_LEN}) {
        SCOPED_TRACE(id);
        ExpectLook(form.Window(), Field(id), Look::kEmpty);
    }
    // Anna's Key holds data: the Notes fields show it; no PIN is asked.
    ASSERT_TRUE(Select(kReaderAnna));
    ASSERT_EQ("anna.id", testkit::GetControlText(Field(IDC_ID_FILE_NAME)));
    ASSERT_EQ("700", testkit::GetControlText(Field(IDC_ID_FILE_LEN)));
    for (int id : {IDC_ID_FILE_NAME, IDC_ID_FILE_LEN}) {
        SCOPED_TRACE(id);
        ExpectLook(form.Window(), Field(id), Look::kData);
    }
    ExpectLook(form.Window(), Field(IDC_PIN_EDIT), Look::kEmpty);
    // Bert's Key waits for its PIN: the PIN field is for typing, the Notes fields are empty again.
    ASSERT_TRUE(Select(kReaderBert));
    ASSERT_EQ("", testkit::GetControlText(Field(IDC_ID_FILE_NAME)));
    EXPECT_EQ(static_cast<UINT>(WM_CTLCOLOREDIT), ColourMessage(Field(IDC_PIN_EDIT)));
    {
        SCOPED_TRACE("PINEdt");
        ExpectLook(form.Window(), Field(IDC_PIN_EDIT), Look::kData);
    }
    for (int id : {IDC_ID_FILE_NAME, IDC_ID_FILE_LEN}) {
        SCOPED_TRACE(id);
        ExpectLook(form.Window(), Field(id), Look::kEmpty);
    }
}

}  // namespace
