// main() of every Windows test executable: no crash dialogs, then GoogleTest.
#include <windows.h>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // A crash must end the test process with a failure, not wait for someone to close a box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
