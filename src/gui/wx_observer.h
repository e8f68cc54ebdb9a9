// The main window's side of the program's actions: progress dialogs, warning
// boxes, the main view and the tool windows.
#ifndef GLIMRA_WX_OBSERVER_H
#define GLIMRA_WX_OBSERVER_H

#include "viewer_observer.h"

class MainFrame;

class WxObserver : public ViewerObserver
{
public:
    explicit WxObserver(MainFrame* frame) : myFrame(frame) {}

    // "Load in progress", cancellable, over the main window.
    ProgressDialog* openProgress() override;
    // A modal box over the main window.
    void warn(const std::string& text, const std::string& title) override;
    bool makeViewCurrent() override;
    void repaint() override;
    void repaintLater() override;
    void refreshWindows() override;
    int editorViewWidth() override;
    void tableSizeChanged(int maxValue) override;

private:
    MainFrame* myFrame; // the window that owns this observer
};

#endif
