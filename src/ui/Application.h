// The application class of the window framework: one object per process,
// whose InitInstance does the start-up and usually runs the main dialog
// modally. Run returns the exit code.
#pragma once

#include <windows.h>

#include <string>

namespace UI {

class CDialogBase;

class CApplication {
public:
    CApplication();
    virtual ~CApplication();
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;

    static CApplication* Instance() { return s_pInstance; }

    // InitInstance, then a message loop only when it returned TRUE.
    int Run(HINSTANCE hInstance);

    // The text after the program's name on the command line, without the
    // blanks that separate them.
    static std::wstring CommandLineTail();

    HINSTANCE m_hInstance = nullptr;
    CDialogBase* m_pMainWnd = nullptr;

protected:
    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return m_nExitCode; }
    int m_nExitCode = 0;

private:
    static CApplication* s_pInstance;
};

}  // namespace UI
