#include "PathFence.h"

#include <map>

#include "base/utility/PathText.h"
#include "base/utility/Utf8.h"

namespace {

template <class C>
C Lower(C c)
{
    return c >= C('A') && c <= C('Z') ? C(c - 'A' + 'a') : c;
}

// The part of a component before its first dot, blanks at its end dropped,
// is what Windows compares with its device names.
template <class S>
bool IsDeviceName(const S& component)
{
    typedef typename S::value_type C;
    size_t end = component.find(C('.'));
    if (end == S::npos) end = component.size();
    while (end > 0 && component[end - 1] == C(' ')) --end;
    std::string base;
    for (size_t i = 0; i < end; ++i) {
        const unsigned c = static_cast<unsigned>(component[i]) & (sizeof(C) == 1 ? 0xFFu : 0xFFFFu);
        if (c > 0xFF) return false;
        base.push_back(static_cast<char>(Lower(static_cast<char>(c))));
    }
    if (base == "con" || base == "prn" || base == "aux" || base == "nul" || base == "conin$" || base == "conout$")
        return true;
    if (base.size() != 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) return false;
    const unsigned char d = static_cast<unsigned char>(base[3]);
    // Superscript one, two and three count as digits there too.
    return (d >= '0' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
}

template <class S>
ENameVerdict Check(const S& name, ENameKind kind, S* normalised)
{
    typedef typename S::value_type C;
    if (name.empty()) return NAME_EMPTY;
    if (name.size() > kMaxNameLength) return NAME_TOO_LONG;
    const S path = Base::Utility::WithBackslashes(name);
    if (path[0] == C('\\')) return NAME_ROOTED;
    if (kind == NAME_PLAIN_FILE && path.find(C('\\')) != S::npos) return NAME_NOT_PLAIN;
    size_t start = 0;
    for (;;) {
        size_t end = path.find(C('\\'), start);
        if (end == S::npos) end = path.size();
        if (end == start) return NAME_EMPTY_COMPONENT;
        const S component = path.substr(start, end - start);
        bool onlyDots = true;
        for (size_t i = 0; i < component.size(); ++i) {
            const C c = component[i];
            const unsigned u = static_cast<unsigned>(c) & (sizeof(C) == 1 ? 0xFFu : 0xFFFFFFFFu);
            if (u < 0x20 || u == 0x7F) return NAME_BAD_CHARACTER;
            if (c == C(':')) return NAME_COLON;
            if (c == C('<') || c == C('>') || c == C('"') || c == C('|') || c == C('?') || c == C('*'))
                return NAME_BAD_CHARACTER;
            if (c == C('~') && i + 1 < component.size() && component[i + 1] >= C('0') && component[i + 1] <= C('9'))
                return NAME_SHORT_ALIAS;
            if (c != C('.') && c != C(' ')) onlyDots = false;
        }
        if (onlyDots) return NAME_DOT_COMPONENT;
        // Windows drops them, so "a." would name "a".
        if (component.back() == C('.') || component.back() == C(' ')) return NAME_TRAILING_DOT_OR_BLANK;
        if (IsDeviceName(component)) return NAME_DEVICE;
        if (end == path.size()) break;
        start = end + 1;
    }
    if (kind == NAME_PACKAGE_TARGET) {
        std::string lower;
        for (C c : path) lower.push_back(static_cast<unsigned>(c) < 0x80 ? Lower(static_cast<char>(c)) : '\x80');
        for (const char* owned : {"patchcfg\\newupdatecfg.xml", "patchcfg\\newupdatecfg.eml",
                                  "patchcfg\\newupdatecfg.xml.tmp"})
            if (lower == owned) return NAME_ENGINE_OWNED;
        for (const char* folder : {"patchcfg\\patchtemp", "patchcfg\\patchbackup"}) {
            const std::string f(folder);
            if (lower.compare(0, f.size(), f) == 0 && (lower.size() == f.size() || lower[f.size()] == '\\'))
                return NAME_ENGINE_OWNED;
        }
    }
    if (normalised) *normalised = path;
    return NAME_OK;
}

}  // namespace

ENameVerdict FenceName(const std::string& name, ENameKind kind, std::string* normalised)
{
    return Check(name, kind, normalised);
}

ENameVerdict FenceName(const std::wstring& name, ENameKind kind, std::wstring* normalised)
{
    return Check(name, kind, normalised);
}

const wchar_t* NameVerdictText(ENameVerdict verdict)
{
    switch (verdict) {
    case NAME_OK: return L"accepted";
    case NAME_EMPTY: return L"empty";
    case NAME_TOO_LONG: return L"too long";
    case NAME_ROOTED: return L"absolute, UNC or device path";
    case NAME_COLON: return L"drive letter or colon";
    case NAME_BAD_CHARACTER: return L"control or reserved character";
    case NAME_DOT_COMPONENT: return L"dot component";
    case NAME_EMPTY_COMPONENT: return L"empty component";
    case NAME_TRAILING_DOT_OR_BLANK: return L"trailing dot or blank";
    case NAME_DEVICE: return L"device name";
    case NAME_SHORT_ALIAS: return L"short-name alias";
    case NAME_NOT_PLAIN: return L"not a plain file name";
    case NAME_ENGINE_OWNED: return L"the updater's own file";
    }
    return L"refused";
}

bool IsSafeRelativePath(const std::string& path) { return FenceName(path, NAME_RELATIVE_PATH) == NAME_OK; }
bool IsSafeRelativePath(const std::wstring& path) { return FenceName(path, NAME_RELATIVE_PATH) == NAME_OK; }

const std::wstring* FirstRefusedName(const std::vector<std::wstring>& names, ENameKind kind, ENameVerdict* verdict)
{
    for (const std::wstring& name : names) {
        const ENameVerdict v = FenceName(name, kind);
        if (v == NAME_OK) continue;
        if (verdict) *verdict = v;
        return &name;
    }
    return nullptr;
}

namespace {

std::wstring CaseKey(const std::wstring& name)
{
    std::wstring key = Base::Utility::WithBackslashes(name);
    for (wchar_t& c : key) c = Base::Utility::FoldCase(c);
    return key;
}

}  // namespace

bool CheckNames(const std::vector<std::wstring>& names, ENameKind kind, SNameRefusal* refusal)
{
    std::map<std::wstring, const std::wstring*> seen;
    for (const std::wstring& name : names) {
        const ENameVerdict verdict = FenceName(name, kind);
        if (verdict != NAME_OK) {
            *refusal = {name, NameVerdictText(verdict)};
            return false;
        }
        const std::wstring key = CaseKey(name);
        auto it = seen.find(key);
        if (it != seen.end()) {
            *refusal = {name, *it->second == name ? std::wstring(L"listed twice")
                                                  : L"differs from " + *it->second + L" only in case"};
            return false;
        }
        seen[key] = &name;
    }
    // A file and a folder of one name clash too: "a\\b" against "A".
    for (const auto& file : seen) {
        auto below = seen.lower_bound(file.first + L"\\");
        if (below != seen.end() && below->first.compare(0, file.first.size() + 1, file.first + L"\\") == 0) {
            *refusal = {*below->second, L"a file, " + *file.second + L", has the name of its folder"};
            return false;
        }
    }
    return true;
}

bool IsEngineTempName(const std::string& name)
{
    const std::string lower = Base::Utility::AsciiLower(name);
    auto endsWith = [&](const char* tail) {
        const std::string t(tail);
        return lower.size() >= t.size() && lower.compare(lower.size() - t.size(), t.size(), t) == 0;
    };
    return lower == "tidewell.log" || lower == "download.minisig" || lower == "filelist.xml" ||
           lower == "chunks.spool" || lower == "rebuild" || endsWith(".manifest") || lower == "filelist.deltas" ||
           lower == "basepack" || endsWith(".err") || endsWith(".part") || endsWith(".resume") ||
           endsWith(".tmp") || endsWith(".result");
}

std::string ZipIndexKey(const std::string& name)
{
    return Base::Utility::WithSlashes(Base::Utility::AsciiLower(name));
}
