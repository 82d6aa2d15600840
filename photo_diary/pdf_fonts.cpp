#include "photo_diary/pdf_fonts.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <mutex>

namespace fotavi {

namespace {

// Colour fonts left out, so that emoji come from an outline font; Pango
// asks for the family "emoji" for every run of emoji.
constexpr char kOutlineEmoji[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <selectfont><rejectfont><pattern><patelt name="color"><bool>true</bool></patelt></pattern>
  </rejectfont></selectfont>
  <alias binding="strong"><family>emoji</family><prefer><family>Symbola</family></prefer></alias>
</fontconfig>
)";

FcConfig* outline_emoji_config() {
    FcConfig* config = FcConfigCreate();
    if (!FcConfigParseAndLoad(config, nullptr, FcTrue) ||
        !FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kOutlineEmoji),
                                        FcTrue) ||
        !FcConfigBuildFonts(config)) {
        FcConfigDestroy(config);
        return nullptr;
    }
    return config;
}

}  // namespace

PangoFontMap* diary_font_map() {
    static std::once_flag once;
    static PangoFontMap* map = nullptr;
    std::call_once(once, [] {
        map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        if (!map) return;
        if (FcConfig* config = outline_emoji_config()) {
            pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config);
            FcConfigDestroy(config);  // the font map keeps its own reference
        }
    });
    return map ? PANGO_FONT_MAP(g_object_ref(map)) : pango_cairo_font_map_new();
}

}  // namespace fotavi
