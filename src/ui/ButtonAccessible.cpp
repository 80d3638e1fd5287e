#include "ButtonAccessible.h"

#include "GdiHandle.h"

#include <commctrl.h>
#include <oleacc.h>

#include <string>

namespace UI {
namespace {

class CRoleAccessible : public IAccessible {
public:
    // Takes over the reference to standard.
    CRoleAccessible(HWND hWnd, IAccessible* standard, long role) : m_hWnd(hWnd), m_role(role) { *m_std.Out() = standard; }
    virtual ~CRoleAccessible() = default;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { return m_std->GetTypeInfoCount(n); }
    STDMETHODIMP GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override { return m_std->GetTypeInfo(i, lcid, info); }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT n, LCID lcid, DISPID* ids) override
    {
        return m_std->GetIDsOfNames(riid, names, n, lcid, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* info, UINT* arg) override
    {
        return m_std->Invoke(id, riid, lcid, flags, params, result, info, arg);
    }

    // IAccessible: the role, the default action and the state are ours.
    STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override
    {
        if (!IsSelf(child)) return m_std->get_accRole(child, role);
        role->vt = VT_I4;
        role->lVal = m_role;
        return S_OK;
    }
    STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override
    {
        if (!IsSelf(child) || m_role != ROLE_SYSTEM_PUSHBUTTON) return m_std->get_accState(child, state);
        state->vt = VT_I4;
        state->lVal = STATE_SYSTEM_FOCUSABLE | (GetFocus() == m_hWnd ? STATE_SYSTEM_FOCUSED : 0) |
                      (IsWindowEnabled(m_hWnd) ? 0 : STATE_SYSTEM_UNAVAILABLE) |
                      (IsWindowVisible(m_hWnd) ? 0 : STATE_SYSTEM_INVISIBLE);
        return S_OK;
    }
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        if (!IsSelf(child) || m_role != ROLE_SYSTEM_PUSHBUTTON) return m_std->get_accDefaultAction(child, action);
        *action = SysAllocString(L"Press");
        return *action ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP accDoDefaultAction(VARIANT child) override
    {
        if (!IsSelf(child) || m_role != ROLE_SYSTEM_PUSHBUTTON) return m_std->accDoDefaultAction(child);
        if (!IsWindowEnabled(m_hWnd)) return E_FAIL;
        PostMessageW(m_hWnd, BM_CLICK, 0, 0);
        return S_OK;
    }
    STDMETHODIMP get_accParent(IDispatch** parent) override { return m_std->get_accParent(parent); }
    STDMETHODIMP get_accChildCount(long* n) override { return m_std->get_accChildCount(n); }
    STDMETHODIMP get_accChild(VARIANT child, IDispatch** out) override { return m_std->get_accChild(child, out); }
    STDMETHODIMP get_accName(VARIANT child, BSTR* name) override { return m_std->get_accName(child, name); }
    STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override
    {
        if (!IsSelf(child) || m_role != ROLE_SYSTEM_PROGRESSBAR) return m_std->get_accValue(child, value);
        const LRESULT top = SendMessageW(m_hWnd, PBM_GETRANGE, FALSE, 0);
        const LRESULT at = SendMessageW(m_hWnd, PBM_GETPOS, 0, 0);
        *value = SysAllocString((std::to_wstring(top > 0 ? at * 100 / top : 0) + L"%").c_str());
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP get_accDescription(VARIANT child, BSTR* text) override { return m_std->get_accDescription(child, text); }
    STDMETHODIMP get_accHelp(VARIANT child, BSTR* help) override { return m_std->get_accHelp(child, help); }
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override
    {
        return m_std->get_accHelpTopic(file, child, topic);
    }
    STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* keys) override
    {
        return m_std->get_accKeyboardShortcut(child, keys);
    }
    STDMETHODIMP get_accFocus(VARIANT* focus) override { return m_std->get_accFocus(focus); }
    STDMETHODIMP get_accSelection(VARIANT* selection) override { return m_std->get_accSelection(selection); }
    STDMETHODIMP accSelect(long flags, VARIANT child) override { return m_std->accSelect(flags, child); }
    STDMETHODIMP accLocation(long* x, long* y, long* w, long* h, VARIANT child) override
    {
        return m_std->accLocation(x, y, w, h, child);
    }
    STDMETHODIMP accNavigate(long dir, VARIANT start, VARIANT* end) override { return m_std->accNavigate(dir, start, end); }
    STDMETHODIMP accHitTest(long x, long y, VARIANT* child) override { return m_std->accHitTest(x, y, child); }
    STDMETHODIMP put_accName(VARIANT child, BSTR name) override { return m_std->put_accName(child, name); }
    STDMETHODIMP put_accValue(VARIANT child, BSTR value) override { return m_std->put_accValue(child, value); }

private:
    static bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

    LONG m_refs = 1;
    HWND m_hWnd;
    TComPtr<IAccessible> m_std;
    long m_role;
};

LRESULT Answer(HWND hWnd, WPARAM wParam, LPARAM lParam, long role)
{
    if (static_cast<LONG>(lParam) != static_cast<LONG>(OBJID_CLIENT)) return 0;
    IAccessible* standard = nullptr;
    if (FAILED(CreateStdAccessibleObject(hWnd, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard))))
        return 0;
    TComPtr<CRoleAccessible> object;
    *object.Out() = new CRoleAccessible(hWnd, standard, role);
    return LresultFromObject(IID_IAccessible, wParam, object.Get());
}

}  // namespace

LRESULT AnswerButtonObject(HWND hWnd, WPARAM wParam, LPARAM lParam)
{
    return Answer(hWnd, wParam, lParam, ROLE_SYSTEM_PUSHBUTTON);
}

LRESULT AnswerSilentObject(HWND hWnd, WPARAM wParam, LPARAM lParam, bool progress)
{
    return Answer(hWnd, wParam, lParam, progress ? ROLE_SYSTEM_PROGRESSBAR : ROLE_SYSTEM_STATICTEXT);
}

}  // namespace UI
