// Files and folders: kinds, sizes and path pieces, without opening anything.
#ifndef GLIMRA_FILE_FACTS_H
#define GLIMRA_FILE_FACTS_H

#include <cstdint>
#include <string>

bool isDirectory(const std::string& path);
// Size of a regular file; false when there is none.
bool fileSize(const std::string& path, uint64_t* size);
// The folder part of a path ("." when there is none).
std::string directoryOf(const std::string& path);
// name inside dir, or name itself when it is absolute.
std::string joinPath(const std::string& dir, const std::string& name);
// Bytes of all regular files directly in dir.
uint64_t folderBytes(const std::string& dir);

// path made absolute against the working directory (no links resolved);
// path itself when it is absolute or the directory cannot be found.
std::string absolutePath(const std::string& path);

#endif
