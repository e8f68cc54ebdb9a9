#include "program_files.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

#ifndef GLIMRA_INSTALL_PREFIX
#define GLIMRA_INSTALL_PREFIX ""
#endif

namespace {

// The folder above dir ("/a/b" -> "/a", "/a" -> "", "/" -> "").
std::string parentOf(const std::string& dir)
{
    std::string d = dir;
    while (!d.empty() && d.back() == '/')
        d.pop_back();
    const size_t slash = d.rfind('/');
    return slash == std::string::npos ? std::string() : d.substr(0, slash);
}

std::string withoutTrailingSlashes(std::string s)
{
    while (!s.empty() && s.back() == '/')
        s.pop_back();
    return s;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::vector<ProgramFilesPlace> programFilesPlaces(const std::string& name, const std::string& exeDir,
                                                  const std::string& prefix)
{
    std::vector<ProgramFilesPlace> places;
    // A place that an earlier one already names (an executable in PREFIX/bin) is tried once.
    auto add = [&places](const std::string& path, const char* kind) {
        for (const ProgramFilesPlace& p : places)
            if (p.path == path)
                return;
        places.push_back({path, kind});
    };
    add("../" + name + "/", "working directory");
    if (!exeDir.empty()) {
        // /proc/self/exe has no links or dots left, so the parent is lexical.
        const std::string up = parentOf(exeDir);
        add(up + "/" + name + "/", "build tree");
        add(up + "/share/glimra/" + name + "/", "beside the executable");
    }
    if (!prefix.empty())
        add(withoutTrailingSlashes(prefix) + "/share/glimra/" + name + "/", "install prefix");
    return places;
}

int firstExistingPlace(const std::vector<ProgramFilesPlace>& places,
                       const std::function<bool(const std::string&)>& exists)
{
    for (size_t i = 0; i < places.size(); ++i)
        if (exists(places[i].path))
            return static_cast<int>(i);
    return -1;
}

std::string programFilesReport(const std::string& name, const std::vector<ProgramFilesPlace>& places, int chosen)
{
    if (chosen >= 0 && chosen < static_cast<int>(places.size()))
        return "Program files (" + name + "): " + places[chosen].path + " (" + places[chosen].kind + ").\n";
    std::string tried;
    for (const ProgramFilesPlace& p : places)
        tried += (tried.empty() ? "" : ", ") + p.path;
    return "Program files (" + name + "): none found in " + tried + ".\n";
}

std::string executableDirectory()
{
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0 || exe[0] != '/')
        return std::string();
    exe[n] = '\0';
    const std::string path(exe);
    const size_t slash = path.rfind('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string findProgramFiles(const std::string& name, std::string* report)
{
    const std::vector<ProgramFilesPlace> places =
        programFilesPlaces(name, executableDirectory(), GLIMRA_INSTALL_PREFIX);
    const int chosen = firstExistingPlace(places, isDirectory);
    if (report)
        *report = programFilesReport(name, places, chosen);
    return chosen >= 0 ? places[chosen].path : places[0].path;
}
