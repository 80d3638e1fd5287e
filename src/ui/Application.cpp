#include "Application.h"

namespace UI {

CApplication* CApplication::s_pInstance = nullptr;

CApplication::CApplication()
{
    if (s_pInstance == nullptr) s_pInstance = this;
}

CApplication::~CApplication()
{
    if (s_pInstance == this) s_pInstance = nullptr;
}

int CApplication::Run(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    BOOL run = FALSE;
    try {
        run = InitInstance();
    } catch (...) {
        OutputDebugStringW(L"Tidewell: exception during start-up\n");
        return 1;
    }
    if (run) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return ExitInstance();
}

std::wstring CApplication::CommandLineTail()
{
    const wchar_t* p = GetCommandLineW();
    if (p == nullptr) return std::wstring();
    // The program's name is quoted or ends at the first blank.
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

}  // namespace UI
