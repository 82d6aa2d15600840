#include "settings/layouts.h"

namespace fotavi {

namespace {

using T = LayoutTarget;
using P = LayoutProperty;

// The picture box is 480 by 360 pixels; this is also the window's initial layout.
constexpr Layout kSmall{{
    {T::Main, P::Height, 7335},
    {T::Main, P::Width, 7515},
    {T::Image1, P::Height, 5400},
    {T::Image1, P::Width, 7200},
    {T::k_list, P::Left, 6480},
    {T::l_file_date, P::Left, 4680},
    {T::l_comment, P::Top, 6000},
    {T::l_comment, P::Width, 3615},
    {T::k_pre_set0, P::Top, 6120},
    {T::k_pre_set0, P::Left, 3840},
    {T::k_pre_set1, P::Top, 6120},
    {T::k_pre_set1, P::Left, 4440},
    {T::k_pre_set2, P::Top, 6120},
    {T::k_pre_set2, P::Left, 5040},
    {T::k_pre_set3, P::Top, 6120},
    {T::k_pre_set3, P::Left, 5640},
    {T::k_komoji, P::Top, 6120},
    {T::k_komoji, P::Left, 6360},
}};

// The picture box is 640 by 480 pixels.
constexpr Layout kLarge{{
    {T::Main, P::Height, 9175},
    {T::Main, P::Width, 9870},
    {T::Image1, P::Height, 7200},
    {T::Image1, P::Width, 9600},
    {T::k_list, P::Left, 8860},
    {T::l_file_date, P::Left, 6800},
    {T::l_comment, P::Top, 7800},
    {T::l_comment, P::Width, 5900},
    {T::k_pre_set0, P::Top, 7920},
    {T::k_pre_set0, P::Left, 6200},
    {T::k_pre_set1, P::Top, 7920},
    {T::k_pre_set1, P::Left, 6800},
    {T::k_pre_set2, P::Top, 7920},
    {T::k_pre_set2, P::Left, 7400},
    {T::k_pre_set3, P::Top, 7920},
    {T::k_pre_set3, P::Left, 8000},
    {T::k_komoji, P::Top, 7920},
    {T::k_komoji, P::Left, 8740},
}};

}  // namespace

const Layout& layout_for(bool size_large) { return size_large ? kLarge : kSmall; }

}  // namespace fotavi
