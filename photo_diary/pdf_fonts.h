#pragma once

#include <pango/pango.h>

namespace fotavi {

// A font map for the diary's PDF in which emoji come from an outline font
// (Symbola) where one is installed: cairo draws the glyphs of a colour emoji
// font as pictures, which would leave the characters out of the PDF's text.
// Made once; the caller owns a reference.
PangoFontMap* diary_font_map();

}  // namespace fotavi
