// The device list of Braxial's dialogs 102, 103 and 108: a report-style list view of the reader
// names, and the item the user selected in it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "bio_backend.h"

class CBioDeviceList {
public:
    void Attach(HWND list) { list_ = list; }
    HWND window() const { return list_; }

    // Rebuilds the reader table (closing every open reader) and lists its names in table order;
    // true when there was at least one.
    bool Fill();
    int Count() const;
    void Select(int index, bool select);

    // For a WM_NOTIFY of the list that selects an item not selected before: remembers its index
    // and name and answers true. False for every other notification.
    bool SelectionChanged(const NMHDR *header);
    void ForgetSelection();
    int selectedItem() const { return selectedItem_; }
    const char *selectedName() const { return selectedName_; }

private:
    HWND list_ = nullptr;
    int selectedItem_ = -1;
    char selectedName_[kReaderNameSize] = {};
};
