// What the pictures cannot show is said: ink beyond the label's edges, with
// its line, the edge and how far; labels cut by a time limit; and a caller
// taking the pictures one by one gets every label.
#include "preview/labelrenderer.h"

#include <gtest/gtest.h>

namespace {

// The warnings of a 400 x 300 dot label holding the field on line 2.
QStringList FieldWarnings(const QByteArray &field, bool *incomplete = nullptr)
{
    const RenderResult result = RenderLabels("^XA^MNN^PW400^LL300\n" + field + "\n^XZ");
    EXPECT_EQ(result.labels.size(), 1) << field.constData();
    QStringList texts;
    for (const RenderWarning &w : result.warnings)
        texts << QStringLiteral("%1:%2 %3").arg(w.line).arg(w.column).arg(w.text);
    if (incomplete)
        *incomplete = result.incomplete;
    return texts;
}

TEST(OffLabelWarnings, EveryFieldWithInkBeyondTheLabelIsNamed)
{
    const QString partly
        = QStringLiteral("2:1 field partly outside the label (400 x 300 dots): its ink reaches ");
    const QString wholly
        = QStringLiteral("2:1 field wholly outside the label (400 x 300 dots): its ink reaches ");
    const struct
    {
        const char *what;
        QByteArray field;
        QString warning; // empty: none
    } cases[] = {
        { "a box that fills the label exactly", "^FO0,0^GB400,300,2^FS", {} },
        { "one dot too wide", "^FO0,0^GB401,300,2^FS", partly + "1 dot past the right edge" },
        { "over a corner", "^FO350,250^GB100,100,10^FS",
          partly + "50 dots past the bottom edge, 50 dots past the right edge" },
        { "below the label", "^FO20,310^GB30,20,20^FS", wholly + "30 dots past the bottom edge" },
        { "a white box draws no ink", "^FO350,250^GB100,100,100,W^FS", {} },
        { "a reverse box flips its own dots", "^FO390,10^FR^GB20,20,20^FS",
          partly + "10 dots past the right edge" },
        { "a graphic", "^FO396,0^GFA,8,8,1,FFFFFFFFFFFFFFFF^FS",
          partly + "4 dots past the right edge" },
        { "a box over the bottom", "^FO0,290^GB40,20,20^FS",
          partly + "10 dots past the bottom edge" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        bool incomplete = false;
        const QStringList warnings = FieldWarnings(c.field, &incomplete);
        EXPECT_EQ(warnings, c.warning.isEmpty() ? QStringList() : QStringList { c.warning });
        EXPECT_EQ(incomplete, !c.warning.isEmpty());
    }
}

TEST(OffLabelWarnings, TextAndSymbolsAreMeasuredByTheirInk)
{
    const struct
    {
        const char *what;
        QByteArray field;
        const char *edge; // nullptr: none
        bool wholly;
    } cases[] = {
        { "text inside", "^FO20,20^A0N,40,40^FDInside^FS", nullptr, false },
        { "text over the right edge", "^FO340,20^A0N,40,40^FDWIDER^FS", "right edge", false },
        { "text set above the top", "^FT20,10^A0N,40,40^FDHigh^FS", "top edge", false },
        { "a QR symbol pushed below the label", "^FO20,320^BQN,2,4^FDQA,12345^FS", "bottom edge",
          true },
        { "a bar code running off the right", "^FO300,100^BY2^BCN,60,N,N,N^FD12345678^FS",
          "right edge", false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QStringList warnings = FieldWarnings(c.field);
        if (!c.edge) {
            EXPECT_EQ(warnings, QStringList());
            continue;
        }
        ASSERT_EQ(warnings.size(), 1) << warnings.join('\n').toStdString();
        EXPECT_TRUE(warnings[0].startsWith(c.wholly ? "2:1 field wholly" : "2:1 field partly"))
            << warnings[0].toStdString();
        EXPECT_TRUE(warnings[0].contains(QLatin1String(c.edge))) << warnings[0].toStdString();
    }
}

TEST(OffLabelWarnings, AFieldOnEveryLabelIsNamedOnce)
{
    const RenderResult result
        = RenderLabels("^XA^MNN^PW400^LL300^FO350,20^A0N,40,40^SN0001,1,Y^FS^PQ5^XZ");
    EXPECT_EQ(result.labels.size(), 5);
    ASSERT_EQ(result.warnings.size(), 1);
    EXPECT_TRUE(result.warnings[0].incomplete);
    EXPECT_TRUE(result.warnings[0].text.contains("past the right edge"))
        << result.warnings[0].text.toStdString();
}

TEST(RenderLimits, OnlyATimeLimitGivenStopsTheDrawingAndSaysSo)
{
    QByteArray many = "^XA^PW400^LL300";
    for (int i = 0; i < 200000; ++i)
        many += "^FO10,10^GB5,5,1^FS";
    many += "^XZ";
    RenderOptions limited;
    limited.timeLimitMs = 1;
    const RenderResult cut = RenderLabels(many, limited);
    EXPECT_TRUE(cut.incomplete);
    ASSERT_FALSE(cut.warnings.isEmpty());
    EXPECT_EQ(cut.warnings[0].text, "reading stopped after 1 ms: the rest is not drawn");
    EXPECT_TRUE(cut.warnings[0].incomplete);

    const RenderResult whole = RenderLabels(many);
    EXPECT_FALSE(whole.incomplete);
    EXPECT_TRUE(whole.warnings.isEmpty());
    EXPECT_EQ(whole.labels.size(), 1);
}

TEST(RenderLimits, PicturesHandedOverOneByOneAreEveryLabel)
{
    const QByteArray serial = "^XA^PW200^LL100^FO10,10^A0N,30,30^SN001,1,Y^FS^PQ150^XZ";
    RenderOptions options;
    QList<QImage> taken;
    options.deliver = [&taken](const QImage &label) {
        taken << label;
        return true;
    };
    const RenderResult all = RenderLabels(serial, options);
    EXPECT_EQ(taken.size(), 150);
    EXPECT_TRUE(all.labels.isEmpty());
    EXPECT_FALSE(all.incomplete);
    EXPECT_NE(taken[0], taken[149]); // each with its own serial number
    // The same labels kept in the result stop at the limit, and say so.
    const RenderResult kept = RenderLabels(serial);
    EXPECT_EQ(kept.labels.size(), 100);
    EXPECT_TRUE(kept.incomplete);
    EXPECT_EQ(kept.labels[99], taken[99]);

    // A caller that takes no more stops the drawing.
    int calls = 0;
    options.deliver = [&calls](const QImage &) {
        return ++calls < 3;
    };
    RenderLabels(serial, options);
    EXPECT_EQ(calls, 3);
}

} // namespace
