// Files dropped on the main window: data sets open as File > Open opens
// them, palettes and lookup tables are read as "-p" reads them, anything
// else is refused with a warning that names the file.
#ifndef GLIMRA_FILE_DROP_H
#define GLIMRA_FILE_DROP_H

#include <wx/dnd.h>

#include <string>

class MainFrame;

// What a dropped file is taken for, by the end of its name (as the loaders
// tell them apart: exact case).
enum class DroppedKind {
    Data,    // ".zvf" volume or ".dat" description file
    Palette, // ".pal" palette or ".txt" lookup table
    Other    // refused
};
DroppedKind droppedFileKind(const std::string& path);

// Opens one dropped file in frame. A refused or unreadable file gets a
// warning box (through the window's observer) naming it. True when it was opened.
bool openDroppedFile(MainFrame& frame, const std::string& path);

// The drop target of the main window and of its view: every dropped file in
// turn through openDroppedFile.
class MainDropTarget : public wxFileDropTarget
{
public:
    explicit MainDropTarget(MainFrame* frame) : myFrame(frame) {}
    bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& fileNames) override;

private:
    MainFrame* myFrame; // the window the files open in (not owned)
};

// Gives the main window and its view a drop target each.
void installFileDrop(MainFrame* frame);

#endif
