#include "wx_settings.h"

#include "canvas_main.h"
#include "command_ids.h"
#include "menu_main.h"
#include "menu_transfer.h"
#include "running_settings.h"
#include "viewer.h"
#include "text_overlay.h"

namespace {

class MainWindowSettings : public SettingsTarget
{
public:
    void gather(Settings& s) const override
    {
        gatherCoreSettings(s);
        copyWindowSettings(myKept, s);
        const MainFrame* frame = g_pMainFrame;
        if (!frame)
            return;
        s.autosave = frame->autosave;
        const wxRect shown = frame->shownGeometry();
        const wxRect now(frame->GetPosition(), frame->GetSize());
        const wxRect& r = shown.IsEmpty() ? now : shown;
        s.width = r.width;
        s.height = r.height;
        s.x = r.x;
        s.y = r.y;
        const MainGLCanvas* view = frame->myGLcanvas;
        if (view) {
            s.speedup = view->speedup;
            s.fpsVisible = view->font ? view->font->visible : view->frameRateVisible;
        }
    }

    void apply(const Settings& s) override
    {
        applyCoreSettings(s);
        myKept = s;
        MainFrame* frame = g_pMainFrame;
        if (!frame)
            return;
        frame->autosave = s.autosave;
        MainGLCanvas* view = frame->myGLcanvas;
        if (view) {
            // The projection and background are the volume's, set above; the
            // projection matrix follows here.
            if (view->makeContextCurrent())
                view->setProjection(s.perspective);
            view->speedup = s.speedup;
            // Kept for a view not set up yet (its text is made then).
            view->frameRateVisible = s.fpsVisible;
            if (view->font)
                view->font->visible = s.fpsVisible;
        }
        frame->check(s.perspective ? ID_PERSPECTIVE : ID_ORTHOGONAL, true);
        frame->check(ID_FRAME_RATE, s.fpsVisible);
        frame->check(drawStyleCommandId(s.mode.getDrawStyle()), true);
        frame->check(blendingCommandId(s.blending), true);
        frame->check(ID_SHOW_BBOX, s.showBBox);
        syncTransferWindow();
        // Placed only when it changes, so that applying the running values
        // again (autosave switched off) leaves the window where it is. -1
        // leaves a coordinate to the toolkit. Until the window has been on
        // screen its size is the toolkit's guess at the manager's frame, so
        // it is set even when the guess matches.
        const wxRect shown = frame->shownGeometry();
        if (shown.IsEmpty() || shown.width != s.width || shown.height != s.height || shown.x != s.x ||
            shown.y != s.y)
            frame->place(s.x, s.y, s.width, s.height);
    }

private:
    Settings myKept; // the last applied values
};

MainWindowSettings g_mainWindowSettings;

} // namespace

void installMainWindowSettings(Viewer& viewer)
{
    viewer.setSettingsTarget(&g_mainWindowSettings);
}
