// The questions of File > "Save Picture..." and "Save Turntable...": where
// (a PNG file) and how large (and how many frames). Modal; tests call the
// main window's actions instead.
#ifndef GLIMRA_PICTURE_DIALOG_H
#define GLIMRA_PICTURE_DIALOG_H

#include <wx/wx.h>

#include <string>

// A PNG file to write, "" when cancelled.
std::string askForPictureFile(wxWindow* parent, const wxString& title);

// Width and height (1 ... 16384; in: the suggestion), and with frames not
// null the number of frames (1 ... 3600); false when cancelled.
bool askPictureSize(wxWindow* parent, const wxString& title, int* width, int* height, int* frames);

#endif
