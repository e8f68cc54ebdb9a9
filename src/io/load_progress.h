// Progress of a load: the core reports (percent, message) pairs to a dialog
// object and learns from it whether the user cancelled. The window layer
// installs a factory that makes a real dialog; tests install recorders; with
// no factory a silent dialog that never cancels is used.
#ifndef GLIMRA_LOAD_PROGRESS_H
#define GLIMRA_LOAD_PROGRESS_H

#include <functional>

// One open progress dialog ("Load in progress", range 0 to 100).
class ProgressDialog
{
public:
    virtual ~ProgressDialog() = default;
    // Shows value and message; false when the user pressed Cancel.
    virtual bool update(int value, const char* message) = 0;
    // Takes the dialog off the screen; it is deleted right after.
    virtual void close() = 0;
};

// Makes a new dialog with operator new (the pipeline deletes it), or null.
using ProgressDialogFactory = std::function<ProgressDialog*()>;

// Installs the factory used by the next loads; an empty one restores the
// silent dialog.
void setProgressDialogFactory(ProgressDialogFactory factory);

// The dialog while a load runs, null otherwise (registered as "gpProgressDlg").
extern ProgressDialog* gpProgressDlg;

// (percent, message) report of a running stage; false cancels it.
typedef bool (*ProgressCallback)(int percent, const char* message);

// The callback texture generation receives: updates gpProgressDlg; on cancel
// closes and deletes the dialog and answers false.
bool reportProgress(int value, const char* message);

#endif
