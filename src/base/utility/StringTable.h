// The process-wide table of player-visible texts, looked up by tag.
#pragma once

#include <map>
#include <string>
#include <vector>

class TiXmlElement;

class CStringTable {
public:
    // Created on first use and never destroyed.
    static CStringTable& Instance();

    // Reads strAppDir + "data\string.txt"; when that cannot be read, takes the
    // string children of the skin's stringtable element (may be null).
    void Load(const std::wstring& strAppDir, const TiXmlElement* pStringTable);

    // The text of the tag; a tag the table lacks has its built-in text in the
    // user's language (Chinese or English), else an empty text. Valid until
    // the next Load.
    const wchar_t* Lookup(const wchar_t* pTag) const;

    const std::vector<std::wstring>& Tags() const { return m_vecTags; }

private:
    CStringTable() = default;
    bool ReadFile(const std::wstring& path);
    void ReadSkin(const TiXmlElement* pStringTable);

    std::map<std::wstring, std::wstring> m_mapText;
    std::vector<std::wstring> m_vecTags;
};

void LoadStringTable(const std::wstring& strAppDir, const TiXmlElement* pStringTable);

// Shorthand for CStringTable::Instance().Lookup(tag).
const wchar_t* LocalText(const wchar_t* pTag);

// The tag's text used as a printf format with the given arguments. expected
// lists the conversions the text must hold (e.g. L"s"); a text that holds
// others is shown as it stands, followed by the arguments.
std::wstring FormatLocalText(const wchar_t* pTag, const wchar_t* pExpected, ...);
