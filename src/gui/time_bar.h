// The row under the main view for data with time points: a "Time" slider,
// the time point shown and Play/Pause. It only shows and reports; the main
// window steps the viewer (Viewer::showTimePoint, nextTimePoint).
#ifndef GLIMRA_TIME_BAR_H
#define GLIMRA_TIME_BAR_H

#include <wx/wx.h>

#include <cstddef>

// Ids of the time controls (the slider's events carry the time point,
// 0 the first; the timer steps while playing).
enum TimeCommandId
{
    ID_TIME_SLIDER = 10050, // the "Time" slider
    ID_TIME_PLAY = 10051,   // "Play" / "Pause"
    ID_TIME_TIMER = 10052,  // the play timer's events
};

class TimeBar : public wxPanel
{
public:
    explicit TimeBar(wxWindow* parent);

    // Slider range and position and the text follow count time points with
    // shown on screen (0 the first).
    void show(size_t shown, size_t count);
    // The button says "Pause" while playing, else "Play".
    void setPlaying(bool playing);
    // The slider's position (for tests).
    int sliderValue() const;

private:
    wxSlider* mySlider;  // ID_TIME_SLIDER
    wxStaticText* myText; // "3 / 20"
    wxButton* myPlay;    // ID_TIME_PLAY
};

#endif
