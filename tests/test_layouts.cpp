#include <QTest>

#include <map>
#include <utility>
#include <vector>

#include "fake_ui.h"
#include "settings/layouts.h"
#include "settings/settings.h"

using namespace fotavi;
using namespace Qt::StringLiterals;

// The preset buttons' captions and the two window layouts.
class TestLayouts : public QObject {
    Q_OBJECT

private slots:
    void caption_data();
    void caption();
    void pre_captions_reach_every_button();
    void layout_values_data();
    void layout_values();
    void layout_geometry_holds_together();
    void switching_layouts_restores_every_value();
};

void TestLayouts::caption_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QString>("caption");

    QTest::newRow("empty Z") << 0 << QString() << u"(&Z)"_s;
    QTest::newRow("empty X") << 1 << QString() << u"(&X)"_s;
    QTest::newRow("one char") << 0 << u"米"_s << u"米(&Z)"_s;
    QTest::newRow("two chars") << 2 << u"お昼"_s << u"お.(&C)"_s;
    QTest::newRow("many chars") << 3 << u"休憩中です"_s << u"休.(&V)"_s;
    QTest::newRow("leading space") << 1 << u" 米"_s << u" .(&X)"_s;
    QTest::newRow("space alone") << 1 << u" "_s << u" (&X)"_s;
    QTest::newRow("outside BMP alone") << 0 << u"\U0001F35A"_s << u"\U0001F35A(&Z)"_s;
    QTest::newRow("outside BMP first") << 0 << u"\U0001F35Aです"_s << u"\U0001F35A.(&Z)"_s;
    QTest::newRow("surrogate kanji") << 2 << u"\U00020BB7"_s << u"\U00020BB7(&C)"_s;
    // Characters count as the settings file holds them, in code page 932.
    QTest::newRow("combining mark") << 3 << u"e\u0301"_s << u"e.(&V)"_s;
    QTest::newRow("combining voiced mark") << 1 << u"か\u3099き"_s << u"か.(&X)"_s;
    QTest::newRow("half-width voiced") << 0 << u"ｶﾞ"_s << u"ｶ.(&Z)"_s;
    QTest::newRow("half-width alone") << 0 << u"ｶ"_s << u"ｶ(&Z)"_s;
    QTest::newRow("full-width voiced") << 0 << u"ガ"_s << u"ガ(&Z)"_s;
    QTest::newRow("ampersand alone") << 0 << u"&"_s << u"&&(&Z)"_s;
    QTest::newRow("ampersand first") << 1 << u"&a"_s << u"&&.(&X)"_s;
    QTest::newRow("ampersand later") << 2 << u"a&b"_s << u"a.(&C)"_s;
}

void TestLayouts::caption() {
    QFETCH(int, n);
    QFETCH(QString, phrase);
    QFETCH(QString, caption);
    QCOMPARE(preset_caption(n, phrase), caption);
}

void TestLayouts::pre_captions_reach_every_button() {
    Settings settings;
    settings.phrases = {u"お昼"_s, QString(), u"&"_s, u"実"_s};
    FakeUi ui;
    set_preset_captions(settings, ui);
    QCOMPARE(ui.events, QStringList({u"preset|0|お.(&Z)"_s, u"preset|1|(&X)"_s,
                                     u"preset|2|&&(&C)"_s, u"preset|3|実(&V)"_s}));
    for (int n = 0; n < 4; ++n) QCOMPARE(ui.tool_tips[n], settings.phrases[n]);  // the whole phrase
}

void TestLayouts::layout_values_data() {
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("property");
    QTest::addColumn<int>("small");
    QTest::addColumn<int>("large");

    using T = LayoutTarget;
    using P = LayoutProperty;
    const std::tuple<T, P, int, int> rows[] = {
        {T::Window, P::Height, 7335, 9175},    {T::Window, P::Width, 7515, 9870},
        {T::PictureBox, P::Height, 5400, 7200},  {T::PictureBox, P::Width, 7200, 9600},
        {T::ListButton, P::Left, 6480, 8860},    {T::DateLabel, P::Left, 4680, 6800},
        {T::CommentBox, P::Top, 6000, 7800},  {T::CommentBox, P::Width, 3615, 5900},
        {T::PresetButton0, P::Top, 6120, 7920}, {T::PresetButton0, P::Left, 3840, 6200},
        {T::PresetButton1, P::Top, 6120, 7920}, {T::PresetButton1, P::Left, 4440, 6800},
        {T::PresetButton2, P::Top, 6120, 7920}, {T::PresetButton2, P::Left, 5040, 7400},
        {T::PresetButton3, P::Top, 6120, 7920}, {T::PresetButton3, P::Left, 5640, 8000},
        {T::LowerCaseButton, P::Top, 6120, 7920},   {T::LowerCaseButton, P::Left, 6360, 8740},
    };
    int order = 0;
    for (const auto& [target, property, small, large] : rows) {
        QTest::addRow("%d", order + 1)
            << order << static_cast<int>(target) << static_cast<int>(property) << small << large;
        ++order;
    }
}

void TestLayouts::layout_values() {
    QFETCH(int, order);
    QFETCH(int, target);
    QFETCH(int, property);
    QFETCH(int, small);
    QFETCH(int, large);

    for (const bool size_large : {false, true}) {
        FakeUi ui;
        apply_layout(size_large, ui);
        QCOMPARE(ui.layout_values.size(), size_t{18});
        const LayoutValue expected{static_cast<LayoutTarget>(target),
                                   static_cast<LayoutProperty>(property),
                                   size_large ? large : small};
        QVERIFY(ui.layout_values[order] == expected);
        QVERIFY(layout_for(size_large)[order] == expected);
    }
}

void TestLayouts::layout_geometry_holds_together() {
    for (const bool size_large : {false, true}) {
        std::map<std::pair<LayoutTarget, LayoutProperty>, int> values;
        for (const LayoutValue& value : layout_for(size_large)) {
            values[{value.target, value.property}] = value.twips;
        }
        const auto v = [&values](LayoutTarget target, LayoutProperty property) {
            return values.at({target, property});
        };
        using T = LayoutTarget;
        using P = LayoutProperty;
        const int image_bottom = 480 + v(T::PictureBox, P::Height);
        QCOMPARE(v(T::CommentBox, P::Top), image_bottom + 120);
        QCOMPARE(v(T::PictureBox, P::Width) * 3, v(T::PictureBox, P::Height) * 4);
        for (const T button :
             {T::PresetButton0, T::PresetButton1, T::PresetButton2, T::PresetButton3, T::LowerCaseButton}) {
            QCOMPARE(v(button, P::Top), image_bottom + 240);
        }
        QCOMPARE((v(T::PresetButton1, P::Left) - v(T::PresetButton0, P::Left)), 600);
        QCOMPARE((v(T::PresetButton2, P::Left) - v(T::PresetButton1, P::Left)), 600);
        QCOMPARE((v(T::PresetButton3, P::Left) - v(T::PresetButton2, P::Left)), 600);
        // write_time_log (855 wide) and lower_case_names (975 wide) end at the same right edge.
        QCOMPARE((v(T::ListButton, P::Left) + 855), (v(T::LowerCaseButton, P::Left) + 975));
        // The outer window leaves 90 by 660 twips for frame, title and menu bar.
        QCOMPARE((v(T::Window, P::Width) - 90), (size_large ? 9780 : 7425));
        QCOMPARE((v(T::Window, P::Height) - 660), (size_large ? 8515 : 6675));
    }
}

void TestLayouts::switching_layouts_restores_every_value() {
    FakeUi ui;
    using Key = std::pair<LayoutTarget, LayoutProperty>;
    const auto apply = [&ui](bool size_large) {
        ui.layout_values.clear();
        apply_layout(size_large, ui);
        std::map<Key, int> state;
        for (const LayoutValue& value : ui.layout_values) {
            state[{value.target, value.property}] = value.twips;
        }
        return state;
    };
    const auto small = apply(false);
    const auto large = apply(true);
    QCOMPARE(small.size(), size_t{18});
    // Both layouts set the same eighteen values, so either fully undoes the other.
    for (const auto& [key, twips] : small) QVERIFY(large.count(key) == 1);
    QVERIFY(small != large);
    QVERIFY(apply(false) == small);
    QVERIFY(apply(true) == large);
    QVERIFY(apply(true) == large);
}

QTEST_GUILESS_MAIN(TestLayouts)
#include "test_layouts.moc"
