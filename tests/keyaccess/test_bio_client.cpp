// The Key's biometric operations and the client binding under them, against virtual Keys and a
// scripted Braxial.dll beside this program: what is written to the Key, which messages the user
// sees, and what the operations answer.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "braxial_binding.h"
#include "quorel_control.h"
#include "recording_key.h"
#include "virtual_keys.h"
#include "shared_ids.h"
#include "testkit.h"
#include "texts.h"

namespace {

constexpr DWORD kKeyNoMemory = 0x80100006;
const char *const kCaption = "Biometric test";

// Runs a Key operation on a thread of its own, so that this thread can answer its windows.
class Async {
public:
    explicit Async(std::function<void()> work) : work_(std::move(work))
    {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~Async() { Wait(); }
    bool Wait(DWORD ms = 30000)
    {
        if (thread_ == nullptr)
            return true;
        DWORD start = GetTickCount();
        while (WaitForSingleObject(thread_, 0) != WAIT_OBJECT_0) {
            if (GetTickCount() - start > ms)
                return false;
            testkit::PumpMessages(20);
        }
        CloseHandle(thread_);
        thread_ = nullptr;
        return true;
    }

private:
    static DWORD WINAPI Run(LPVOID self)
    {
        static_cast<Async *>(self)->work_();
        return 0;
    }
    std::function<void()> work_;
    HANDLE thread_ = nullptr;
};

std::string Env(const char *name)
{
    char value[4096];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n < sizeof value ? std::string(value, n) : std::string();
}

// Reads the text of the message box with the test's caption and closes it with OK.
std::string AnswerMessageBox(DWORD ms = 10000)
{
    HWND box = testkit::WaitForWindow(kCaption, "#32770", ms);
    if (box == nullptr)
        return "(no message box)";
    std::string text = testkit::GetControlText(testkit::Control(box, 0xFFFF));
    testkit::ClickDialogButton(box, IDOK);
    testkit::WaitForWindowGone(box, 5000);
    return text;
}

class BioClient : public testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(keys.ok());
        for (const char *name : {"FAKEBRAX_ENROL", "FAKEBRAX_COPY", "FAKEBRAX_FINGER", "FAKEBRAX_CALLS"})
            SetEnvironmentVariableA(name, nullptr);
        card = keys.InsertNewKey("Reader A", "Bio", "1234");
        ASSERT_NE(0, card);
        ASSERT_TRUE(testkit::StartWatching(key, "Reader A", "1234"));
    }
    void TearDown() override { RestoreBraxial(); }

    // The operations, run on a thread of their own; with `message` the one message box they
    // show is answered and its text kept there.
    int Change(std::string *message = nullptr)
    {
        int result = -1;
        Async op([&] { result = key.ChangeBioID("Reader A", GetModuleHandleA(nullptr), nullptr, kCaption); });
        if (message != nullptr)
            *message = AnswerMessageBox();
        EXPECT_TRUE(op.Wait());
        return result;
    }
    bool Verify(std::string *message = nullptr)
    {
        bool result = false;
        Async op([&] { result = key.VerifyBioID("Reader A", GetModuleHandleA(nullptr), nullptr, kCaption); });
        if (message != nullptr)
            *message = AnswerMessageBox();
        EXPECT_TRUE(op.Wait());
        return result;
    }
    void Enrol(const std::string &bir)
    {
        SetEnvironmentVariableA("FAKEBRAX_ENROL", bir.c_str());
        ASSERT_EQ(0, Change());
        ASSERT_EQ(bir.size(), KeyState().size227);
        SetEnvironmentVariableA("FAKEBRAX_CALLS", nullptr);
    }
    QsimKeyState KeyState()
    {
        QsimKeyState s = {};
        EXPECT_TRUE(QsimGetKey(card, &s));
        return s;
    }
    std::string ErrorText()
    {
        char text[200] = "";
        return key.GetErrorText("Reader A", text) ? text : "(nothing)";
    }
    // Puts `replacement` (or nothing) where Braxial.dll was, for the rest of the test.
    void ReplaceBraxial(const char *replacement)
    {
        std::string dll = testkit::ExeDir() + "Braxial.dll";
        ASSERT_TRUE(MoveFileA(dll.c_str(), (dll + ".kept").c_str()));
        moved_ = true;
        if (replacement != nullptr) {
            ASSERT_TRUE(CopyFileA((testkit::ExeDir() + replacement).c_str(), dll.c_str(), FALSE));
        }
    }
    void RestoreBraxial()
    {
        if (!moved_)
            return;
        std::string dll = testkit::ExeDir() + "Braxial.dll";
        DeleteFileA(dll.c_str());
        EXPECT_TRUE(MoveFileA((dll + ".kept").c_str(), dll.c_str()));
        moved_ = false;
    }

    // Closes the processing dialog as soon as it shows (with `screenshot`, saved under that name)
    // and checks that it leaves the screen at once.
    void CloseProcessingDialog(const char *screenshot)
    {
        HWND dialog = testkit::WaitForWindow("", "#32770", 10000);
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ("Processing the Key . . .", testkit::GetControlText(testkit::Control(dialog, IDC_PROCESSING_TEXT)));
        if (screenshot != nullptr)
            testkit::SaveScreenshot(dialog, screenshot);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        for (int i = 0; i < 50 && IsWindowVisible(dialog); ++i)
            testkit::PumpMessages(20);
        EXPECT_FALSE(IsWindowVisible(dialog));
    }

    testkit::VirtualKeys keys;  // declared first: emptied after the Key object has stopped
    RecordingKey key;
    int card = 0;

private:
    bool moved_ = false;
};

TEST_F(BioClient, KeyWithoutARecordPassesWithoutBraxial)
{
    DWORD reads = QsimCallCount("ReadBIR");
    EXPECT_TRUE(Verify());
    EXPECT_EQ(reads + 1, QsimCallCount("ReadBIR"));  // the size asked, nothing more
    EXPECT_EQ("", Env("FAKEBRAX_CALLS"));
    EXPECT_EQ(nullptr, GetModuleHandleA("Braxial.dll"));

    // No biometric space at all: not even the Key's record is asked for.
    ASSERT_TRUE(QsimSetCapacity(card, 32768, 24576, 0));
    ASSERT_TRUE(QsimPullKey(card));
    ASSERT_TRUE(key.WaitFor("removed Reader A"));
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    ASSERT_TRUE(key.WaitFor("inserted Reader A", 5000, 2));
    reads = QsimCallCount("ReadBIR");
    EXPECT_TRUE(Verify());
    EXPECT_EQ(reads, QsimCallCount("ReadBIR"));
}

TEST_F(BioClient, EnrolledFingerVerifiesAndAForeignOneFails)
{
    Enrol("BIR of finger one");
    SetEnvironmentVariableA("FAKEBRAX_FINGER", "BIR of finger one");
    EXPECT_TRUE(Verify());
    EXPECT_EQ("verify:BIR of finger one;", Env("FAKEBRAX_CALLS"));
    EXPECT_EQ(csReady, key.FindReader("Reader A")->state);

    SetEnvironmentVariableA("FAKEBRAX_FINGER", "BIR of finger two");
    EXPECT_FALSE(Verify());
    EXPECT_EQ(csBioFailed, key.FindReader("Reader A")->state);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNAL_ERROR), key.FindReader("Reader A")->last_error);
    EXPECT_EQ("Reader A : Biometric verification failed!", ErrorText());
    EXPECT_EQ(nullptr, testkit::WaitForWindow(kCaption, nullptr, 300));  // no message of the binding
    EXPECT_EQ(nullptr, GetModuleHandleA("Braxial.dll"));
}

TEST_F(BioClient, EnrolmentAsksForANewRecordOrAReplacement)
{
    SetEnvironmentVariableA("FAKEBRAX_ENROL", "first");
    ASSERT_EQ(0, Change());
    EXPECT_EQ("get0;lang:1;copy;", Env("FAKEBRAX_CALLS"));  // no record yet: mode 0
    EXPECT_EQ(5u, KeyState().size227);

    SetEnvironmentVariableA("FAKEBRAX_CALLS", nullptr);
    SetEnvironmentVariableA("FAKEBRAX_ENROL", "the second one");
    ASSERT_EQ(0, Change());
    EXPECT_EQ("get1;lang:1;copy;", Env("FAKEBRAX_CALLS"));  // a record to replace: mode 1
    EXPECT_EQ(14u, KeyState().size227);
    EXPECT_EQ(KeyState().allocated227 - 14, key.FindReader("Reader A")->bio_free);
}

TEST_F(BioClient, CancelledEnrolmentIsNoError)
{
    Enrol("kept");
    SetEnvironmentVariableA("FAKEBRAX_ENROL", "cancel");
    DWORD writes = QsimCallCount("WriteBIR");
    EXPECT_EQ(static_cast<int>(ERROR_CANCELLED), Change());
    EXPECT_EQ(0u, key.FindReader("Reader A")->last_error);
    EXPECT_EQ("(nothing)", ErrorText());
    EXPECT_EQ(writes, QsimCallCount("WriteBIR"));
    EXPECT_EQ(4u, KeyState().size227);
}

TEST_F(BioClient, SwitchingVerificationOffRemovesTheRecord)
{
    Enrol("to be removed");
    SetEnvironmentVariableA("FAKEBRAX_ENROL", "off");
    EXPECT_EQ(0, Change());
    EXPECT_EQ(0u, KeyState().size227);

    // Without a record the removal still runs; its answer is the result.
    DWORD deletes = QsimCallCount("DeleteBIR");
    EXPECT_EQ(0, Change());
    EXPECT_EQ(deletes + 1, QsimCallCount("DeleteBIR"));
    ASSERT_TRUE(QsimFailNext("DeleteBIR", ERROR_WRITE_FAULT));
    std::string message;
    EXPECT_EQ(1, Change(&message));
    EXPECT_EQ("An error occurred while processing the Key!", message);
    EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_FAULT), key.FindReader("Reader A")->last_error);
}

TEST_F(BioClient, RecordLargerThanTheFreeSpaceWritesNothing)
{
    ASSERT_TRUE(QsimSetCapacity(card, 32768, 24576, 20));
    Enrol("0123456789");  // 10 bytes used, 10 free
    SetEnvironmentVariableA("FAKEBRAX_ENROL", "012345678901234567890");  // 21 > 10 + 10
    DWORD writes = QsimCallCount("WriteBIR"), sizes = QsimCallCount("SetBIRSize");
    std::string message;
    EXPECT_EQ(1, Change(&message));
    EXPECT_EQ("Not enough free space on the Key!", message);
    EXPECT_EQ(kKeyNoMemory, key.FindReader("Reader A")->last_error);
    EXPECT_EQ(writes + 1, QsimCallCount("WriteBIR"));  // the free space asked, nothing written
    EXPECT_EQ(sizes, QsimCallCount("SetBIRSize"));
    EXPECT_EQ(10u, KeyState().size227);

    // Exactly the free space plus the old record fits.
    SetEnvironmentVariableA("FAKEBRAX_ENROL", "01234567890123456789");
    EXPECT_EQ(0, Change());
    EXPECT_EQ(20u, KeyState().size227);
}

TEST_F(BioClient, FailedCopyOfTheEnrolledRecordWritesNothing)
{
    SetEnvironmentVariableA("FAKEBRAX_ENROL", "new record");
    SetEnvironmentVariableA("FAKEBRAX_COPY", "fail");
    std::string message;
    EXPECT_EQ(1, Change(&message));
    EXPECT_EQ("An error occurred while processing the Key!", message);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), key.FindReader("Reader A")->last_error);
    EXPECT_EQ(0u, KeyState().size227);
    std::string text = ErrorText();
    EXPECT_NE(std::string::npos, text.find("Biometric registration failed!")) << text;
}

TEST_F(BioClient, MissingBraxialIsReportedByName)
{
    Enrol("a record");
    ReplaceBraxial(nullptr);
    std::string message;
    EXPECT_FALSE(Verify(&message));
    EXPECT_EQ("An error occurred while loading braxial.dll!", message);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), key.FindReader("Reader A")->last_error);

    EXPECT_EQ(1, Change(&message));
    EXPECT_EQ("An error occurred while loading braxial.dll!", message);
    EXPECT_EQ(8u, KeyState().size227);  // the record stays
}

TEST_F(BioClient, BraxialLackingAnExportIsFreedAndReported)
{
    ReplaceBraxial("braxial_lacking.dll");
    BraxialLibrary library;
    std::memset(&library, 0x5A, sizeof library);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LoadBraxial(&library));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, library.module);
    EXPECT_EQ(nullptr, library.api.BioEnumReaders);  // found before the missing one, cleared again
    EXPECT_EQ(nullptr, library.api.BioGetBIR_GUI);
    EXPECT_EQ(nullptr, library.api.BioGetBIR);
    EXPECT_EQ(nullptr, GetModuleHandleA("Braxial.dll"));

    SetEnvironmentVariableA("FAKEBRAX_ENROL", "never");
    std::string message;
    EXPECT_EQ(1, Change(&message));
    EXPECT_EQ("An error occurred while loading braxial.dll!", message);
    EXPECT_EQ("", Env("FAKEBRAX_CALLS"));
}

TEST_F(BioClient, AllTenExportsAreBoundByName)
{
    BraxialLibrary library;
    std::memset(&library, 0x5A, sizeof library);
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(LoadBraxial(&library));
    int bound = 0;
#define EXPECT_BOUND(name)                                                                      \
    EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(library.module, #name)),                 \
              reinterpret_cast<void *>(library.api.name)) << #name;                             \
    bound += library.api.name != nullptr ? 1 : 0;
    BRAXIAL_EXPORTS(EXPECT_BOUND)
#undef EXPECT_BOUND
    EXPECT_EQ(kBraxialExportCount, bound);
    FreeBraxial(&library);
    EXPECT_EQ(nullptr, library.module);
    EXPECT_EQ(nullptr, GetModuleHandleA("Braxial.dll"));
}

TEST_F(BioClient, KeyReadFailureIsReported)
{
    Enrol("a record");
    ASSERT_TRUE(QsimFailNext("ReadBIR", ERROR_READ_FAULT));
    std::string message;
    EXPECT_FALSE(Verify(&message));
    EXPECT_EQ("An error occurred while processing the Key!", message);
    EXPECT_EQ(static_cast<DWORD>(ERROR_READ_FAULT), key.FindReader("Reader A")->last_error);
}

// The user closes the processing dialog while the Key is still busy: the dialog goes at once, the
// access goes on to its end, and its own result is what the operation goes on with.
TEST_F(BioClient, ClosingTheProcessingDialogDuringTheReadGoesOnWithTheRecordRead)
{
    std::string bir(2000, 'b');
    Enrol(bir);
    SetEnvironmentVariableA("FAKEBRAX_FINGER", bir.c_str());
    ASSERT_TRUE(QsimSetLatency(0, 1000));  // the read of the record takes two seconds
    bool verified = false;
    DWORD error = 0;
    Async op([&] {
        SetLastError(0xdeadbeef);
        verified = key.VerifyBioID("Reader A", GetModuleHandleA(nullptr), nullptr, kCaption);
        error = GetLastError();
    });
    CloseProcessingDialog("processing_dialog");
    ASSERT_TRUE(op.Wait());
    QsimSetLatency(0, 0);
    EXPECT_TRUE(verified);
    EXPECT_EQ(0u, error);
    EXPECT_EQ("verify:" + bir + ";", Env("FAKEBRAX_CALLS"));  // the whole record was verified
    EXPECT_EQ(csReady, key.FindReader("Reader A")->state);
    EXPECT_EQ(nullptr, testkit::WaitForWindow(kCaption, nullptr, 300));  // no message
}

TEST_F(BioClient, ClosingTheProcessingDialogDuringTheWriteReportsTheWrite)
{
    std::string bir(2000, 'w');
    SetEnvironmentVariableA("FAKEBRAX_ENROL", bir.c_str());
    ASSERT_TRUE(QsimSetLatency(0, 1000));  // the write of the record takes two seconds
    int result = -1;
    DWORD error = 0;
    Async op([&] {
        SetLastError(0xdeadbeef);
        result = key.ChangeBioID("Reader A", GetModuleHandleA(nullptr), nullptr, kCaption);
        error = GetLastError();
    });
    CloseProcessingDialog(nullptr);
    ASSERT_TRUE(op.Wait());
    QsimSetLatency(0, 0);
    EXPECT_EQ(0, result);  // written, not cancelled
    EXPECT_EQ(0u, error);
    EXPECT_EQ(0u, key.FindReader("Reader A")->last_error);
    EXPECT_EQ(2000u, KeyState().size227);
    EXPECT_EQ(nullptr, testkit::WaitForWindow(kCaption, nullptr, 300));  // no message
}

// The enrolment dialogs run with the Key given back: the monitor is not parked meanwhile, and
// another thread can borrow the Key.
TEST_F(BioClient, EnrolmentDialogsRunWithTheKeyGivenBack)
{
    HANDLE shown = CreateEventA(nullptr, TRUE, FALSE, "sentrio-bio-wait-shown");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "sentrio-bio-wait");
    ASSERT_NE(nullptr, shown);
    ASSERT_NE(nullptr, go);
    SetEnvironmentVariableA("FAKEBRAX_WAIT", "sentrio-bio-wait");
    SetEnvironmentVariableA("FAKEBRAX_ENROL", "while waiting");
    int result = -1;
    {
        Async op([&] { result = key.ChangeBioID("Reader A", GetModuleHandleA(nullptr), nullptr, kCaption); });
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(shown, 10000));
        EXPECT_TRUE(key.AskToStopMonitorThread());  // parked for this thread: nobody else held it
        key.ReleaseMonitor();
        DWORD length = 0;
        EXPECT_TRUE(key.Read("Reader A", nullptr, &length));  // an operation of another thread goes on
        SetEvent(go);
        EXPECT_TRUE(op.Wait());
    }
    SetEnvironmentVariableA("FAKEBRAX_WAIT", nullptr);
    CloseHandle(shown);
    CloseHandle(go);
    EXPECT_EQ(0, result);
    EXPECT_EQ(13u, KeyState().size227);
}

// A Key exchanged in the reader while the user enrols gets nothing written, and neither does the
// Key that was taken out; the user is told.
TEST_F(BioClient, KeyExchangedDuringTheEnrolmentGetsNothingWritten)
{
    int other = QsimCreateKey("Other", "1234");
    ASSERT_NE(0, other);
    HANDLE shown = CreateEventA(nullptr, TRUE, FALSE, "sentrio-bio-swap-shown");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "sentrio-bio-swap");
    ASSERT_NE(nullptr, shown);
    ASSERT_NE(nullptr, go);
    SetEnvironmentVariableA("FAKEBRAX_WAIT", "sentrio-bio-swap");
    SetEnvironmentVariableA("FAKEBRAX_ENROL", "for the first Key");
    int result = -1;
    std::string message;
    {
        Async op([&] { result = key.ChangeBioID("Reader A", GetModuleHandleA(nullptr), nullptr, kCaption); });
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(shown, 10000));
        ASSERT_TRUE(QsimPullKey(card));
        ASSERT_TRUE(QsimInsertKey(other, "Reader A"));
        SetEvent(go);
        message = AnswerMessageBox();
        EXPECT_TRUE(op.Wait());
    }
    SetEnvironmentVariableA("FAKEBRAX_WAIT", nullptr);
    CloseHandle(shown);
    CloseHandle(go);
    EXPECT_EQ(1, result);
    EXPECT_EQ("An error occurred while processing the Key!", message);
    EXPECT_EQ(0u, KeyState().size227);
    QsimKeyState s = {};
    ASSERT_TRUE(QsimGetKey(other, &s));
    EXPECT_EQ(0u, s.size227);
    EXPECT_NE(0u, key.FindReader("Reader A")->last_error);
}

}  // namespace
