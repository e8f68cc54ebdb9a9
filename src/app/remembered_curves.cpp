// The note beside the remembered palette, one "Key:<TAB>value" line each,
// CR LF (LF read too):
//   Data:      the data file's absolute path
//   Size:      its size in bytes
//   Modified:  its modification time, seconds since 1970
//   Kinds:     the four curves' kinds, red green blue alpha (0 linear,
//              1 Bezier, 2 free-hand)
//   Painted c: for each free-hand curve c (0 ... 3), its table, one value
//              0 ... 255 per entry
#include "remembered_curves.h"

#include "curve.h"
#include "error_handling.h"
#include "file_facts.h"
#include "transfer_function.h"
#include "volume_file.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <locale>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace {

// A note longer than this is not one of ours.
const std::streamsize kLongestNote = 4 << 20;

// What the note holds.
struct Note
{
    DataStamp stamp;                        // the data file the curves belong to
    int kinds[4] = {-1, -1, -1, -1};        // CurveKind of each curve
    std::vector<unsigned char> painted[4];  // tables of the free-hand curves
};

// The whole file at path, at most kLongestNote bytes; false when it cannot
// be read or is longer.
bool readSmallFile(const std::string& path, std::string* text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::vector<char> buffer(static_cast<size_t>(kLongestNote) + 1);
    in.read(buffer.data(), kLongestNote + 1);
    const std::streamsize got = in.gcount();
    if (got > kLongestNote)
        return false;
    text->assign(buffer.data(), static_cast<size_t>(got));
    return true;
}

// A whole number from the text of a line; false when the text is anything else.
template <typename T>
bool wholeNumber(const std::string& text, T* value)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> *value;
    return !in.fail() && (in >> std::ws).eof();
}

// "Painted c" values into table; false for values beyond 0 ... 255 or text.
bool paintedValues(const std::string& text, std::vector<unsigned char>* table)
{
    std::istringstream in(text);
    int v = 0;
    while (in >> v) {
        if (v < 0 || v > 255)
            return false;
        table->push_back(static_cast<unsigned char>(v));
    }
    return in.eof();
}

// One "key:<TAB>value" line into note; false when it is damaged.
bool takeLine(const std::string& key, const std::string& value, Note* note)
{
    if (key == "Data")
        note->stamp.path = value;
    else if (key == "Size")
        return wholeNumber(value, &note->stamp.size);
    else if (key == "Modified")
        return wholeNumber(value, &note->stamp.modified);
    else if (key == "Kinds") {
        std::istringstream in(value);
        for (int& k : note->kinds)
            if (!(in >> k) || k < CURVE_LINEAR || k > CURVE_FREE)
                return false;
    } else if (key.size() == 9 && key.compare(0, 8, "Painted ") == 0 && key[8] >= '0' && key[8] <= '3')
        return paintedValues(value, &note->painted[key[8] - '0']);
    // Keys of later versions are passed over.
    return true;
}

// The note at path; false when it cannot be read or a line is damaged.
bool readNote(const std::string& path, Note* note)
{
    std::string text;
    if (!readSmallFile(path, &text))
        return false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const size_t colon = line.find(":\t");
        if (colon == std::string::npos || !takeLine(line.substr(0, colon), line.substr(colon + 2), note))
            return false;
    }
    return !note->stamp.path.empty() && note->kinds[3] >= 0;
}

// The note fits tf: every free-hand curve has a whole table of its size.
bool noteFits(const Note& note, const TransferFunction& tf)
{
    for (int c = 0; c < 4; ++c)
        if (note.kinds[c] == CURVE_FREE && note.painted[c].size() != static_cast<size_t>(tf.getTableSize()))
            return false;
    return true;
}

} // namespace

bool stampData(const std::string& path, DataStamp* stamp)
{
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0)
        return false;
    stamp->path = absolutePath(path);
    stamp->size = static_cast<uint64_t>(st.st_size);
    stamp->modified = static_cast<int64_t>(st.st_mtime);
    return stamp->path.find_first_of("\r\n") == std::string::npos;
}

RememberedCurves::RememberedCurves(const std::string& palettePath, const std::string& notePath)
    : myPalettePath(palettePath), myNotePath(notePath)
{
}

bool RememberedCurves::write(const TransferFunction& tf, const std::string& dataPath) const
{
    DataStamp stamp;
    if (myPalettePath.empty() || myNotePath.empty() || !stampData(dataPath, &stamp))
        return false;
    std::ostringstream note;
    // Digits without grouping, whatever locale the toolkit set.
    note.imbue(std::locale::classic());
    note << "Data:\t" << stamp.path << "\r\nSize:\t" << stamp.size << "\r\nModified:\t" << stamp.modified
         << "\r\nKinds:\t";
    for (int c = 0; c < 4; ++c)
        note << tf.curve(c).getKind() << (c < 3 ? " " : "\r\n");
    for (int c = 0; c < 4; ++c) {
        const Curve& curve = tf.curve(c);
        if (curve.getKind() != CURVE_FREE)
            continue;
        note << "Painted " << c << ":\t";
        for (int i = 0; i < curve.getSize(); ++i)
            note << (i ? " " : "") << static_cast<int>(curve.table()[i]);
        note << "\r\n";
    }
    // The old note goes first and the new one comes last, so that a note is
    // only ever beside the curves it describes.
    std::remove(myNotePath.c_str());
    if (!tf.writeFile(myPalettePath))
        return false;
    std::ofstream out(myNotePath, std::ios::binary | std::ios::trunc);
    return out && (out << note.str()).flush();
}

bool RememberedCurves::read(TransferFunction& tf, const std::string& dataPath) const
{
    Note note;
    DataStamp now;
    if (myPalettePath.empty() || myNotePath.empty() || !readNote(myNotePath, &note) ||
        !stampData(dataPath, &now) || !(now == note.stamp) || !noteFits(note, tf))
        return false;
    // Palettes the user reads count as the user's; these are the program's own.
    const bool userCurves = tf.userCurves();
    if (!tf.readFile(myPalettePath)) {
        tf.setUserCurves(userCurves);
        return false;
    }
    tf.setUserCurves(false);
    for (int c = 0; c < 4; ++c)
        tf.curve(c).setKind(note.kinds[c]);
    tf.refreshCurves();
    for (int c = 0; c < 4; ++c)
        if (note.kinds[c] == CURVE_FREE)
            std::copy(note.painted[c].begin(), note.painted[c].end(), tf.curve(c).table());
    const std::string line = "The transfer function of the last run with \"" + baseName(dataPath) + "\" is back.\n";
    logBoth(__FILE__, __LINE__, line.c_str());
    return true;
}
