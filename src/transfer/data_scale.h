// What the transfer function's table entries mean in the data's own values:
// the load's conversion (signed to unsigned, stretched to the type's range,
// 12-bit data widened) run backwards, and the unit where the file names one
// (Hounsfield units for CT). The editor's axis and the presets in Hounsfield
// units read it.
#ifndef GLIMRA_DATA_SCALE_H
#define GLIMRA_DATA_SCALE_H

#include "voxel_types.h"

#include <string>

struct DataScale
{
    double offset = 0.0;    // data value of table entry 0
    double step = 1.0;      // data values per table entry
    int tableSize = 256;    // entries of the table it was made for
    std::string unit;       // "HU" for Hounsfield units, "" for the file's plain values
    bool scaled = false;    // the values are not the table index itself

    // The data value at the start of table entry e.
    double value(double e) const { return offset + step * e; }
    // The table entry holding data value v (not clamped).
    double entry(double v) const { return (v - offset) / step; }
    // The entry whose value is nearest to v, kept in the table (what a
    // typed v lands on).
    int entryOf(double v) const;
    bool hounsfield() const { return unit == "HU"; }
    // A value as the axis and the boxes show it: whole numbers as such,
    // others with as many decimals as one entry needs.
    std::string format(double v) const;
    // A typed value in data units back to its table entry; false when the
    // text is no number.
    bool parse(const std::string& text, int* entry) const;
};

// The scale of data read as type (before conversion) whose values went from
// low to high, in a table of tableSize entries; info is the load's
// information text, which names Hounsfield units (a CT modality, the zvf
// type of Hounsfield units, or a comment saying "Hounsfield units + N" for
// values stored with an offset N).
DataScale dataScaleOf(VoxelType type, double low, double high, int tableSize, const std::string& info);

// The scale of the last data load; the table index until one.
extern DataScale dataScale;

#endif
