#include "file_drop.h"

#include "canvas_main.h"
#include "volume_file.h"
#include "menu_main.h"

namespace {

bool endsWith(const std::string& s, const char* tail)
{
    const size_t n = std::char_traits<char>::length(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

} // namespace

DroppedKind droppedFileKind(const std::string& path)
{
    if (endsWith(path, ".dat"))
        return DroppedKind::Data;
    if (endsWith(path, ".pal") || endsWith(path, ".txt"))
        return DroppedKind::Palette;
    // zvf, NIfTI, NRRD, MetaImage, DICOM (a file or its folder), TIFF,
    // OME-Zarr (the folder or its .zattrs).
    if (detectFormat(path) != FileFormat::Description)
        return DroppedKind::Data;
    return DroppedKind::Other;
}

bool openDroppedFile(MainFrame& frame, const std::string& path)
{
    switch (droppedFileKind(path)) {
    case DroppedKind::Data:
        return frame.openData(path);
    case DroppedKind::Palette:
        // As "-p" at start-up.
        return frame.viewer.openPalette(path);
    case DroppedKind::Other:
        break;
    }
    frame.viewer.observer().warn("\"" + baseName(path) +
                                     "\" cannot be opened here: drop a data set (.zvf, .dat, .nii, "
                                     ".nrrd, .mha, .dcm, .tif, a DICOM folder or an OME-Zarr folder) or a "
                                     "palette (.pal, .txt).",
                                 "Warning");
    return false;
}

bool MainDropTarget::OnDropFiles(wxCoord WXUNUSED(x), wxCoord WXUNUSED(y), const wxArrayString& fileNames)
{
    bool any = false;
    for (const wxString& name : fileNames)
        any = openDroppedFile(*myFrame, name.ToStdString()) || any;
    return any;
}

void installFileDrop(MainFrame* frame)
{
    if (!frame)
        return;
    frame->SetDropTarget(new MainDropTarget(frame));
    if (frame->myGLcanvas)
        frame->myGLcanvas->SetDropTarget(new MainDropTarget(frame));
}
