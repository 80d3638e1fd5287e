// The game engine's settings file PlayerCfg\EngineSet.xml, as the settings
// dialog edits it: seven attributes of EngineSetting/GlobleSetting, and
// everything else in the file kept as it was.
#pragma once

#include <string>

#include <tinyxml.h>

struct SEngineSettings {
    int m_nGraphicLevel = 3;  // 0 to 3
    int m_nFullScreen = 0;
    unsigned m_nScreenWidth = 0, m_nScreenHeight = 0;
    int m_nSoundVal = 50, m_nMusicVal = 50;  // 0 to 100
    int m_nMute = 0;
};

class CEngineSetFile {
public:
    // A missing or broken file leaves the document empty, so that it is
    // never saved over with less than it held.
    bool Load(const std::string& strPath);
    // The defaults, with every attribute the file holds as an integer.
    SEngineSettings Read() const;
    // The values written into the document and the document saved (plain
    // XML, through a temporary file). Nothing is written when the document
    // has no EngineSetting; the screen size only with bScreenSize.
    bool Save(const SEngineSettings& settings, bool bScreenSize);

    const TiXmlDocument& Document() const { return m_doc; }

private:
    TiXmlDocument m_doc;
    std::string m_strPath;
};
