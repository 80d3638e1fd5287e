// Test programs answer every message box through a hook; tests read back
// what would have been shown.
#pragma once

#include <string>
#include <vector>

struct RecordedMessageBox {
    std::wstring text;
    std::wstring caption;
    unsigned type;
};

std::vector<RecordedMessageBox>& RecordedMessageBoxes();
// The answer the hook gives (IDOK by default).
void SetMessageBoxAnswer(int id);
