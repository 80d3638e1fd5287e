#include "ExitCodes.h"

#include "Console.h"

namespace {

struct SExitCode {
    EExitCode code;
    const wchar_t* message;
};

const SExitCode kExitCodes[] = {
    {EXIT_OK, L"done"},
    {EXIT_FAILED, L"failed"},
    {EXIT_USAGE, L"bad arguments"},
    {EXIT_BAD_PACKAGE, L"the package is unusable: no zip resource or file list, or a delta that cannot be applied"},
    {EXIT_VERSION_RANGE, L"the package names no versions, or the installed version is outside its range"},
    {EXIT_COPY_ERROR, L"a file could not be copied into the installation"},
    {EXIT_DIGEST_ERROR, L"a file failed its MD5 check"},
    {EXIT_VERSIONS_NOT_SAVED, L"the new versions could not be saved"},
    {EXIT_NO_CONFIG, L"the installation's configuration PatchCfg\\NewUpdateCfg.xml cannot be read"},
    {EXIT_NEEDS_REPAIR, L"the installation needs repair: its journal cannot be trusted; the backups in "
                        L"PatchCfg\\PatchBackup are kept"},
    {EXIT_NO_UPDATE_INFO, L"no update information from any address"},
    {EXIT_NO_SERVER, L"no such patch server, or it has no address for the line"},
    {EXIT_NO_LOCAL_VERSION, L"the installed version is unknown (CurVersion is empty)"},
    {EXIT_DOWNLOAD_FAILED, L"the patch package could not be downloaded"},
    {EXIT_PACKAGE_MISMATCH, L"the package does not match the revision table (its size or MD5)"},
    {EXIT_STOPPED, L"stopped"},
    {EXIT_NO_PROGRESS, L"a step did not change the installed version"},
    {EXIT_REFUSED_NAME, L"a name from the server or a package was refused (path fence)"},
    {EXIT_BOUND_EXCEEDED, L"the server's data exceeds a bound (size, nesting, count, time)"},
    {EXIT_DISK_FULL, L"the disk is full"},
    {EXIT_NO_BASEPACKS, L"PatchCfg\\NewUpdateInfo.xml names no two base packs"},
    {EXIT_BASEPACK_DOWNLOAD, L"a base pack could not be downloaded"},
    {EXIT_BASEPACK_UNZIP, L"a base pack could not be unpacked"},
    {EXIT_UNVERIFIED, L"a signature was missing or refused (TrustedKeys configured): nothing of the file was used"},
    {EXIT_DELTA_BASE, L"an installed file is not the one a delta of the package applies to (a modified or damaged "
                      L"file): nothing installed"},
    {EXIT_BAD_KEYS, L"the trusted keys (TrustedKeys) cannot be read unambiguously: nothing is updated until "
                    L"PatchCfg\\NewUpdateCfg.xml is mended"},
    {EXIT_STALE, L"the update information or a manifest has expired, or is older than one already accepted (a "
                 L"replay): nothing was used"},
    {EXIT_BAD_MANIFEST, L"a manifest does not hold together (two files of one name, chunk lists that do not add up, "
                        L"chunks outside their bundles, cut short)"},
    {EXIT_BAD_CHUNK, L"chunks did not hash to their ids, or bundles were short, on every server: nothing installed"},
    {EXIT_DAMAGED_INSTALLATION, L"files of the installation are missing or damaged (updater repair restores them)"},
    {EXIT_NOT_WRITABLE, L"the installation's folder cannot be written by this user: move the game to a folder you own"},
    {EXIT_FILE_LOCKED, L"a file of the game stayed in use by another program: close it and retry"},
    {EXIT_NO_MANIFEST, L"the chunk store has no manifest of the installed version: it cannot be verified or repaired"},
};

}  // namespace

const wchar_t* ExitMessage(EExitCode code)
{
    for (const SExitCode& e : kExitCodes)
        if (e.code == code) return e.message;
    return L"failed";
}

int ExitWith(EExitCode code, const std::wstring& detail)
{
    const std::wstring message = std::wstring(ExitMessage(code)) + (detail.empty() ? L"" : L": " + detail);
    SetExitMessage(message);
    if (code != EXIT_OK) PrintError(message);
    return code;
}

std::wstring ExitCodeHelp()
{
    std::wstring text = L"exit codes:\n";
    for (const SExitCode& e : kExitCodes) {
        const std::wstring number = std::to_wstring(static_cast<int>(e.code));
        text += L"  " + number + std::wstring(4 - number.size(), L' ') + e.message + L"\n";
    }
    return text;
}
