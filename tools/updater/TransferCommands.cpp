// download, unzip and md5: the transfer steps of the engine, one at a time.
#include <cstdio>
#include <cwchar>

#include "Commands.h"
#include "Console.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"
#include "transfer/Directories.h"
#include "transfer/INetDownLoad.h"
#include "transfer/Md5File.h"
#include "update/UpdateEngine.h"

namespace {

std::wstring Mebibytes(double bytes)
{
    wchar_t text[32];
    _snwprintf(text, 31, L"%.1f MiB", bytes / 1048576.0);
    text[31] = 0;
    return text;
}

void ShowTransfer(std::uint32_t total, std::uint32_t received, std::uint32_t speed)
{
    std::wstring line = Mebibytes(received);
    if (total > 0) line += L" / " + Mebibytes(total);
    line += L"  " + Mebibytes(speed) + L"/s";
    PrintProgress(line);
}

void EchoErrors(const wchar_t* text)
{
    const std::wstring line = WithoutLineEnd(text);
    if (line.rfind(L"Error", 0) == 0) PrintError(line);
}

}  // namespace

bool ParseTransferOption(const Args& args, size_t* i, DWORD* stallMs, std::uint32_t* rateKiB)
{
    if (*i + 1 >= args.size()) return false;
    const std::wstring& value = args[*i + 1];
    wchar_t* end = nullptr;
    const unsigned long n = std::wcstoul(value.c_str(), &end, 10);
    if (value.empty() || value[0] < L'0' || value[0] > L'9' || *end != 0 || n == 0) return false;
    if (args[*i] == L"--stall-timeout" && n <= 3600)
        *stallMs = static_cast<DWORD>(n * 1000);
    else if (args[*i] == L"--limit-rate" && n < (1ul << 22))
        *rateKiB = static_cast<std::uint32_t>(n);
    else
        return false;
    ++*i;
    return true;
}

int RunDownload(const Args& args)
{
    DWORD stallMs = CINetDownLoad::kDefaultStallMs;
    std::uint32_t rateKiB = 0;
    bool ok = args.size() >= 2;
    for (size_t i = 2; ok && i < args.size(); ++i) ok = ParseTransferOption(args, &i, &stallMs, &rateKiB);
    if (!ok) {
        PrintError(L"usage: updater download URL FILE [--stall-timeout S] [--limit-rate KIB]");
        return 2;
    }
    CINetDownLoad downloader;
    if (!downloader.Init()) {
        PrintError(L"cannot open an internet session");
        return 1;
    }
    downloader.SetStallRule(stallMs, CINetDownLoad::kDefaultStallBytes);
    downloader.SetRateLimit(rateKiB * 1024);
    if (StdoutIsTerminal()) downloader.SetProgressCallback(&ShowTransfer);
    std::uint32_t size = 0;
    const int result = downloader.Download(args[0].c_str(), args[1].c_str(), &size);
    EndProgress();
    switch (result) {
    case DOWNLOAD_OK:
        PrintLine(L"downloaded " + std::to_wstring(size) + L" bytes to " + args[1]);
        return 0;
    case DOWNLOAD_NO_DIRECTORY:
        PrintError(L"cannot create the directory of " + args[1]);
        return 1;
    case DOWNLOAD_NO_FILE:
        PrintError(L"cannot write " + args[1]);
        return 1;
    case DOWNLOAD_DISK_FULL:
        PrintError(L"the disk is full: " + args[1] + L" cannot be stored");
        return EXIT_DISK_FULL;
    case DOWNLOAD_TOO_LARGE:
        PrintError(L"the server sent more than the body's stated size or the cap");
        return EXIT_BOUND_EXCEEDED;
    case DOWNLOAD_STALLED:
        PrintError(L"the transfer stalled: too few bytes within " + std::to_wstring(stallMs / 1000) +
                   L" s; what arrived is kept and the next download of it goes on from there");
        return 1;
    default:
        PrintError(L"download of " + args[0] +
                   L" failed: no connection, an HTTP status other than 200/206, or an incomplete body");
        return 1;
    }
}

int RunUnzip(const Args& args)
{
    if (args.size() != 2) {
        PrintError(L"usage: updater unzip ZIP DIR");
        return 2;
    }
    std::wstring dir = Base::Utility::WithBackslashes(args[1]);
    if (dir.empty() || dir.back() != L'\\') dir.push_back(L'\\');
    // Created with the case given; the engine lower-cases what it adds below.
    MakeDirectories(dir);

    CUpdateEngine engine;
    engine.m_FileLogEcho = &EchoErrors;
    if (StdoutIsTerminal()) engine.SetSingleProgressCallback(&PrintFraction);
    if (!engine.UnZipFile(args[0], dir, true, 0.0f, 1.0f)) {
        PrintError(L"unzip of " + args[0] + L" failed");
        return 1;
    }
    EndProgress();
    return 0;
}

int RunMd5(const Args& args)
{
    if (args.size() != 1) {
        PrintError(L"usage: updater md5 FILE");
        return 2;
    }
    const unsigned char* digest = MD5File(args[0].c_str());
    if (digest == nullptr) {
        PrintError(L"cannot read " + args[0]);
        return 1;
    }
    std::printf("%s  %s\n", MD5ToHex(digest), Base::Utility::WideToUtf8(args[0]).c_str());
    return 0;
}
