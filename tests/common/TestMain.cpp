#include <gtest/gtest.h>

#ifdef _WIN32
#include "EngineTestUtil.h"
#include "base/utility/MessageBox.h"
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    // No test may wait on a modal box.
    SetMessageBoxHook([](HWND, const wchar_t* text, const wchar_t* caption, UINT type) {
        RecordedMessageBoxes().push_back({text ? text : L"", caption ? caption : L"", type});
        return IDOK;
    });
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
