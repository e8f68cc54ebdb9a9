#include "time_bar.h"

TimeBar::TimeBar(wxWindow* parent) : wxPanel(parent, wxID_ANY)
{
    wxBoxSizer* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(this, wxID_ANY, "Time"), 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 6);
    mySlider = new wxSlider(this, ID_TIME_SLIDER, 0, 0, 1);
    row->Add(mySlider, 1, wxALIGN_CENTER_VERTICAL);
    myText = new wxStaticText(this, wxID_ANY, "1 / 2", wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE);
    myText->SetMinSize(wxSize(GetTextExtent("0000 / 0000").x, -1));
    row->Add(myText, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 6);
    myPlay = new wxButton(this, ID_TIME_PLAY, "Play");
    row->Add(myPlay, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    SetSizerAndFit(row);
}

void TimeBar::show(size_t shown, size_t count)
{
    const int last = count > 1 ? static_cast<int>(count - 1) : 1;
    if (mySlider->GetMax() != last)
        mySlider->SetRange(0, last);
    if (mySlider->GetValue() != static_cast<int>(shown))
        mySlider->SetValue(static_cast<int>(shown));
    myText->SetLabel(wxString::Format("%d / %d", static_cast<int>(shown + 1), static_cast<int>(count)));
}

void TimeBar::setPlaying(bool playing)
{
    myPlay->SetLabel(playing ? "Pause" : "Play");
}

int TimeBar::sliderValue() const
{
    return mySlider->GetValue();
}
