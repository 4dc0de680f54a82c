// Filling the device list and following its selection.
#include "bio_device_list.h"

#include "bio_exports.h"

bool CBioDeviceList::Fill()
{
    SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    if (SendMessageA(list_, LVM_GETCOLUMNWIDTH, 0, 0) == 0) {
        RECT client;
        GetClientRect(list_, &client);
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH;
        column.fmt = LVCFMT_LEFT;
        column.cx = client.right - client.left - 4;
        SendMessageA(list_, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    }
    int count = 0;
    for (const char *name = BioEnumReaders(0); name != nullptr; name = BioEnumReaders(static_cast<uint32_t>(count))) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = count;
        item.pszText = const_cast<char *>(name);
        SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        ++count;
    }
    return count > 0;
}

int CBioDeviceList::Count() const
{
    return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
}

void CBioDeviceList::Select(int index, bool select)
{
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = select ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
    SendMessageA(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

bool CBioDeviceList::SelectionChanged(const NMHDR *header)
{
    if (header->hwndFrom != list_ || header->code != LVN_ITEMCHANGED)
        return false;
    const NMLISTVIEW *change = reinterpret_cast<const NMLISTVIEW *>(header);
    if ((change->uChanged & LVIF_STATE) == 0 || (change->uNewState & LVIS_SELECTED) == 0 ||
        (change->uOldState & LVIS_SELECTED) != 0)
        return false;
    selectedItem_ = change->iItem;
    selectedName_[0] = 0;
    LVITEMA item = {};
    item.iSubItem = 0;
    item.pszText = selectedName_;
    item.cchTextMax = sizeof selectedName_;
    SendMessageA(list_, LVM_GETITEMTEXTA, static_cast<WPARAM>(change->iItem), reinterpret_cast<LPARAM>(&item));
    return true;
}

void CBioDeviceList::ForgetSelection()
{
    selectedItem_ = -1;
    selectedName_[0] = 0;
}
