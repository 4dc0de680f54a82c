// Fixed ids of the resources that the calling programs (Arbolin, Tolvik) carry for shared code.
#pragma once

#include "text_ids.h"  // the processing dialog's text, IDS_PROCESSING_KEY, among the named texts

// The processing dialog shown while the biometric record is read from or written to the Key.
#define IDD_PROCESSING        5150
#define IDB_PROCESSING        5151
#define IDC_PROCESSING_TEXT   110
