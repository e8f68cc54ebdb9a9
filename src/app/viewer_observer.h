// What the program's actions ask of whoever shows them: the one way from the
// core up to the window layer. The wx layer implements it, glimra-render uses
// the quiet default, tests record what they are asked.
#ifndef GLIMRA_VIEWER_OBSERVER_H
#define GLIMRA_VIEWER_OBSERVER_H

#include <string>

class ProgressDialog;

class ViewerObserver
{
public:
    virtual ~ViewerObserver() = default;

    // A progress dialog for a load that starts now, made with operator new
    // (the load deletes it); the default one shows nothing and never cancels.
    virtual ProgressDialog* openProgress();
    // A warning box; the default writes "title: text" to the log.
    virtual void warn(const std::string& text, const std::string& title);
    // Makes the main view's OpenGL context current; false while there is none.
    virtual bool makeViewCurrent() { return true; }
    // Draws the main view again.
    virtual void repaint() {}
    // Asks, from any thread, for the main view to be drawn again soon (on
    // the thread that draws it).
    virtual void repaintLater() {}
    // Menus and tool windows show the state the last action left.
    virtual void refreshWindows() {}
    // Width of the transfer-function editor in pixels, 0 while it is closed.
    virtual int editorViewWidth() { return 0; }
    // A load gave the transfer function maxValue entries: the editor's
    // sliders and mapping follow.
    virtual void tableSizeChanged(int maxValue) { (void)maxValue; }

    // The quiet observer: no dialogs, warnings to the log, nothing to draw.
    static ViewerObserver& quiet();
};

#endif
