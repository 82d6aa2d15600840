#include "settings/layouts.h"

namespace fotavi {

namespace {

using T = LayoutTarget;
using P = LayoutProperty;

// The picture box is 480 by 360 pixels; this is also the window's initial layout.
constexpr Layout kSmall{{
    {T::Window, P::Height, 7335},
    {T::Window, P::Width, 7515},
    {T::PictureBox, P::Height, 5400},
    {T::PictureBox, P::Width, 7200},
    {T::ListButton, P::Left, 6480},
    {T::DateLabel, P::Left, 4680},
    {T::CommentBox, P::Top, 6000},
    {T::CommentBox, P::Width, 3615},
    {T::PresetButton0, P::Top, 6120},
    {T::PresetButton0, P::Left, 3840},
    {T::PresetButton1, P::Top, 6120},
    {T::PresetButton1, P::Left, 4440},
    {T::PresetButton2, P::Top, 6120},
    {T::PresetButton2, P::Left, 5040},
    {T::PresetButton3, P::Top, 6120},
    {T::PresetButton3, P::Left, 5640},
    {T::LowerCaseButton, P::Top, 6120},
    {T::LowerCaseButton, P::Left, 6360},
}};

// The picture box is 640 by 480 pixels.
constexpr Layout kLarge{{
    {T::Window, P::Height, 9175},
    {T::Window, P::Width, 9870},
    {T::PictureBox, P::Height, 7200},
    {T::PictureBox, P::Width, 9600},
    {T::ListButton, P::Left, 8860},
    {T::DateLabel, P::Left, 6800},
    {T::CommentBox, P::Top, 7800},
    {T::CommentBox, P::Width, 5900},
    {T::PresetButton0, P::Top, 7920},
    {T::PresetButton0, P::Left, 6200},
    {T::PresetButton1, P::Top, 7920},
    {T::PresetButton1, P::Left, 6800},
    {T::PresetButton2, P::Top, 7920},
    {T::PresetButton2, P::Left, 7400},
    {T::PresetButton3, P::Top, 7920},
    {T::PresetButton3, P::Left, 8000},
    {T::LowerCaseButton, P::Top, 7920},
    {T::LowerCaseButton, P::Left, 8740},
}};

}  // namespace

const Layout& layout_for(bool size_large) { return size_large ? kLarge : kSmall; }

}  // namespace fotavi
