// The main window's control table.
#include "arbolin_layout.h"

#include "arbolin_res.h"
#include "text_ids.h"

namespace {
constexpr int W = kButtonWidth, H = kButtonHeight;
using K = ControlKind;
}  // namespace

const ControlSpec kFormControls[] = {
    {IDC_SEL_LAB, K::kLabel, IDS_SELECT_READER_LABEL, 0, 8, 8, 441, 13, 0, true},
    {IDC_KSD_LIST, K::kList, 0, 0, 8, 24, 441, 75, 800, true},
    {IDC_KSD_GROUP, K::kGroup, IDS_KSD_GROUP, 0, 8, 112, 441, 81, 0, true},
    {IDC_KSD_PIN_LAB, K::kLabel, IDS_KSD_PIN_LABEL, IDC_KSD_GROUP, 8, 24, 86, 13, 0, true},
    {IDC_PIN_EDIT, K::kEdit, 0, IDC_KSD_GROUP, 96, 16, 113, 21, 0, false},
    {IDC_UNBLOCK_PIN, K::kButton, IDS_BUTTON_UNBLOCK_PIN, IDC_KSD_GROUP, 232, 16, W, H, 815, false},
    {IDC_CHANGE_BIO, K::kButton, IDS_BUTTON_CHANGE_BIO, IDC_KSD_GROUP, 344, 16, W, H, 855, false},
    {IDC_PIN_ENTER, K::kButton, IDS_BUTTON_VERIFY_PIN, IDC_KSD_GROUP, 8, 48, W, H, 805, false},
    {IDC_CHANGE_PIN, K::kButton, IDS_BUTTON_CHANGE_PIN, IDC_KSD_GROUP, 120, 48, W, H, 810, false},
    {IDC_LABEL_BT, K::kButton, IDS_BUTTON_CHANGE_LABEL, IDC_KSD_GROUP, 232, 48, W, H, 820, false},
    {IDC_CLEAR_KSD, K::kButton, IDS_BUTTON_CLEAR_KSD, IDC_KSD_GROUP, 344, 48, W, H, 825, false},
    {IDC_LN_GROUP, K::kGroup, IDS_NOTES_GROUP, 0, 8, 208, 441, 113, 0, true},
    {IDC_ID_FILE_LAB, K::kLabel, IDS_ID_FILE_NAME_LABEL, IDC_LN_GROUP, 8, 24, 86, 13, 0, true},
    {IDC_ID_FILE_NAME, K::kEdit, 0, IDC_LN_GROUP, 96, 16, 225, 21, 0, false},
    {IDC_CHANGE_ID, K::kButton, IDS_BUTTON_CHANGE_ID_FILE, IDC_LN_GROUP, 344, 16, W, H, 840, false},
    {IDC_ID_FILE_LEN_LAB, K::kLabel, IDS_ID_FILE_LENGTH_LABEL, IDC_LN_GROUP, 8, 56, 86, 13, 0, true},
    {IDC_ID_FILE_LEN, K::kEdit, 0, IDC_LN_GROUP, 96, 48, 113, 21, 0, false},
    {IDC_BYTES_LAB, K::kLabel, IDS_BYTES_LABEL, IDC_LN_GROUP, 216, 56, 40, 13, 0, true},
    {IDC_DETACH_ID, K::kButton, IDS_BUTTON_DETACH_ID_FILE, IDC_LN_GROUP, 344, 48, W, H, 845, false},
    {IDC_NOTES_PAS_LAB, K::kLabel, IDS_NOTES_PASSWORD_LABEL, IDC_LN_GROUP, 8, 88, 110, 13, 0, true},
    {IDC_SHOW_BT, K::kButton, IDS_BUTTON_SHOW, IDC_LN_GROUP, 120, 80, W, H, 830, false},
    {IDC_CHANGE_LN_PASSWORD, K::kButton, IDS_BUTTON_CHANGE, IDC_LN_GROUP, 232, 80, W, H, 835, false},
    {IDC_CLOSE_BT, K::kButton, IDS_BUTTON_CLOSE, 0, 352, 288, W, H, 850, true},
};

const int kFormControlCount = static_cast<int>(sizeof kFormControls / sizeof kFormControls[0]);

const ControlSpec *FindControlSpec(int id)
{
    for (const ControlSpec &spec : kFormControls)
        if (spec.id == id)
            return &spec;
    return nullptr;
}

RECT ControlBounds96(const ControlSpec &spec)
{
    int x = spec.x, y = spec.y;
    if (spec.groupId != 0) {
        const ControlSpec *group = FindControlSpec(spec.groupId);
        if (group != nullptr) {
            x += group->x;
            y += group->y;
        }
    }
    return {x, y, x + spec.width, y + spec.height};
}
