// Resource ids of the Notes client host.
#pragma once

#define IDD_PASSWORD 100        // the client's own password prompt
#define IDC_PASSWORD_PROMPT 101
#define IDC_PASSWORD_EDIT 102

#define IDD_SWITCHID 200        // choose the ID file to switch to
#define IDC_SWITCHID_PATH 201

#define IDD_CHANGEPWD 300       // the client's own password change
#define IDC_CHANGEPWD_OLD 301
#define IDC_CHANGEPWD_NEW 302
#define IDC_CHANGEPWD_CONFIRM 303

// Children of the main window.
#define IDC_MAIN_STATUS 10      // "User=...;ID=...;State=...;Build=..."
#define IDC_MAIN_EVENTS 11      // one line per event of note

// Menu commands.
#define IDM_SWITCH_ID 40001
#define IDM_CHANGE_PASSWORD 40002
#define IDM_LOCK_ID 40003
#define IDM_EXIT 40004
#define IDM_ADDIN_FIRST 41000   // menu add-in entries, in the order they were named
#define IDM_ADDIN_LAST 41999
#define IDM_ENTER 40005         // Enter: an older client asks for a locked ID's password
#define IDM_ESCAPE 40006
#define IDM_OPEN_DATABASE 40007  // a database that asks for the ID's password
#define IDM_SCRIPT_ACTION 40008  // an action whose LotusScript calls Tolvik's SentrioTools

// Posted to the main window by a test: the next call of the nnotes.dll ordinal wParam in the
// client's process fails with status lParam (NsimFailNext); logged as "fault planned <ord> <st>".
#define WM_NSIM_FAIL_NEXT (WM_APP + 2)
// Posted likewise: the lines of the list box wParam (a window of this process, a dialog the client
// shows, say) go to the event log as "list <line>|<line>...".
#define WM_NSIM_READ_LIST (WM_APP + 3)
