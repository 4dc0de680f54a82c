// Resource ids of Ostrel.dll: the About dialog and its texts.
#pragma once

#include "text_ids.h"  // the About box's texts, IDS_ABOUT_*, among the named texts

#define IDD_ABOUT               100
#define IDC_ABOUT_ICON          101
#define IDC_ABOUT_TITLE         102
#define IDC_ABOUT_VERSION       103
#define IDC_ABOUT_COPYRIGHT     104
#define IDC_ABOUT_MODULES       105
#define IDC_ABOUT_BITMAP        106
#define IDC_ABOUT_MAKER         107
#define IDC_ABOUT_WEB           108
#define IDC_ABOUT_MAIL          109
#define IDC_ABOUT_CONTACT       110
#define IDC_ABOUT_HEAD_FILE     111
#define IDC_ABOUT_HEAD_VERSION  112
#define IDC_ABOUT_HEAD_DESCR    113

// Tab stops of the module list, in dialog units, and where the column heads sit.
#define ABOUT_TAB_VERSION       92
#define ABOUT_TAB_DESCR         140
