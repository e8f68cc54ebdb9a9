// Transfer-function presets: palette files in the program's "presets"
// folder (shipped with it; a user's own palette files put there appear as
// well). A file whose name ends in ".hu.pal" holds its points in Hounsfield
// units, x 0 ... 1 standing for -1024 ... 3071 HU, and suits only data in
// Hounsfield units; any other palette or lookup-table file applies as it
// would be read.
#ifndef GLIMRA_TRANSFER_PRESETS_H
#define GLIMRA_TRANSFER_PRESETS_H

#include <string>
#include <vector>

class CurveHistory;
class TransferFunction;
struct DataScale;

struct Preset
{
    std::string name;        // menu label: the file name without its endings, '_' as blanks
    std::string path;        // the file
    bool hounsfield = false; // its points are Hounsfield units (".hu.pal")
};

// HU of x = 0 and of x = 1 in a preset in Hounsfield units.
constexpr double kPresetLowestHU = -1024.0;
constexpr double kPresetHighestHU = 3071.0;

// The presets in folder (".pal" and ".txt" files), sorted by name; none
// when the folder is missing.
std::vector<Preset> listPresets(const std::string& folder);
// The presets shipped with the program (its "presets" folder).
std::vector<Preset> programPresets();

// Whether the preset can be used with data of this scale.
bool presetApplies(const Preset& preset, const DataScale& scale);

// The preset as one edit (recorded in history when given): a preset in
// Hounsfield units is laid over the table through the scale (the table's
// ends take the preset's values there), any other is read as a palette
// file. The curves become linear and count as the user's palette; tables
// built whole. False, nothing changed, when the file cannot be read or the
// preset does not apply.
bool applyPreset(TransferFunction& tf, const Preset& preset, const DataScale& scale, CurveHistory* history,
                 std::string* why = nullptr);

#endif
