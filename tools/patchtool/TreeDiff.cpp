#include "TreeDiff.h"

#include <filesystem>
#include <fstream>
#include <map>

#include "transfer/Md5.h"

namespace fs = std::filesystem;

namespace {

bool ListTree(const std::string& dir, std::map<std::string, fs::path>* files, std::string* error,
              STreeLeftovers* leftovers = nullptr)
{
    std::error_code ec;
    const fs::path root = fs::u8path(dir);
    if (!fs::is_directory(root, ec)) {
        *error = "not a directory: " + dir;
        return false;
    }
    std::map<std::string, bool> dirs;  // folder -> holds a file somewhere below
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it); it.increment(ec)) {
        const std::string rel = it->path().lexically_relative(root).generic_u8string();
        if (it->is_symlink(ec)) {
            if (leftovers) leftovers->links.push_back(rel);
            continue;
        }
        if (it->is_directory(ec)) {
            dirs.emplace(rel, false);
            continue;
        }
        if (!it->is_regular_file(ec)) continue;
        (*files)[rel] = it->path();
        for (size_t at = rel.find('/'); at != std::string::npos; at = rel.find('/', at + 1)) dirs[rel.substr(0, at)] = true;
    }
    if (ec) {
        *error = "cannot read " + dir + ": " + ec.message();
        return false;
    }
    if (leftovers)
        for (const auto& d : dirs)
            if (!d.second) leftovers->emptyDirs.push_back(d.first);
    return true;
}

bool SameContent(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    if (fs::file_size(a, ec) != fs::file_size(b, ec)) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 16), bb(1 << 16);
    while (fa && fb) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() || !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin()))
            return false;
    }
    return fa.eof() && fb.eof();
}

}  // namespace

std::string Md5OfFile(const std::string& path, std::uint64_t* size)
{
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in) return std::string();
    CMd5 md5;
    std::vector<char> buf(1 << 20);
    std::uint64_t total = 0;
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        md5.Update(buf.data(), static_cast<std::size_t>(in.gcount()));
        total += static_cast<std::uint64_t>(in.gcount());
    }
    if (!in.eof()) return std::string();
    unsigned char digest[16];
    md5.Final(digest);
    if (size) *size = total;
    return Md5Hex(digest);
}

bool DiffTrees(const std::string& oldDir, const std::string& newDir, std::vector<STreeChange>* changes,
               std::string* error, std::vector<std::string>* newList, STreeLeftovers* leftovers)
{
    std::map<std::string, fs::path> oldFiles, newFiles;
    if (!oldDir.empty() && !ListTree(oldDir, &oldFiles, error)) return false;
    if (!ListTree(newDir, &newFiles, error, leftovers)) return false;
    if (newList)
        for (const auto& f : newFiles) newList->push_back(f.first);
    changes->clear();
    for (const auto& f : newFiles) {
        auto old = oldFiles.find(f.first);
        if (old != oldFiles.end() && SameContent(old->second, f.second)) continue;
        STreeChange c;
        c.add = true;
        c.path = f.first;
        c.md5 = Md5OfFile(f.second.u8string(), &c.size);
        if (c.md5.empty()) {
            *error = "cannot read " + f.second.u8string();
            return false;
        }
        changes->push_back(c);
    }
    for (const auto& f : oldFiles) {
        if (newFiles.count(f.first)) continue;
        STreeChange c;
        c.path = f.first;
        changes->push_back(c);
    }
    return true;
}
