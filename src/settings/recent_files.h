// The files opened last, newest first: File > "Open Recent" in the window,
// kept in a text file beside "glimra.ini", one path a line.
#ifndef GLIMRA_RECENT_FILES_H
#define GLIMRA_RECENT_FILES_H

#include <string>
#include <vector>

class RecentFiles
{
public:
    static const int kMost = 8;            // files kept
    static const size_t kLongestPath = 4096; // longer lines of the file are skipped

    // The list of the file at path (at most kMost paths, empty lines and
    // overlong ones skipped, each path once); false when it cannot be read,
    // and the list is then empty.
    bool read(const std::string& path);
    // The list to path, one path and a line feed each; false when that fails.
    bool write(const std::string& path) const;
    // file becomes the newest (moved up when it is there already); the oldest
    // beyond kMost goes. Empty paths and overlong ones are not kept.
    void add(const std::string& file);
    // Newest first.
    const std::vector<std::string>& files() const { return myFiles; }

private:
    std::vector<std::string> myFiles; // newest first, at most kMost
};

#endif
