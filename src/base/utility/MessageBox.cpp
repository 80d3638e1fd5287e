#include "MessageBox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/utility/StrConv.h"

namespace {

MessageBoxHook g_hook = nullptr;

int AnswerFromEnvironment()
{
    const char* answer = std::getenv("TIDEWELL_MESSAGEBOX");
    if (answer == nullptr || *answer == 0) return 0;
    static const struct {
        const char* name;
        int id;
    } kAnswers[] = {{"ok", IDOK},   {"cancel", IDCANCEL}, {"yes", IDYES},      {"no", IDNO},
                    {"retry", IDRETRY}, {"abort", IDABORT}, {"ignore", IDIGNORE}};
    for (const auto& a : kAnswers)
        if (_stricmp(answer, a.name) == 0) return a.id;
    return IDOK;
}

}  // namespace

int ShowMessageBox(HWND hOwner, const wchar_t* pText, const wchar_t* pCaption, UINT uType)
{
    if (g_hook != nullptr) return g_hook(hOwner, pText, pCaption, uType);
    if (int id = AnswerFromEnvironment()) {
        std::fprintf(stderr, "MessageBox [%s] %s\n",
                     Base::Utility::WideToUtf8(pCaption ? pCaption : L"").c_str(),
                     Base::Utility::WideToUtf8(pText ? pText : L"").c_str());
        std::fflush(stderr);
        return id;
    }
    return MessageBoxW(hOwner, pText, pCaption, uType);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook previous = g_hook;
    g_hook = hook;
    return previous;
}
