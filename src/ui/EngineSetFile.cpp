#include "EngineSetFile.h"

#include <cerrno>
#include <cstdlib>

#include "base/utility/XmlLoad.h"
#include "base/utility/XmlSave.h"

namespace {

template <class T>
void ReadInteger(const TiXmlElement* e, const char* name, T& field)
{
    const char* text = e->Attribute(name);
    if (text == nullptr || *text == 0) return;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (*end == 0 && errno == 0) field = static_cast<T>(value);
}

}  // namespace

bool CEngineSetFile::Load(const std::string& strPath)
{
    m_strPath = strPath;
    if (LoadXmlDocument(m_doc, strPath.c_str(), TIXML_ENCODING_UNKNOWN)) return true;
    m_doc.Clear();
    return false;
}

SEngineSettings CEngineSetFile::Read() const
{
    SEngineSettings s;
    const TiXmlElement* engine = m_doc.FirstChildElement("EngineSetting");
    const TiXmlElement* g = engine ? engine->FirstChildElement("GlobleSetting") : nullptr;
    if (g == nullptr) return s;
    ReadInteger(g, "GraphicLevel", s.m_nGraphicLevel);
    ReadInteger(g, "FullSreen", s.m_nFullScreen);
    ReadInteger(g, "SCREEN_WIDTH", s.m_nScreenWidth);
    ReadInteger(g, "SCREEN_HEIGHT", s.m_nScreenHeight);
    ReadInteger(g, "SoundVal", s.m_nSoundVal);
    ReadInteger(g, "MusicVal", s.m_nMusicVal);
    ReadInteger(g, "Mute", s.m_nMute);
    return s;
}

bool CEngineSetFile::Save(const SEngineSettings& s, bool bScreenSize)
{
    TiXmlElement* engine = m_doc.FirstChildElement("EngineSetting");
    if (engine == nullptr) return false;
    if (TiXmlElement* g = engine->FirstChildElement("GlobleSetting")) {
        g->SetAttribute("GraphicLevel", s.m_nGraphicLevel);
        g->SetAttribute("FullSreen", s.m_nFullScreen);
        if (bScreenSize) {
            g->SetAttribute("SCREEN_WIDTH", std::to_string(s.m_nScreenWidth).c_str());
            g->SetAttribute("SCREEN_HEIGHT", std::to_string(s.m_nScreenHeight).c_str());
        }
        g->SetAttribute("SoundVal", s.m_nSoundVal);
        g->SetAttribute("MusicVal", s.m_nMusicVal);
        g->SetAttribute("Mute", s.m_nMute);
    }
    return SaveXmlDocument(m_doc, m_strPath);
}
