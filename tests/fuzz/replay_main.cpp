// Runs a fuzz target over files without libFuzzer: every file named on the
// command line, and every file inside a named folder, once each. A fault
// aborts as it would under the fuzzer; the sanitizer build reports it.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool readAll(const std::string& path, std::vector<uint8_t>* bytes)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes->clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes->insert(bytes->end(), buf, buf + n);
    std::fclose(f);
    return true;
}

// The files to run: a plain file itself, a folder's regular files in name order.
void collect(const std::string& path, std::vector<std::string>* files)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        files->push_back(path);
        return;
    }
    DIR* d = ::opendir(path.c_str());
    if (!d)
        return;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(d)) {
        const std::string full = path + "/" + e->d_name;
        if (::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(full);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    files->insert(files->end(), names.begin(), names.end());
}

} // namespace

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i)
        collect(argv[i], &files);
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s FILE|FOLDER... (no input files found)\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> bytes;
    for (const std::string& f : files) {
        if (!readAll(f, &bytes)) {
            std::fprintf(stderr, "cannot read %s\n", f.c_str());
            return 2;
        }
        std::fprintf(stderr, "replay %s (%zu bytes)\n", f.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
