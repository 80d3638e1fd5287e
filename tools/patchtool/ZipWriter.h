// Writing zip archives for packages and update information.
#pragma once

#include <string>

class CZipWriter {
public:
    ~CZipWriter();
    bool Create(const std::string& path);
    // Adds a file from disk, or bytes, under the '/'-separated name; stored:
    // as it is (bytes compressed already gain nothing from deflate).
    bool AddFile(const std::string& name, const std::string& sourcePath, bool stored = false);
    bool AddBytes(const std::string& name, const std::string& bytes);
    bool Close();
    const std::string& Error() const { return m_error; }

private:
    void* m_zip = nullptr;
    std::string m_error;
};
