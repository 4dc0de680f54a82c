// Peglar: adds an item to, removes it from, or looks for it in a comma-separated INI value.
#pragma once

// Exit codes, relied on by installers.
constexpr int kPeglarOk = 0;
constexpr int kPeglarCannotCreateIni = -1;

// Runs one command line (the arguments only, without the program name):
//   <INI file> <section> <key> <item> <a|d|c...> [flag]
// Returns the exit code.
int RunPeglar(const char *commandLine);
