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
