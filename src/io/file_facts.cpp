#include "file_facts.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

bool isDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Size of a regular file; false when there is none.
bool fileSize(const std::string& path, uint64_t* size)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    if (!name.empty() && name[0] == '/')
        return name;
    return dir == "/" ? "/" + name : dir + "/" + name;
}

// Bytes of all regular files directly in dir (data split over files named by
// a list or a pattern cannot hold more than their folder).
uint64_t folderBytes(const std::string& dir)
{
    uint64_t total = 0;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return 0;
    while (const dirent* e = readdir(d)) {
        uint64_t size = 0;
        if (fileSize(joinPath(dir, e->d_name), &size))
            total += size;
    }
    closedir(d);
    return total;
}

std::string absolutePath(const std::string& path)
{
    if (path.empty() || path[0] == '/')
        return path;
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer))
        return path;
    return joinPath(buffer, path.compare(0, 2, "./") == 0 ? path.substr(2) : path);
}
