// Progress of a load: the core reports (percent, message) pairs to a dialog
// object and learns from it whether the user cancelled. The dialog of each
// load comes from the load's observer (viewer_observer.h): a real one in the
// window, a recorder in tests, a quiet one that never cancels elsewhere.
#ifndef GLIMRA_LOAD_PROGRESS_H
#define GLIMRA_LOAD_PROGRESS_H

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

// The dialog while a load runs, null otherwise (registered as "gpProgressDlg").
extern ProgressDialog* gpProgressDlg;

// (percent, message) report of a running stage; false cancels it.
typedef bool (*ProgressCallback)(int percent, const char* message);

// The callback texture generation receives: updates gpProgressDlg; on cancel
// closes and deletes the dialog and answers false.
bool reportProgress(int value, const char* message);

#endif
