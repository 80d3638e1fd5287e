// Runs the host-built patchtool as an operator would.
#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdlib>

#include "TestDir.h"
#include "base/utility/Scramble.h"
#include "base/utility/XmlLoad.h"

namespace {

int RunTool(const std::string& args)
{
    std::string cmd = std::string(PATCHTOOL_PATH) + " " + args + " 2>/dev/null";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Printed(const TiXmlDocument& doc)
{
    TiXmlPrinter printer;
    doc.Accept(&printer);
    return printer.Str();
}

}  // namespace

TEST(ScrambleKey, IsTheGbkEncodingOfTheKeyText)
{
    iconv_t cd = iconv_open("GBK", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    char in[] = "\xE5\xBD\x93\xE6\x9C\x88\xE5\x85\x89\xE7\x85\xA7\xE8\xBF\x9B"
                "\xE6\x97\xA7\xE5\x9F\x8E\xE7\x9A\x84\xE9\x82\xA3\xE5\xA4\x9C";  // 当月光照进旧城的那夜
    char out[64];
    char* pin = in;
    char* pout = out;
    size_t inLeft = sizeof in - 1, outLeft = sizeof out;
    ASSERT_NE(iconv(cd, &pin, &inLeft, &pout, &outLeft), static_cast<size_t>(-1));
    iconv_close(cd);
    ASSERT_EQ(static_cast<size_t>(pout - out), Scramble::kKeyLength);
    EXPECT_EQ(std::string(out, Scramble::kKeyLength),
              std::string(reinterpret_cast<const char*>(Scramble::kKey), Scramble::kKeyLength));
}

TEST(PatchToolScramble, OutputLoadsAsTheSameDocument)
{
    ScopedTestDir dir;
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<Root>\r\n<Version><CurVersion>0000100</CurVersion>"
        "</Version>\r\n<Text>\xB5\xB1\xD4\xC2</Text>\r\n</Root>\r\n";
    WriteBytes("NewUpdateCfg.xml", xml);
    ASSERT_EQ(RunTool("scramble NewUpdateCfg.xml shipped.eml"), 0);
    EXPECT_NE(ReadBytes("shipped.eml"), xml);

    TiXmlDocument plain, scrambled;
    ASSERT_TRUE(LoadXmlDocument(plain, "NewUpdateCfg.xml", TIXML_ENCODING_UNKNOWN));
    ASSERT_TRUE(LoadXmlDocument(scrambled, "shipped.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_EQ(Printed(scrambled), Printed(plain));

    ASSERT_EQ(RunTool("scramble shipped.eml back.xml"), 0);
    EXPECT_EQ(ReadBytes("back.xml"), xml);
}

TEST(PatchToolScramble, RefusesBadArguments)
{
    ScopedTestDir dir;
    EXPECT_EQ(RunTool("scramble missing.xml out.eml"), 1);
    EXPECT_FALSE(fs::exists("out.eml"));
    WriteBytes("a.xml", "<a/>");
    EXPECT_EQ(RunTool("scramble a.xml a.xml"), 2);
    EXPECT_EQ(ReadBytes("a.xml"), "<a/>");
    EXPECT_EQ(RunTool("scramble a.xml"), 2);
    EXPECT_EQ(RunTool("frobnicate"), 2);
    EXPECT_EQ(RunTool("--help"), 0);
}
