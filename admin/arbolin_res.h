// Resource and control ids of Arbolin.exe, one range per window.
#pragma once

// Main window TArbolinForm: its controls (made in code, laid out in client pixels).
#define IDC_SEL_LAB             1001
#define IDC_KSD_LIST            1002
#define IDC_KSD_GROUP           1003
#define IDC_KSD_PIN_LAB         1004
#define IDC_PIN_EDIT            1005
#define IDC_CHANGE_BIO          1006
#define IDC_UNBLOCK_PIN         1007
#define IDC_PIN_ENTER           1008
#define IDC_CHANGE_PIN          1009
#define IDC_LABEL_BT            1010
#define IDC_CLEAR_KSD           1011
#define IDC_LN_GROUP            1012
#define IDC_ID_FILE_LAB         1013
#define IDC_ID_FILE_NAME        1014
#define IDC_CHANGE_ID           1015
#define IDC_ID_FILE_LEN_LAB     1016
#define IDC_ID_FILE_LEN         1017
#define IDC_BYTES_LAB           1018
#define IDC_DETACH_ID           1019
#define IDC_NOTES_PAS_LAB       1020
#define IDC_SHOW_BT             1021
#define IDC_CHANGE_LN_PASSWORD  1022
#define IDC_CLOSE_BT            1023

// The system-menu item "&About...".
#define IDM_ABOUT               1026

// TOpWaitForm, the wait window.
#define IDD_OPWAIT_FORM         3100
#define IDC_WAIT_TXT            3101
#define IDC_LOGON_ICON          3102

// TChangePINDlg, the one-line input dialog.
#define IDD_CHANGE_PIN_DLG      3200
#define IDC_ENTER_NEW_LAB       3201
#define IDC_NEW_PIN_EDIT        3202
#define IDC_NOTE_LAB            3203

// TPasswordDlg and its descendant TChangePasDlg.
#define IDD_PASSWORD_DLG        3300
#define IDD_CHANGE_PAS_DLG      3301
#define IDC_ENTER_CONF_LAB      3302
#define IDC_PASSWORD_EDIT       3303
#define IDC_GENERATE_BT         3304

// The modal result of Generate in TChangePasDlg.
#define ID_GENERATE_RESULT      8

// The product icon of the version resource (also the wait window's picture).
#define IDI_ARBOLIN_PRODUCT     101
