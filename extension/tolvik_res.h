// Resource ids of Tolvik.dll: its dialogs and their controls. The control ids inside each dialog
// are the ones the client's extension has always used.
#pragma once

// PIN prompt (also the new-PIN and confirmation prompts of the tools).
#define IDD_PINDIALOG           5300
#define IDC_PIN_EDIT            101
#define IDC_PIN_NOTE            108
#define IDC_PIN_LABEL           110
#define IDC_PIN_ICON            116
#define IDC_PIN_PROMPT          120

// The tools' new-PIN and confirmation prompt (driven by the PIN prompt's procedure).
#define IDD_NEWPINDIALOG        5304

// Wait window, shown while the Key works.
#define IDD_OPWAIT              5301
#define IDC_WAIT_TEXT           115

// Hidden window of the client's thread (and the lock window over the Logout Screen).
#define IDD_OPFICT              5302

// Notes password change.
#define IDD_CHANGE_PASSWORD     5303
#define IDC_NEWPWD_EDIT         101
#define IDC_NEWPWD_PROMPT       109
#define IDC_NEWPWD_GENERATE     111

// The product icon of the version resource.
#define IDI_TOLVIK_PRODUCT      101

// The popup of the Key commands (SentrioTools) and its items.
#define IDM_TOOLS               1000
#define IDM_TOOLS_CHANGE_PIN    1002
#define IDM_TOOLS_SAVE_ID_FILE  1003
#define IDM_TOOLS_WORK_WITHOUT  1004
#define IDM_TOOLS_WORK_WITH     1005
#define IDM_TOOLS_ABOUT         1006
#define IDM_TOOLS_TITLE         1007
#define IDM_TOOLS_CHANGE_BIO    1008
#define IDM_TOOLS_HELP          1009
