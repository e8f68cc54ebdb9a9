// Where the program's own files are: the program folder Cg/ that ships with
// glimra (and any other folder it ships beside it).
#ifndef GLIMRA_PROGRAM_FILES_H
#define GLIMRA_PROGRAM_FILES_H

#include <functional>
#include <string>
#include <vector>

// One place a shipped folder may be, and what kind of place it is.
struct ProgramFilesPlace
{
    std::string path; // ends with '/'
    std::string kind; // "working directory", "build tree", "beside the executable", "install prefix"
};

// The places of the folder NAME, in the order they are tried:
//   "../NAME/" of the working directory, exactly so (as the program always ran);
//   EXE/../NAME/, the build tree's executable beside the sources;
//   EXE/../share/glimra/NAME/, an installed or unpacked package wherever it lies;
//   PREFIX/share/glimra/NAME/, the prefix the program was built for.
// exeDir is the executable's folder ("/" for the root); an empty exeDir or
// prefix leaves its places out.
std::vector<ProgramFilesPlace> programFilesPlaces(const std::string& name, const std::string& exeDir,
                                                  const std::string& prefix);

// The first place whose folder exists (by exists(path)), or -1.
int firstExistingPlace(const std::vector<ProgramFilesPlace>& places,
                       const std::function<bool(const std::string&)>& exists);

// What was found, for the log: one line ending in '\n'.
std::string programFilesReport(const std::string& name, const std::vector<ProgramFilesPlace>& places, int chosen);

// The folder of the running executable (/proc/self/exe), "" when unknown.
std::string executableDirectory();

// The folder NAME on this machine: the first existing place, else "../NAME/"
// (what the program tried before, so its reports stay the same). *report,
// when given, gets the log line.
std::string findProgramFiles(const std::string& name, std::string* report = nullptr);

#endif
