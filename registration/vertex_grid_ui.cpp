// The vertex grid of a loaded pair and the search-range slider whose units follow from it.
#include "app/frame.h"
#include "registration/vertex_grid.h"

#include <wx/slider.h>
#include <wx/stattext.h>

void MyFrame::build_vertex_grid()
{
    const SearchRangeScale scale = ::build_vertex_grid(*this);
    search_range_label->SetLabel(wxString::FromUTF8(::search_range_label(scale.exponent)));
    // The value is not rescaled: after a change of units it stands for another length.
    const int value = std::min(search_range_slider->GetValue(), scale.maximum);
    search_range_slider->SetRange(0, scale.maximum);
    search_range_slider->SetValue(value);
}
