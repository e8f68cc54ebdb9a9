// The transfer function kept from one run to the next. At exit the curves go
// to a palette file beside "glimra.ini", and a note beside it says which data
// file they were drawn for (its absolute path, size and modification time)
// and what the curves were (their kinds, and the tables of free-hand
// curves, which a palette file cannot hold). A later load of that same,
// unchanged file reads them back instead of fitting a first guess; any other
// file leaves them alone.
#ifndef GLIMRA_REMEMBERED_CURVES_H
#define GLIMRA_REMEMBERED_CURVES_H

#include <cstdint>
#include <string>

class TransferFunction;

// What tells one data file from another: its absolute path, size and
// modification time (a file or a folder).
struct DataStamp
{
    std::string path;     // absolute, links not resolved
    uint64_t size = 0;    // bytes (a folder's own entry size)
    int64_t modified = 0; // seconds since 1970

    bool operator==(const DataStamp& o) const { return path == o.path && size == o.size && modified == o.modified; }
};

// The stamp of the file or folder at path; false when there is none, or its
// absolute path holds a line end.
bool stampData(const std::string& path, DataStamp* stamp);

class RememberedCurves
{
public:
    // Kept in the palette file palettePath and the note notePath; with an
    // empty path nothing is kept.
    RememberedCurves(const std::string& palettePath = "", const std::string& notePath = "");

    // tf's curves for the data at dataPath into both files; false when
    // nothing is kept, the data file is not there or a file cannot be
    // written.
    bool write(const TransferFunction& tf, const std::string& dataPath) const;
    // When the note names the data at dataPath as they are now and the
    // palette can be read: tf's curves from the palette file with their
    // kinds and painted tables, refreshed, not counted as a palette the
    // user read; the caller builds and uploads. False, tf unchanged,
    // otherwise.
    bool read(TransferFunction& tf, const std::string& dataPath) const;

    const std::string& palettePath() const { return myPalettePath; }
    const std::string& notePath() const { return myNotePath; }

private:
    std::string myPalettePath; // the curves, a palette file ("" none)
    std::string myNotePath;    // the data file's stamp and the curves' kinds
};

#endif
