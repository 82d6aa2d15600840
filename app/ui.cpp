#include "app/ui.h"

namespace fotavi {

void set_preset_captions(const Settings& settings, Ui& ui) {
    for (int n = 0; n < 4; ++n) {
        const QString& phrase = settings.phrases[size_t(n)];
        ui.set_preset(n, preset_caption(n, phrase), phrase);
    }
}

void apply_layout(bool size_large, Ui& ui) {
    for (const LayoutValue& value : layout_for(size_large)) ui.set_layout_value(value);
}

}  // namespace fotavi
