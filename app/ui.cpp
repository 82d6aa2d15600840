#include "app/ui.h"

namespace fotavi {

void z_set_pre_captions(const Settings& settings, Ui& ui) {
    for (int n = 0; n < 4; ++n) {
        const QString& phrase = settings.pre_str[size_t(n)];
        ui.set_preset(n, preset_caption(n, phrase), phrase);
    }
}

void z_set_layout(bool size_large, Ui& ui) {
    for (const LayoutValue& value : layout_for(size_large)) ui.set_layout_value(value);
}

}  // namespace fotavi
