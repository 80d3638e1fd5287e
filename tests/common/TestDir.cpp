#include "TestDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

ScopedTestDir::ScopedTestDir()
{
    static std::atomic<unsigned> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    m_path = fs::temp_directory_path() / "tidewell-tests" /
             (name + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(m_path);
    m_previous = fs::current_path();
    fs::current_path(m_path);
}

ScopedTestDir::~ScopedTestDir()
{
    std::error_code ec;
    fs::current_path(m_previous, ec);
    // Read-only files would stop remove_all on Windows.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::end(it); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
