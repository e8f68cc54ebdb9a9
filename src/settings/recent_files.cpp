#include "recent_files.h"

#include <algorithm>
#include <fstream>

bool RecentFiles::read(const std::string& path)
{
    myFiles.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    // A bounded read: the lines of a damaged or hostile file are taken only
    // up to the longest path, and only until the list is full.
    std::string line;
    char c = 0;
    bool overlong = false;
    auto finish = [&] {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!overlong && !line.empty() && line.size() <= kLongestPath && std::find(myFiles.begin(), myFiles.end(), line) == myFiles.end())
            myFiles.push_back(line);
        line.clear();
        overlong = false;
    };
    while (static_cast<int>(myFiles.size()) < kMost && in.get(c)) {
        if (c == '\n') {
            finish();
        } else if (line.size() <= kLongestPath) {
            line += c;
        } else {
            overlong = true;
        }
    }
    if (static_cast<int>(myFiles.size()) < kMost)
        finish();
    return true;
}

bool RecentFiles::write(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    for (const std::string& f : myFiles)
        out << f << '\n';
    return static_cast<bool>(out.flush());
}

void RecentFiles::add(const std::string& file)
{
    if (file.empty() || file.size() > kLongestPath || file.find('\n') != std::string::npos)
        return;
    myFiles.erase(std::remove(myFiles.begin(), myFiles.end(), file), myFiles.end());
    myFiles.insert(myFiles.begin(), file);
    if (static_cast<int>(myFiles.size()) > kMost)
        myFiles.resize(kMost);
}
