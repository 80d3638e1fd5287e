// One small owner per Win32 handle kind, so that no path leaks a handle.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace Base {
namespace Utility {

template <class Traits>
class TUniqueHandle {
public:
    typedef typename Traits::Type Type;

    TUniqueHandle() : m_h(Traits::Invalid()) {}
    explicit TUniqueHandle(Type h) : m_h(h) {}
    ~TUniqueHandle() { Reset(); }
    TUniqueHandle(TUniqueHandle&& o) noexcept : m_h(o.Release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& o) noexcept
    {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;

    Type Get() const { return m_h; }
    bool Valid() const { return m_h != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }
    Type Release()
    {
        Type h = m_h;
        m_h = Traits::Invalid();
        return h;
    }
    void Reset(Type h = Traits::Invalid())
    {
        if (Valid()) Traits::Close(m_h);
        m_h = h;
    }

private:
    Type m_h;
};

struct FileHandleTraits {
    typedef HANDLE Type;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};

// Mappings, events, threads, processes: null when absent.
struct KernelHandleTraits {
    typedef HANDLE Type;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};

struct MapViewTraits {
    typedef const void* Type;
    static const void* Invalid() { return nullptr; }
    static void Close(const void* p) { UnmapViewOfFile(p); }
};

struct ModuleTraits {
    typedef HMODULE Type;
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};

// Directory walks (FindFirstFile).
struct FindHandleTraits {
    typedef HANDLE Type;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};

struct InternetHandleTraits {
    typedef HINTERNET Type;
    static HINTERNET Invalid() { return nullptr; }
    static void Close(HINTERNET h) { InternetCloseHandle(h); }
};

struct RegKeyTraits {
    typedef HKEY Type;
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};

typedef TUniqueHandle<FileHandleTraits> CFileHandle;
typedef TUniqueHandle<RegKeyTraits> CRegKey;
typedef TUniqueHandle<KernelHandleTraits> CKernelHandle;
typedef TUniqueHandle<MapViewTraits> CMapView;
typedef TUniqueHandle<ModuleTraits> CModule;
typedef TUniqueHandle<FindHandleTraits> CFindHandle;
typedef TUniqueHandle<InternetHandleTraits> CInternetHandle;

// What CreateProcess hands back: both handles owned, for Out() to fill.
struct SStartedProcess {
    CKernelHandle process, thread;
    DWORD id = 0;
    PROCESS_INFORMATION info = {};
    PROCESS_INFORMATION* Out() { return &info; }
    // Takes the handles out of info once CreateProcess has filled it.
    void Adopt()
    {
        process.Reset(info.hProcess);
        thread.Reset(info.hThread);
        id = info.dwProcessId;
        info = PROCESS_INFORMATION{};
    }
};

}  // namespace Utility
}  // namespace Base
