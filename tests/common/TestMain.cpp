#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "MessageBoxRecorder.h"
#include "base/utility/MessageBox.h"

namespace {
int g_answer = IDOK;

int RecordBox(HWND, const wchar_t* pText, const wchar_t* pCaption, UINT uType)
{
    RecordedMessageBoxes().push_back({pText ? pText : L"", pCaption ? pCaption : L"", uType});
    return g_answer;
}
}  // namespace

std::vector<RecordedMessageBox>& RecordedMessageBoxes()
{
    static std::vector<RecordedMessageBox> boxes;
    return boxes;
}

void SetMessageBoxAnswer(int id) { g_answer = id; }
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    // No test may wait on a modal box.
    SetMessageBoxHook(&RecordBox);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
