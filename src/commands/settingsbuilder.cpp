#include "commands/settingsbuilder.h"

namespace {
const QByteArray CrLf = QByteArrayLiteral("\r\n");

// The command for a box's selected position, or nothing for the blank item,
// no selection or a position beyond the list.
QByteArray Choice(int position, std::initializer_list<const char *> commands)
{
    if (position < 1 || position > int(commands.size()))
        return QByteArray();
    return QByteArray(*(commands.begin() + (position - 1)));
}
} // namespace

QByteArray BuildSettingsBlock(const SetupPanelValues &values, const QLocale &locale)
{
    const int dotsPerMm = DotsPerMm(values.resolution);
    const long double unitFactor = UnitFactor(values.unit);
    // Offset fields are named without the range their caption shows.
    const RangeCaptions ranges = RangeCaptionsFor(values.resolution);
    auto name = [](const QString &caption) {
        return caption.section(QLatin1Char(':'), 0, 0);
    };
    auto dots = [&](const QString &text, const QString &caption, long double factor) {
        return QByteArray::number(FieldToDots(text, caption, dotsPerMm, factor, locale));
    };

    QByteArray block = "^XA" + CrLf;
    if (values.speed.position != 0)
        block += "^PR" + values.speed.itemText.toUtf8() + "," + CrLf;
    if (values.density.position != 0)
        block += "~SD" + values.density.itemText.toUtf8() + CrLf;
    // Width and height share one line: "^PW" has no line end of its own.
    if (!values.width.isEmpty())
        block += "^PW" + dots(values.width, WidthCaption(values.unit), unitFactor);
    if (!values.height.isEmpty())
        block += "^LL" + dots(values.height, HeightCaption(values.unit), unitFactor) + CrLf;

    const QByteArray sensor = Choice(values.mediaSensor.position, { "^MNN", "^MNW", "^MNM" });
    if (!sensor.isEmpty())
        block += sensor + CrLf;
    const QByteArray post = Choice(values.postAction.position, { "^MMR", "^MMT", "^MMP" });
    if (!post.isEmpty())
        block += post + ",Y" + CrLf;
    const QByteArray media = Choice(values.mediaType.position, { "^MTD", "^MTT" });
    if (!media.isEmpty())
        block += media + CrLf;
    const QByteArray direction = Choice(values.direction.position, { "^PON", "^POI" });
    if (!direction.isEmpty())
        block += direction + CrLf;

    // Offsets are millimetres whatever the unit.
    block += "^LT" + dots(values.top, name(ranges.top), 1.0L) + CrLf;
    block += "^LS" + dots(values.shift, name(ranges.shift), 1.0L) + CrLf;
    const QByteArray homeX = dots(values.homeX, name(ranges.home) + QStringLiteral(" x"), 1.0L);
    const QByteArray homeY = dots(values.homeY, name(ranges.home) + QStringLiteral(" y"), 1.0L);
    block += "^LH" + homeX + "," + homeY + CrLf;
    return block;
}

QByteArray StoreSettingsCommand(const SetupPanelValues &values, const QLocale &locale)
{
    return BuildSettingsBlock(values, locale) + "^XZ" + CrLf + "^XA" + CrLf + "^JUS" + CrLf + "^XZ"
        + CrLf;
}
