// GDI+ for this program: the headers (with the warnings they raise at our
// level silenced) and one owner of the start-up token.
#pragma once

#include <windows.h>
#include <objidl.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wextra"
#include <gdiplus.h>
#pragma GCC diagnostic pop

namespace UI {

// GdiplusStartup / GdiplusShutdown.
class CGdiplusSession {
public:
    CGdiplusSession() = default;
    ~CGdiplusSession() { Shutdown(); }
    CGdiplusSession(const CGdiplusSession&) = delete;
    CGdiplusSession& operator=(const CGdiplusSession&) = delete;

    bool Startup()
    {
        if (m_token) return true;
        Gdiplus::GdiplusStartupInput input;
        return Gdiplus::GdiplusStartup(&m_token, &input, nullptr) == Gdiplus::Ok;
    }
    void Shutdown()
    {
        if (m_token) Gdiplus::GdiplusShutdown(m_token);
        m_token = 0;
    }
    bool Running() const { return m_token != 0; }

private:
    ULONG_PTR m_token = 0;
};

}  // namespace UI
