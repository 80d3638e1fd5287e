// patchtool revision add: one version step in a Revision.xml.
#include <cstdio>
#include <filesystem>

#include <tinyxml.h>

#include "Args.h"
#include "Commands.h"
#include "ToolExit.h"
#include "RevisionRecord.h"


int RunRevision(int argc, char** argv)
{
    CArgs args;
    std::string error;
    const bool parsed = argc >= 1 && std::string(argv[0]) == "add" &&
                        args.Parse(argc - 1, argv + 1, {"--prev", "--inter", "--upgrade", "--degrade"}, &error);
    if (!parsed || args.Positional().size() != 1 || !args.Has("--prev") || !args.Has("--inter") ||
        (!args.Has("--upgrade") && !args.Has("--degrade"))) {
        if (!error.empty()) std::fprintf(stderr, "patchtool revision: %s\n", error.c_str());
        std::fputs("usage: patchtool revision add REVISION.xml --prev V --inter V [--upgrade PKG] [--degrade PKG]\n",
                   stderr);
        return TOOL_USAGE;
    }
    const std::string path = args.Positional()[0];
    TiXmlDocument doc;
    if (std::filesystem::exists(std::filesystem::u8path(path))) {
        if (!doc.LoadFile(path.c_str())) {
            std::fprintf(stderr, "patchtool revision: %s is not readable XML: %s\n", path.c_str(), doc.ErrorDesc());
            return TOOL_FAILED;
        }
    } else {
        doc.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
        doc.LinkEndChild(new TiXmlElement("Revisions"));
    }
    TiXmlElement* root = doc.RootElement();
    if (root == nullptr) {
        std::fprintf(stderr, "patchtool revision: %s has no document element\n", path.c_str());
        return TOOL_FAILED;
    }
    const std::string inter = args.Get("--inter");
    for (TiXmlElement* r = root->FirstChildElement(); r; r = r->NextSiblingElement()) {
        const char* existing = r->Attribute("interversion");
        if (existing && inter == existing) {
            // The launcher keeps only the first record of an interversion.
            std::fprintf(stderr, "patchtool revision: %s already has a record for %s\n", path.c_str(), inter.c_str());
            return TOOL_FAILED;
        }
    }
    TiXmlElement* record = new TiXmlElement("Revision");
    record->SetAttribute("interversion", inter.c_str());
    record->SetAttribute("prevversion", args.Get("--prev").c_str());
    bool ok = true;
    if (args.Has("--upgrade")) ok = AddPackageElement(record, "upgrade", args.Get("--upgrade"), false, &error);
    if (ok && args.Has("--degrade")) ok = AddPackageElement(record, "degrade", args.Get("--degrade"), false, &error);
    if (!ok) {
        delete record;
        std::fprintf(stderr, "patchtool revision: %s\n", error.c_str());
        return TOOL_FAILED;
    }
    root->LinkEndChild(record);
    if (!doc.SaveFile(path.c_str())) {
        std::fprintf(stderr, "patchtool revision: cannot write %s\n", path.c_str());
        return TOOL_FAILED;
    }
    std::printf("%s: %s -> %s added\n", path.c_str(), args.Get("--prev").c_str(), inter.c_str());
    return TOOL_OK;
}
