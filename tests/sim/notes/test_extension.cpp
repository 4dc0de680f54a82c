// A tiny Extension Manager DLL for the tests of the Notes client host (never shipped): its entry
// point (ordinal 1) registers a handler for EM_GETPASSWORD that supplies the password named in
// the environment, and one for EM_SETPASSWORD (NSIM_TEST_EXT_NEW_PASSWORD). What it sees goes to the file NSIM_TEST_EXT_LOG names:
//   attach thread=T / entry thread=T window=0|1 / register status=S /
//   request max=M file=<F> owner=<O> answer=A / change max=M file=<F> owner=<O> answer=A /
//   terminate thread=T / detach
// NSIM_TEST_EXT_PASSWORD  the password it supplies (answer 5985)
// NSIM_TEST_EXT_ANSWER    another answer to give instead (725, 5928, ...)
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "notes_api.h"

namespace {

HEMREGISTRATION g_registration = 0;
HEMREGISTRATION g_changeRegistration = 0;
HEMREGISTRATION g_terminateRegistration = 0;

std::string Env(const char *name)
{
    char value[512];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void Log(const char *format, ...)
{
    std::string path = Env("NSIM_TEST_EXT_LOG");
    if (path.empty())
        return;
    FILE *f = std::fopen(path.c_str(), "ab");
    if (f == nullptr)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    std::fputc('\n', f);
    std::fclose(f);
}

STATUS LNCALLBACK GetPasswordHandler(EMRECORD *record)
{
    if (record->EId != EM_GETPASSWORD || record->Status != NOERROR)
        return ERR_EM_CONTINUE;
    DWORD maxLen = EMArgument<DWORD>(record, EM_GETPASSWORD_MAXPWDLEN);
    DWORD *retLength = EMArgument<DWORD *>(record, EM_GETPASSWORD_RETLENGTH);
    char *buffer = EMArgument<char *>(record, EM_GETPASSWORD_RETPASSWORD);
    const char *file = EMArgument<const char *>(record, EM_GETPASSWORD_FILENAME);
    const char *owner = EMArgument<const char *>(record, EM_GETPASSWORD_OWNERNAME);
    std::string answerText = Env("NSIM_TEST_EXT_ANSWER");
    std::string password = Env("NSIM_TEST_EXT_PASSWORD");
    STATUS answer = ERR_EM_CONTINUE;
    if (!answerText.empty())
        answer = static_cast<STATUS>(std::strtoul(answerText.c_str(), nullptr, 10));
    else if (!password.empty() && retLength != nullptr && buffer != nullptr)
        answer = ERR_BSAFE_EXTERNAL_PASSWORD;
    if (answer == ERR_BSAFE_EXTERNAL_PASSWORD) {
        size_t n = password.size() < maxLen ? password.size() : maxLen;
        std::memset(buffer, 0, maxLen);
        std::memcpy(buffer, password.data(), n);
        *retLength = static_cast<DWORD>(n);
    }
    Log("request max=%lu file=<%s> owner=<%s> answer=%u", static_cast<unsigned long>(maxLen),
        file != nullptr ? file : "(null)", owner != nullptr ? owner : "(null)",
        static_cast<unsigned>(answer));
    return answer;
}

// EM_SETPASSWORD: with NSIM_TEST_EXT_NEW_PASSWORD set, changes the ID's password itself (from
// NSIM_TEST_EXT_PASSWORD) and answers 5985, as a password extension does; otherwise 725.
STATUS LNCALLBACK SetPasswordHandler(EMRECORD *record)
{
    if (record->EId != EM_SETPASSWORD || record->Status != NOERROR)
        return ERR_EM_CONTINUE;
    const char *file = EMArgument<const char *>(record, EM_SETPASSWORD_FILENAME);
    const char *owner = EMArgument<const char *>(record, EM_SETPASSWORD_OWNERNAME);
    std::string newPassword = Env("NSIM_TEST_EXT_NEW_PASSWORD");
    STATUS answer = ERR_EM_CONTINUE;
    if (!newPassword.empty() && file != nullptr) {
        std::string path = file;
        std::string oldPassword = Env("NSIM_TEST_EXT_PASSWORD");
        STATUS status = SECKFMChangePassword(&path[0], &oldPassword[0], &newPassword[0]);
        answer = status == NOERROR ? ERR_BSAFE_EXTERNAL_PASSWORD : ERR_EM_CONTINUE;
    }
    Log("change max=%lu file=<%s> owner=<%s> answer=%u",
        static_cast<unsigned long>(EMArgument<DWORD>(record, EM_SETPASSWORD_MAXPWDLEN)),
        file != nullptr ? file : "(null)", owner != nullptr ? owner : "(null)",
        static_cast<unsigned>(answer));
    return answer;
}

// EM_TERMINATENSF: the client is about to unload the extensions.
STATUS LNCALLBACK TerminateHandler(EMRECORD *record)
{
    if (record->EId == EM_TERMINATENSF)
        Log("terminate thread=%lu", GetCurrentThreadId());
    return ERR_EM_CONTINUE;
}

}  // namespace

extern "C" STATUS LNPUBLIC MainEntryPoint(void)
{
    Log("entry thread=%lu window=%d", GetCurrentThreadId(),
        FindWindowA("NOTES", nullptr) != nullptr ? 1 : 0);
    WORD recursion = 0;
    STATUS status = EMCreateRecursionID(&recursion);
    if (status == NOERROR)
        status = EMRegister(EM_GETPASSWORD, EM_REG_BEFORE, GetPasswordHandler, recursion,
                            &g_registration);
    if (status == NOERROR)
        status = EMRegister(EM_SETPASSWORD, EM_REG_BEFORE, SetPasswordHandler, recursion,
                            &g_changeRegistration);
    if (status == NOERROR)
        status = EMRegister(EM_TERMINATENSF, EM_REG_BEFORE, TerminateHandler, 0, &g_terminateRegistration);
    Log("register status=%u", static_cast<unsigned>(status));
    return status;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        Log("attach thread=%lu", GetCurrentThreadId());
    else if (reason == DLL_PROCESS_DETACH)
        Log("detach");
    return TRUE;
}
