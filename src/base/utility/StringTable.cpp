#include "StringTable.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <tinyxml.h>

#include "TextDefaults.h"

#include "StrConv.h"
#include "TextFormat.h"
#include "TextTableFile.h"
#include "XmlText.h"

namespace {

std::wstring DecodeAnsi(const std::string& bytes) { return Base::Utility::AnsiToWide(bytes); }

}  // namespace

CStringTable& CStringTable::Instance()
{
    static CStringTable* s_pTable = new CStringTable;
    return *s_pTable;
}

bool CStringTable::ReadFile(const std::wstring& path)
{
    if (path.empty()) return false;
    std::unique_ptr<FILE, int (*)(FILE*)> f(_wfopen(path.c_str(), L"rb"), &std::fclose);
    if (!f) return false;
    std::string bytes;
    char buf[16384];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f.get())) > 0;) bytes.append(buf, n);
    if (std::ferror(f.get()) != 0) return false;

    TextTable::Entries entries;
    TextTable::ParseText(TextTable::DecodeTextFile(bytes, &DecodeAnsi), entries);
    m_mapText.clear();
    m_vecTags.clear();
    for (const std::wstring& tag : entries.order) {
        m_mapText[tag] = entries.texts[tag];
        m_vecTags.push_back(tag);
    }
    return true;
}

void CStringTable::ReadSkin(const TiXmlElement* pStringTable)
{
    m_mapText.clear();
    m_vecTags.clear();
    for (const TiXmlElement* p = pStringTable->FirstChildElement("string"); p;
         p = p->NextSiblingElement("string")) {
        std::wstring tag = XmlAttributeW(p, "code");
        m_mapText[tag] = TextTable::ExpandLineBreaks(XmlAttributeW(p, "text"));
        m_vecTags.push_back(tag);
    }
}

void CStringTable::Load(const std::wstring& strAppDir, const TiXmlElement* pStringTable)
{
    if (ReadFile(strAppDir.empty() ? std::wstring() : strAppDir + L"data\\string.txt")) return;
    if (pStringTable != nullptr) {
        ReadSkin(pStringTable);
    } else {
        m_mapText.clear();
        m_vecTags.clear();
    }
}

const wchar_t* CStringTable::Lookup(const wchar_t* pTag) const
{
    if (pTag == nullptr) return L"";
    auto it = m_mapText.find(pTag);
    if (it != m_mapText.end()) return it->second.c_str();
    // A tag the table lacks is never a blank line on screen.
    const STextDefault* fallback = FindTextDefault(pTag);
    if (fallback == nullptr) return L"";
    static const bool chinese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE;
    return chinese ? fallback->chinese : fallback->english;
}

void LoadStringTable(const std::wstring& strAppDir, const TiXmlElement* pStringTable)
{
    CStringTable::Instance().Load(strAppDir, pStringTable);
}

const wchar_t* LocalText(const wchar_t* pTag) { return CStringTable::Instance().Lookup(pTag); }

std::wstring FormatLocalText(const wchar_t* pTag, const wchar_t* pExpected, ...)
{
    std::wstring format = LocalText(pTag);
    if (!TextTable::FormatMatches(format, pExpected)) {
        std::wstring escaped;
        for (wchar_t ch : format) {
            escaped.push_back(ch);
            if (ch == L'%') escaped.push_back(L'%');
        }
        format = escaped;
        for (const wchar_t* p = pExpected; *p; ++p) {
            format += L" %";
            format.push_back(*p);
        }
    }
    va_list args;
    va_start(args, pExpected);
    std::wstring out;
    Base::Utility::FormatTextV(&out, format.c_str(), args);
    va_end(args);
    return out;
}
