// MD5 digests of files, in lower-case hexadecimal.
#pragma once

#include <cstdint>
#include <string>

// Digest of the whole file in one static buffer (overwritten by the next
// call), or null when the file cannot be opened or mapped.
const unsigned char* MD5File(const wchar_t* path);
const unsigned char* MD5File(const char* path);

// 32 lower-case hex digits in one static buffer; "" for a null digest.
const char* MD5ToHex(const unsigned char* digest);

// The same without static buffers; the file is mapped window by window.
bool ComputeFileMd5(const wchar_t* path, unsigned char digest[16],
                    std::uint64_t windowBytes = 64ull << 20);
std::string FileMd5Hex(const std::wstring& path);  // "" when unreadable
