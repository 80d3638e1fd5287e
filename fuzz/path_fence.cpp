// The path fence, narrow and wide: what it lets through is a plain relative
// path, whatever the bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/PathFence.h"

namespace {

template <class S>
void CheckAccepted(const S& p, ENameKind kind)
{
    typedef typename S::value_type C;
    if (p.empty() || p.size() > kMaxNameLength || p[0] == C('\\') || p.back() == C('\\')) std::abort();
    for (size_t i = 0; i < p.size(); ++i) {
        const C c = p[i];
        if (c == C('/') || c == C(':') || (c >= C(0) && c < C(0x20))) std::abort();
        if (kind == NAME_PLAIN_FILE && c == C('\\')) std::abort();
        if (c == C('\\') && i + 1 < p.size() && p[i + 1] == C('\\')) std::abort();
    }
    const S dots[] = {S(1, C('.')), S(2, C('.'))};
    for (size_t start = 0; start <= p.size();) {
        size_t end = p.find(C('\\'), start);
        if (end == S::npos) end = p.size();
        const S component = p.substr(start, end - start);
        if (component == dots[0] || component == dots[1] || component.back() == C('.') || component.back() == C(' '))
            std::abort();
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const ENameKind kind = static_cast<ENameKind>(data[0] % 3);
    const std::string narrow(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string n;
    if (FenceName(narrow, kind, &n) == NAME_OK) CheckAccepted(n, kind);
    std::wstring wide;
    for (size_t i = 1; i + 1 < size; i += 2) wide.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    std::wstring w;
    if (FenceName(wide, kind, &w) == NAME_OK) CheckAccepted(w, kind);
    return 0;
}
