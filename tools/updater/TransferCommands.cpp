// download, unzip and md5: the transfer steps of the engine, one at a time.
#include <cstdio>
#include <cwchar>

#include "Commands.h"
#include "Console.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"
#include "transfer/Directories.h"
#include "transfer/DownloadRetry.h"
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
    Args positional;
    std::wstring proxyText;
    bool ok = true;
    for (size_t i = 0; ok && i < args.size(); ++i) {
        if (args[i] == L"--proxy" && i + 1 < args.size())
            proxyText = args[++i];
        else if (args[i].rfind(L"--", 0) == 0)
            ok = ParseTransferOption(args, &i, &stallMs, &rateKiB);
        else
            positional.push_back(args[i]);
    }
    if (!ok || positional.size() != 2)
        return ExitWith(EXIT_USAGE,
                        L"updater download URL FILE [--stall-timeout S] [--limit-rate KIB] [--proxy system|direct|URL]");
    SProxy proxy;
    std::wstring why;
    if (!ParseProxy(proxyText, &proxy, &why)) return ExitWith(EXIT_USAGE, why);
    const std::wstring& url = positional[0];
    const std::wstring& file = positional[1];
    CINetDownLoad downloader;
    downloader.SetProxy(proxy);
    if (!downloader.Init()) return ExitWith(EXIT_FAILED, L"cannot open an internet session");
    downloader.SetStallRule(stallMs, CINetDownLoad::kDefaultStallBytes);
    downloader.SetRateLimit(rateKiB * 1024);
    if (StdoutIsTerminal()) downloader.SetProgressCallback(&ShowTransfer);
    std::uint32_t size = 0;
    // Download answers with the downloader's codes as a plain number.
    const EDownloadResult result = RetryDownload(
        SRetryPolicy(), [&] { return static_cast<EDownloadResult>(downloader.Download(url.c_str(), file.c_str(), &size)); },
        [&] { return downloader.LastStatus(); });
    EndProgress();
    const DWORD status = downloader.LastStatus();
    switch (result) {
    case DOWNLOAD_OK: PrintLine(L"downloaded " + std::to_wstring(size) + L" bytes to " + file); return EXIT_OK;
    case DOWNLOAD_NO_DIRECTORY: return ExitWith(EXIT_FAILED, L"cannot create the directory of " + file);
    case DOWNLOAD_NO_FILE: return ExitWith(EXIT_FAILED, L"cannot write " + file);
    case DOWNLOAD_DISK_FULL: return ExitWith(EXIT_DISK_FULL, file + L" cannot be stored");
    case DOWNLOAD_TOO_LARGE:
        return ExitWith(EXIT_BOUND_EXCEEDED, L"the server sent more than the body's stated size or the cap");
    case DOWNLOAD_STALLED:
    case DOWNLOAD_TOO_SLOW:
        return ExitWith(EXIT_FAILED, std::wstring(result == DOWNLOAD_STALLED
                                                      ? L"the transfer stalled: too few bytes within " +
                                                            std::to_wstring(stallMs / 1000) + L" s"
                                                      : L"the transfer was slower than the minimum rate") +
                                         L"; what arrived is kept and the next download of it goes on from there");
    default:
        return ExitWith(EXIT_FAILED, L"download of " + url + L" failed: " +
                                         (status == 0 ? std::wstring(L"no connection")
                                          : status == 407
                                              ? std::wstring(L"the proxy asks for a sign-in (HTTP 407): its user or "
                                                             L"password is missing or wrong")
                                          : status != 200 && status != 206
                                              ? L"HTTP status " + std::to_wstring(status)
                                              : std::wstring(L"the body never came whole")) +
                                         L" (4 attempts)");
    }
}

int RunUnzip(const Args& args)
{
    if (args.size() != 2) return ExitWith(EXIT_USAGE, L"updater unzip ZIP DIR");
    std::wstring dir = Base::Utility::WithBackslashes(args[1]);
    if (dir.empty() || dir.back() != L'\\') dir.push_back(L'\\');
    // Created with the case given; the engine lower-cases what it adds below.
    MakeDirectories(dir);

    CUpdateEngine engine;
    engine.SetLogEcho(&EchoErrors);
    engine.SetSingleProgressCallback(&PrintFraction);
    if (!engine.UnZipFile(args[0], dir, true, 0.0f, 1.0f)) return ExitWith(EXIT_FAILED, L"unzip of " + args[0]);
    EndProgress();
    return EXIT_OK;
}

int RunMd5(const Args& args)
{
    if (args.size() != 1) return ExitWith(EXIT_USAGE, L"updater md5 FILE");
    const unsigned char* digest = MD5File(args[0].c_str());
    if (digest == nullptr) return ExitWith(EXIT_FAILED, L"cannot read " + args[0]);
    std::printf("%s  %s\n", MD5ToHex(digest), Base::Utility::WideToUtf8(args[0]).c_str());
    return EXIT_OK;
}
