// The Key commands of the tools popup, each run on the client's thread that called SentrioTools.
// `window` is the client window the menu add-in handed over; `owner` its parent, which owns the
// popup and the commands' questions.
#pragma once

#include <windows.h>

// The help context of the tools' topic in Sentrio.CHM.
constexpr DWORD kToolsHelpContext = 500;

// 1002: a new PIN for the Key (empty removes it), asked twice, then given to the Key.
void ChangePinCommand();
// 1008: enrols a new biometric identifier onto the Key (or removes it).
void ChangeBioIdCommand(HWND window);
// 1003: the ID file notes.ini names written onto the Key with the record's name and password.
void SaveIdFileCommand(HWND owner);
// 1004: stops working with the Key and opens the client's Switch ID command by keys.
void WorkWithoutKeyCommand(HWND owner);
// 1005: reads the Key again and switches the client back to its ID.
void WorkWithKeyCommand();
// 1009: the help file at the tools' topic.
void HelpCommand();
// 1006: the About box with Tolvik's modules.
void AboutCommand(HWND window);
