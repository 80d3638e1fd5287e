// patchtool keygen, sign and publish --sign against the real minisign, both ways.
#include <gtest/gtest.h>

#include <fstream>

#include "ToolTestUtil.h"
#include "transfer/Minisign.h"

namespace {

std::string SecondLine(const fs::path& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    return line;
}

// What the launcher decides about file and its .minisig with this public key.
EMinisigResult LauncherVerdict(const fs::path& file, const fs::path& pub)
{
    SMinisignKey key;
    if (!ParseMinisignPublicKey(SecondLine(pub), &key)) return MINISIG_UNKNOWN_KEY;
    const std::string bytes = ReadBytes(file.string() + ".minisig"), data = ReadBytes(file);
    SMinisig sig;
    EMinisigResult r = ReadMinisig(bytes.data(), bytes.size(), &sig);
    if (r != MINISIG_OK) return r;
    unsigned char digest[kMinisignDigestBytes];
    CBlake2bStream hash;
    hash.Update(data.data(), data.size());
    hash.Final(digest);
    r = VerifyMinisig(sig, {key}, digest);
    std::uint64_t t = 0;
    return r == MINISIG_OK ? CheckTrustedComment(sig.trustedComment, file.filename().string(), true, 1, &t) : r;
}

}  // namespace

TEST(SignTool, PatchtoolAndMinisignReadEachOthersKeysAndSignatures)
{
    ScopedTestDir dir;
    WriteBytes("data.bin", std::string(3 << 20, 'd') + "end");
    ASSERT_EQ(Tool("keygen -o ours"), 0);
    EXPECT_NE(Tool("keygen -o ours"), 0) << "a key is never overwritten";
    ASSERT_EQ(Tool("sign --key ours.key --timestamp 1700000000 data.bin"), 0);
    EXPECT_EQ(Shell("minisign -Vm data.bin -p ours.pub"), 0) << "minisign verifies ours";
    EXPECT_EQ(LauncherVerdict("data.bin", "ours.pub"), MINISIG_OK);
    SMinisig sig;
    const std::string bytes = ReadBytes("data.bin.minisig");
    ASSERT_EQ(ReadMinisig(bytes.data(), bytes.size(), &sig), MINISIG_OK);
    EXPECT_EQ(sig.trustedComment, "timestamp:1700000000\tfile:data.bin");

    // minisign signs with our key, and with its own whose signatures we verify.
    WriteBytes("other.bin", "other");
    EXPECT_EQ(Shell("minisign -S -s ours.key -m other.bin"), 0);
    EXPECT_EQ(LauncherVerdict("other.bin", "ours.pub"), MINISIG_OK);
    ASSERT_EQ(Shell("minisign -G -W -p theirs.pub -s theirs.key"), 0);
    ASSERT_EQ(Shell("minisign -S -s theirs.key -m data.bin"), 0);
    EXPECT_EQ(LauncherVerdict("data.bin", "theirs.pub"), MINISIG_OK);
    EXPECT_EQ(LauncherVerdict("data.bin", "ours.pub"), MINISIG_UNKNOWN_KEY);
    ASSERT_EQ(Tool("sign --key theirs.key data.bin"), 0) << "we sign with minisign's unencrypted key";
    EXPECT_EQ(Shell("minisign -Vm data.bin -p theirs.pub"), 0);
    // minisign's legacy signature of the whole file is refused.
    ASSERT_EQ(Shell("minisign -S -l -s theirs.key -m data.bin"), 0);
    EXPECT_EQ(LauncherVerdict("data.bin", "theirs.pub"), MINISIG_LEGACY);

    WriteBytes("damaged.key", ReadBytes("ours.key").replace(200, 4, "AAAA"));
    EXPECT_EQ(Tool("sign --key damaged.key data.bin"), 4);
    EXPECT_EQ(Tool("sign --key ours.pub data.bin"), 4);
    EXPECT_EQ(Tool("sign --key ours.key missing.bin"), 1);
    EXPECT_EQ(Tool("sign --key ours.key --timestamp soon data.bin"), 2);
}

TEST(SignTool, PublishSignsTheArchiveAndEveryPackage)
{
    ScopedTestDir dir;
    WriteBytes("v1/a.txt", "one");
    WriteBytes("v2/a.txt", "two");
    ASSERT_EQ(Tool("pack --old v1 --new v2 --from 0000100 --to 0000200 -o Up1.exe"), 0);
    WriteBytes("publish.txt", "latest 0000200\nserver url=http://127.0.0.1:9/ dir=Patches/ version=0000200\n"
                              "step 0000100 0000200 upgrade=Up1.exe\n");
    ASSERT_EQ(Tool("keygen -o k"), 0);
    EXPECT_EQ(Tool("publish publish.txt -o bad --sign missing.key"), 4);
    EXPECT_FALSE(fs::exists("bad/newupdateinfo.zip")) << "a bad key publishes nothing";
    ASSERT_EQ(Tool("publish publish.txt -o www --sign k.key"), 0);
    for (const char* file : {"www/newupdateinfo.zip", "www/patches/up1.exe"}) {
        EXPECT_EQ(Shell(std::string("minisign -Vm ") + file + " -p k.pub"), 0) << file;
        EXPECT_EQ(LauncherVerdict(file, "k.pub"), MINISIG_OK) << file;
    }
}
