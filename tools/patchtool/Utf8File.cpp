#include "Utf8File.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "base/utility/WinHandle.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32
namespace {

// "D:P(A;;FA;;;SID)": full access for the running user, nothing inherited.
std::wstring OwnerOnlyDescriptor()
{
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return L"";
    const Base::Utility::CKernelHandle token(opened);
    unsigned char buffer[256];
    DWORD size = 0;
    std::wstring sddl;
    if (GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size)) {
        wchar_t* sid = nullptr;
        if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
            sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
            LocalFree(sid);
        }
    }
    return sddl;
}

}  // namespace

bool WriteOwnerOnlyFile(const std::string& path, const std::string& bytes, std::string* error)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
    const std::wstring sddl = OwnerOnlyDescriptor();
    if (sddl.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                             &sa.lpSecurityDescriptor, nullptr)) {
        *error = "cannot make an access list for " + path;
        return false;
    }
    const std::wstring wide = std::filesystem::u8path(path).wstring();
    const Base::Utility::CFileHandle file(
        CreateFileW(wide.c_str(), GENERIC_WRITE, 0, &sa, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    LocalFree(sa.lpSecurityDescriptor);
    DWORD written = 0;
    const bool ok = file.Valid() &&
                    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    if (!ok) *error = "cannot write " + path;
    return ok;
}

bool ReadableByOthers(const std::string& path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const std::wstring wide = std::filesystem::u8path(path).wstring();
    if (GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS)
        return false;
    bool others = dacl == nullptr;  // no access list: everyone may
    for (DWORD i = 0; dacl && i < dacl->AceCount && !others; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (!(allowed->Mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL))) continue;
        PSID sid = &allowed->SidStart;
        for (WELL_KNOWN_SID_TYPE broad : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid}) {
            unsigned char buffer[SECURITY_MAX_SID_SIZE];
            DWORD size = sizeof buffer;
            if (CreateWellKnownSid(broad, nullptr, buffer, &size) && EqualSid(sid, buffer)) others = true;
        }
    }
    LocalFree(sd);
    return others;
}
#else
bool WriteOwnerOnlyFile(const std::string& path, const std::string& bytes, std::string* error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    bool ok = fd >= 0 && ::fchmod(fd, 0600) == 0;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    if (fd >= 0) ok = ::close(fd) == 0 && ok;
    if (!ok) *error = "cannot write " + path;
    return ok;
}

bool ReadableByOthers(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}
#endif
