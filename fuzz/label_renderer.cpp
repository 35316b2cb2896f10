// The label renderer fed arbitrary command text: it never throws, keeps every
// picture within the printer's limits, draws as many labels as asked for (up
// to its limit), places every warning inside the input, and draws the same
// pictures and warnings for the same commands every time.
//
// Input: the commands.

#include "fuzzinput.h"

#include "preview/labelrenderer.h"

#include <QGuiApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Text needs a QGuiApplication; nothing is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept for the whole run and never destroyed: libFuzzer ends the process
    // with exit(), from where Qt can no longer be taken down in order.
    static QGuiApplication *const app = new QGuiApplication(*argc, *argv);
    Q_UNUSED(app);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray commands(reinterpret_cast<const char *>(data), qsizetype(size));
    RenderOptions options;
    options.maxLabels = 3;
    options.timeLimitMs = 1000; // as the preview: a slow input is cut, not a fuzzer timeout
    const RenderResult result = RenderLabels(commands, options);

    FUZZ_CHECK(result.labels.size() == std::min(result.labelsRequested, options.maxLabels),
               "%lld pictures for %d labels asked for", (long long)result.labels.size(),
               result.labelsRequested);
    for (const QImage &label : result.labels) {
        FUZZ_CHECK(label.format() == QImage::Format_Mono && label.width() >= 1
                       && label.height() >= 1 && label.width() <= 32000 && label.height() <= 32000
                       && qint64(label.width()) * label.height() <= 32'000'000,
                   "a picture of %d x %d", label.width(), label.height());
    }
    const qsizetype lines = commands.count('\n') + 1;
    for (const RenderWarning &w : result.warnings) {
        FUZZ_CHECK(w.line >= 1 && w.line <= lines && w.column >= 1 && !w.text.isEmpty(),
                   "warning at %d:%d of %lld lines: %s", w.line, w.column, (long long)lines,
                   qPrintable(w.text));
    }

    // The first drawing of a glyph at a size fills the font caches and can
    // place a few edge dots differently from every later one; from then on
    // the same commands must give the same pictures.
    const RenderResult again = RenderLabels(commands, options);
    const RenderResult third = RenderLabels(commands, options);
    FUZZ_CHECK(third.labels == again.labels && again.labelsRequested == result.labelsRequested,
               "a third rendering differs from the second");
    FUZZ_CHECK(again.warnings.size() == result.warnings.size(),
               "a second rendering warns differently");
    return 0;
}
