// patchtool init: a player installation that a launcher copied into starts
// and updates from: the local configuration, base-pack entries, the text
// table in two languages and the sample skin.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include <unzip.h>

#include "Args.h"
#include "Commands.h"
#include "ToolExit.h"
#include "base/utility/TextDefaults.h"
#include "transfer/ByteSource.h"
#include "transfer/Minisign.h"
#include "transfer/PathFence.h"
#include "transfer/ZipRangeIo.h"

extern const unsigned char kSampleSkinZip[];
extern const std::size_t kSampleSkinZipSize;

namespace fs = std::filesystem;

namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

std::string XmlEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

bool WriteFile(const fs::path& path, const std::string& bytes)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

// data\string.txt as the launcher reads it: UTF-16LE with a mark, one
// "TAG "text"" line each, line breaks written as \n.
std::string TextTable(bool chinese)
{
    std::string bytes = "\xFF\xFE";
    auto put = [&](const std::wstring& text) {
        for (wchar_t c : text) {
            const unsigned u = static_cast<unsigned>(c) & 0xFFFF;
            bytes.push_back(static_cast<char>(u & 0xFF));
            bytes.push_back(static_cast<char>(u >> 8));
        }
    };
    std::size_t count = 0;
    const STextDefault* all = TextDefaults(&count);
    for (std::size_t i = 0; i < count; ++i) {
        std::wstring text = chinese ? all[i].chinese : all[i].english;
        for (size_t at; (at = text.find(L"\r\n")) != std::wstring::npos;) text.replace(at, 2, L"\\n");
        put(std::wstring(all[i].tag) + L" \"" + text + L"\"\r\n");
    }
    return bytes;
}

// The sample skin's files, its configuration with the address and the game.
bool WriteSkin(const fs::path& dir, const std::string& url, const std::string& game, std::string* error)
{
    CMemoryByteSource src(kSampleSkinZip, kSampleSkinZipSize);
    SZipRange range = {&src, 0, kSampleSkinZipSize};
    zlib_filefunc64_def funcs;
    FillZipRangeFuncs(&funcs);
    unzFile z = unzOpen2_64(&range, &funcs);
    bool ok = z != nullptr;
    for (int r = ok ? unzGoToFirstFile(z) : UNZ_END_OF_LIST_OF_FILE; ok && r == UNZ_OK; r = unzGoToNextFile(z)) {
        unz_file_info64 info;
        char name[256];
        ok = unzGetCurrentFileInfo64(z, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK &&
             unzOpenCurrentFile(z) == UNZ_OK;
        std::string data(ok ? static_cast<size_t>(info.uncompressed_size) : 0, '\0');
        ok = ok && unzReadCurrentFile(z, &data[0], static_cast<unsigned>(data.size())) == static_cast<int>(data.size()) &&
             unzCloseCurrentFile(z) == UNZ_OK;
        if (ok && std::string(name) == "PatchCfg/NewLauncherCfg.xml") {
            data = Replaced(data, "@URL@", XmlEscaped(url));
            data = Replaced(data, "path=\"Game.exe\"", "path=\"" + XmlEscaped(game) + "\"");
        }
        ok = ok && WriteFile(dir / fs::u8path(name), data);
        if (!ok) *error = "cannot write the skin's " + std::string(name);
    }
    if (z) unzClose(z);
    if (!ok && error->empty()) *error = "the built-in skin cannot be read";
    return ok;
}

}  // namespace

int RunInit(int argc, char** argv)
{
    CArgs args;
    std::string error;
    if (!args.Parse(argc, argv, {"--url", "--key", "--name", "--version"}, &error, {"--force"}) ||
        args.Positional().size() != 1 || args.Get("--url").empty()) {
        if (!error.empty()) std::fprintf(stderr, "patchtool init: %s\n", error.c_str());
        std::fputs("usage: patchtool init DIR --url URL [--key NAME.pub] [--name GAME.exe] [--version V] [--force]\n",
                   stderr);
        return TOOL_USAGE;
    }
    std::string url = args.Get("--url");
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0)
        return Fail("init", TOOL_USAGE, "--url " + url + " is not an http(s) address");
    if (url.back() != '/') url.push_back('/');
    const std::string game = args.Has("--name") ? args.Get("--name") : "Game.exe";
    if (FenceName(game, NAME_PLAIN_FILE) != NAME_OK) return Fail("init", TOOL_USAGE, "--name " + game + " is no file name");
    const std::string version = args.Has("--version") ? args.Get("--version") : "0000100";
    if (version.size() != 7 || version.find_first_not_of("0123456789") != std::string::npos)
        return Fail("init", TOOL_USAGE, "--version " + version + " is not seven digits");
    std::string keyLine;
    if (args.Has("--key")) {
        std::ifstream in(fs::u8path(args.Get("--key")));
        std::string comment;
        SMinisignKey key;
        if (!in || !std::getline(in, comment) || !std::getline(in, keyLine)) return Fail("init", TOOL_BAD_KEY, "cannot read " + args.Get("--key"));
        if (!keyLine.empty() && keyLine.back() == '\r') keyLine.pop_back();
        if (!ParseMinisignPublicKey(keyLine, &key)) return Fail("init", TOOL_BAD_KEY, args.Get("--key") + " is no minisign public key");
    }
    const fs::path dir = fs::u8path(args.Positional()[0]);
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_empty(dir, ec) && !args.Has("--force"))
        return Fail("init", TOOL_NOT_EMPTY, dir.u8string() + " is not empty (--force writes into it)");

    const std::string config =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Root>\r\n  <Version>\r\n"
        "    <LastVersion>" + version + "</LastVersion>\r\n    <CurVersion>" + version + "</CurVersion>\r\n"
        "    <ClientVer>" + version + "</ClientVer>\r\n    <DownloadedFileVersion>0</DownloadedFileVersion>\r\n"
        "  </Version>\r\n  <ManualUpdateURL NormalURL=\"" + XmlEscaped(url) + "\" TestUpdateURL=\"\" TestRollbackURL=\"\"/>\r\n"
        "  <InternetUpdate>\r\n    <UpdateInfoURL>" + XmlEscaped(url) + "NewUpdateInfo.zip</UpdateInfoURL>\r\n"
        "  </InternetUpdate>\r\n  <RDTest>\r\n    <UpdateInfoURL>" + XmlEscaped(url) + "NewUpdateInfo.zip</UpdateInfoURL>\r\n"
        "  </RDTest>\r\n" +
        (keyLine.empty() ? std::string() : "  <TrustedKeys>\r\n    <Key>" + keyLine + "</Key>\r\n  </TrustedKeys>\r\n") +
        "</Root>\r\n";
    const std::string info = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Root>\r\n"
                             "  <PatchClientZip1 url=\"" + XmlEscaped(url) + "base1.zip\" filename=\"base1.zip\"/>\r\n"
                             "  <PatchClientZip2 url=\"" + XmlEscaped(url) + "base2.zip\" filename=\"base2.zip\"/>\r\n"
                             "</Root>\r\n";
    const std::map<std::string, std::string> files = {
        {"PatchCfg/NewUpdateCfg.xml", config},
        {"PatchCfg/NewUpdateInfo.xml", info},
        {"data/string.txt", TextTable(true)},
        {"data/string.en.txt", TextTable(false)},
    };
    for (const auto& f : files)
        if (!WriteFile(dir / f.first, f.second)) return Fail("init", TOOL_FAILED, "cannot write " + (dir / f.first).u8string());
    if (!WriteSkin(dir, url, game, &error)) return Fail("init", TOOL_FAILED, error);
    std::printf("%s: a player installation at %s, updated from %s%s\n"
                "  PatchCfg\\NewUpdateCfg.xml    the update address%s\n"
                "  PatchCfg\\NewUpdateInfo.xml   base packs %sbase1.zip and base2.zip fill it on the first start\n"
                "  data\\string.txt             the texts in Chinese (data\\string.en.txt: English, copy it over to use it)\n"
                "  PatchCfg\\NewLauncherCfg.xml  the sample skin (skin\\), starting Binaries\\%s\n"
                "copy launcher.exe into it, and publish a release to %s\n",
                dir.u8string().c_str(), version.c_str(), url.c_str(), keyLine.empty() ? "" : ", signed",
                keyLine.empty() ? "" : " and the trusted key", url.c_str(), game.c_str(), url.c_str());
    return TOOL_OK;
}
