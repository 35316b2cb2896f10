// The settings block, "Store Settings", "Pint Label" and the font sample
// label fed with arbitrary field texts: each either refuses with the
// conversion message of the first field that does not parse, before anything
// is built, or builds a command that carries every converted length as the
// conversion gives it and every typed text as typed.
//
// Input lines: the choices ("300" for 300 dpi, "inch" or "cm" for the unit,
// "comma" for a decimal comma, "box" for the frame), then width, height, top,
// shift, home x, home y, quantity, speed box text, density box text, and the
// six selected positions (speed, density, media sensor, post-print action,
// media type, direction) separated by spaces.

#include "fuzzinput.h"

#include "commands/settingsbuilder.h"
#include "commands/testlabel.h"
#include "core/exceptions.h"
#include "files/fontsample.h"

#include <functional>
#include <optional>

namespace {

// The command, or the message it was refused with.
struct Built
{
    std::optional<QByteArray> bytes;
    QString refusal;
};

Built Build(const std::function<QByteArray()> &build)
{
    try {
        return { build(), QString() };
    } catch (const EConvertError &e) {
        return { std::nullopt, e.Message() };
    }
}

std::optional<qint64> Dots(const QString &text, int dotsPerMm, long double factor,
                           const QLocale &locale, QString *refusal)
{
    try {
        return LengthToDots(text, dotsPerMm, factor, locale);
    } catch (const EConvertError &e) {
        if (refusal->isEmpty())
            *refusal = e.Message();
        return std::nullopt;
    }
}

QByteArray Number(qint64 n)
{
    return QByteArray::number(n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray choices = input.Line();
    SetupPanelValues v = StartSetupValues();
    v.resolution = choices.contains("300") ? Resolution::Dpi300 : Resolution::Dpi203;
    v.unit = choices.contains("inch") ? LengthUnit::Inch
        : choices.contains("cm")      ? LengthUnit::Cm
                                      : LengthUnit::Mm;
    v.box = choices.contains("box");
    const QLocale locale
        = choices.contains("comma") ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c();
    v.width = input.TextLine();
    v.height = input.TextLine();
    v.top = input.TextLine();
    v.shift = input.TextLine();
    v.homeX = input.TextLine();
    v.homeY = input.TextLine();
    v.quantity = input.TextLine();
    v.speed.displayText = input.TextLine();
    v.density.displayText = input.TextLine();
    ComboValue *boxes[]
        = { &v.speed, &v.density, &v.mediaSensor, &v.postAction, &v.mediaType, &v.direction };
    const QList<QByteArray> positions = input.Line().split(' ');
    for (int i = 0; i < 6 && i < positions.size(); ++i) {
        boxes[i]->position = std::clamp(positions[i].toInt(), -1, 31);
        boxes[i]->itemText = boxes[i]->displayText;
    }

    // The conversions, field by field in the order the builders take them.
    const int d = DotsPerMm(v.resolution);
    const long double unit = UnitFactor(v.unit);
    QString blockRefusal;
    const auto width
        = v.width.isEmpty() ? std::nullopt : Dots(v.width, d, unit, locale, &blockRefusal);
    const auto height
        = v.height.isEmpty() ? std::nullopt : Dots(v.height, d, unit, locale, &blockRefusal);
    const auto top = Dots(v.top, d, 1, locale, &blockRefusal);
    const auto shift = Dots(v.shift, d, 1, locale, &blockRefusal);
    const auto homeX = Dots(v.homeX, d, 1, locale, &blockRefusal);
    const auto homeY = Dots(v.homeY, d, 1, locale, &blockRefusal);

    const Built block = Build([&] { return BuildSettingsBlock(v, locale); });
    FUZZ_CHECK(block.refusal == blockRefusal, "settings refused with '%s', expected '%s'",
               qPrintable(block.refusal.left(100)), qPrintable(blockRefusal.left(100)));
    if (block.bytes) {
        const QByteArray &b = *block.bytes;
        FUZZ_CHECK(b.startsWith("^XA\r\n"), "%s", Shown(b).constData());
        if (width)
            FUZZ_CHECK(b.contains("^PW" + Number(*width)), "%s", Shown(b).constData());
        if (height)
            FUZZ_CHECK(b.contains("^LL" + Number(*height) + "\r\n"), "%s", Shown(b).constData());
        FUZZ_CHECK(b.endsWith("^LT" + Number(*top) + "\r\n^LS" + Number(*shift) + "\r\n^LH"
                              + Number(*homeX) + "," + Number(*homeY) + "\r\n"),
                   "%s", Shown(b).constData());
        const Built store = Build([&] { return StoreSettingsCommand(v, locale); });
        FUZZ_CHECK(store.bytes == b + "^XZ\r\n^XA\r\n^JUS\r\n^XZ\r\n", "store %s",
                   Shown(store.bytes.value_or("refused")).constData());
    }

    // The label converts width and height even where the block left them out.
    QString labelRefusal = blockRefusal;
    const auto w = Dots(v.width, d, unit, locale, &labelRefusal);
    const auto h = Dots(v.height, d, unit, locale, &labelRefusal);
    const Built label = Build([&] { return TestLabelCommand(v, locale); });
    FUZZ_CHECK(label.refusal == labelRefusal, "label refused with '%s', expected '%s'",
               qPrintable(label.refusal.left(100)), qPrintable(labelRefusal.left(100)));
    if (label.bytes) {
        const QByteArray &l = *label.bytes;
        const qint64 W = qint32(quint32(quint64(*w)));
        const qint64 H = qint32(quint32(quint64(*h)));
        FUZZ_CHECK(l.startsWith(*block.bytes + "^XZ\r\n^XA\r\n"), "%s", Shown(l).constData());
        FUZZ_CHECK(l.contains("^FO" + Number(W / 4) + "," + Number(15 * d) + "^FDSpeed "
                              + v.speed.displayText.toUtf8() + "^FS\r\n"),
                   "%s", Shown(l).constData());
        FUZZ_CHECK(l.contains("^FO" + Number(W / 2 - 8 * d) + "," + Number(H - 8 * d) + "^FWN,0"),
                   "%s", Shown(l).constData());
        FUZZ_CHECK(v.box == l.contains("^GB" + Number(W - 4 * d) + "," + Number(H - 4 * d) + ","),
                   "%s", Shown(l).constData());
        FUZZ_CHECK(l.endsWith("^PQ" + v.quantity.toUtf8() + ",0,1,N\r\n^XZ\r\n"), "%s",
                   Shown(l).constData());
    }

    // The font sample label needs the label size alone.
    QString sampleRefusal;
    Dots(v.width, d, unit, locale, &sampleRefusal);
    Dots(v.height, d, unit, locale, &sampleRefusal);
    FontSampleOptions options;
    options.fileNameText = v.speed.displayText;
    options.characterSet = v.density.displayText;
    const Built sample = Build([&] { return FontSampleLabel(options, v, locale); });
    FUZZ_CHECK(sample.refusal == sampleRefusal, "sample refused with '%s', expected '%s'",
               qPrintable(sample.refusal.left(100)), qPrintable(sampleRefusal.left(100)));
    if (sample.bytes)
        FUZZ_CHECK(sample.bytes->endsWith("^PQ" + v.quantity.toUtf8() + ",0,1,N\r\n^XZ\r\n"), "%s",
                   Shown(*sample.bytes).constData());
    return 0;
}
