// More labels than the preview can draw in its time: every label is counted
// and the stop is said, however many warnings come first.
#include "preview/labelrenderer.h"

#include <gtest/gtest.h>

TEST(PreviewRenderCount, LabelsBeyondThePreviewsDrawingTimeAreCountedAndTheStopIsSaid)
{
    // 3000 warnings of one kind first, then 400,000 formats of one label
    // and one of 5: far more than a second draws.
    const QByteArray many = QByteArray("^XA^ZZ^XZ\n").repeated(3000)
        + QByteArray("^XA^FO10,10^GB50,50,5^FS^XZ\n").repeated(400'000)
        + "^XA^FO10,10^GB50,50,5^FS^PQ5^XZ\n^XA^DFE:KEEP.ZPL^FS^FO1,1^GB5,5,5^FS^XZ\n";
    RenderOptions preview;
    preview.timeLimitMs = 1000;
    const RenderResult result = RenderLabels(many, preview);
    EXPECT_EQ(result.labelsRequested, 400'005);
    EXPECT_LE(result.labels.size(), preview.maxLabels);
    EXPECT_TRUE(result.incomplete);
    QStringList texts;
    for (const RenderWarning &w : result.warnings)
        texts << w.text;
    EXPECT_TRUE(texts.contains("reading stopped after one second: the rest is not drawn"))
        << texts.join('\n').toStdString();
    EXPECT_EQ(texts.count("^ZZ not rendered"), 20);
    EXPECT_TRUE(texts.contains("^ZZ not rendered (2980 more times, not listed)"));
}
