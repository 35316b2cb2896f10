#pragma once

// The printer setup panel's values and the length arithmetic that every label
// and settings builder shares. Nothing here touches a widget: the
// "Printer Configuration" tab gathers its controls into SetupPanelValues
// (PrinterConfigTab::SetupValues()) and the builders work on that.

#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>

// "Resolution" radio group, in item order.
enum class Resolution { Dpi203, Dpi300 };

// "Unit" radio group, in item order ("Inch", "mm", "cm").
enum class LengthUnit { Inch, Mm, Cm };

// One editable combo box of the panel.
struct ComboValue
{
    int position = -1; // selected item, 0 = the blank item, -1 = none selected
    QString itemText; // text of the selected list item; empty when none is selected
    QString displayText; // what the box shows (may have been typed over)
};

// Everything the builders read from the panel, as plain values.
struct SetupPanelValues
{
    Resolution resolution = Resolution::Dpi203;
    LengthUnit unit = LengthUnit::Mm;

    ComboValue speed; // speedcb
    ComboValue density; // densitycb
    ComboValue mediaSensor; // mediasensorcb: 1 Continuous, 2 Web Sensing, 3 Mark Sensing
    ComboValue postAction; // postactivecb: 1 Rewind, 2 Tear off, 3 Peel off
    ComboValue mediaType; // ribboncb: 1 Thermal Direct, 2 Thermal Transfer
    ComboValue direction; // directionxcb: 1 Normal, 2 Invert:Rotation 180

    // Field texts exactly as typed. Width and height are in the selected
    // unit; top, shift and home are always millimetres.
    QString width; // paperwidthe
    QString height; // paperheighte
    QString top; // Lte
    QString shift; // Shifte
    QString homeX; // Homexe
    QString homeY; // Homeye
    QString quantity; // Edit1 ("Pices"), inserted into label commands unchanged

    bool box = false; // Boxck: draw a frame around a label
};

// The panel as the window shows it at start.
SetupPanelValues StartSetupValues();

// The item lists of the panel's combo boxes, each with the blank item at
// position 0.
struct SetupPanelItemLists
{
    QStringList speed; // blank, "2" .. "5"
    QStringList density; // blank, "0" .. "30"
    QStringList mediaSensor;
    QStringList mediaType;
    QStringList postAction;
    QStringList direction;
};
const SetupPanelItemLists &SetupPanelItems();

// A box with the item at `position` of `items` selected and shown.
ComboValue ComboAt(const QStringList &items, int position);

// Printer dots per millimetre: 8 at "203dpi", 12 at "300dpi".
int DotsPerMm(Resolution resolution);

// Millimetres per unit of the "Unit" selection: Inch 25.4, mm 1, cm 10.
long double UnitFactor(LengthUnit unit);

// Converts a length field's text to printer dots: the number (system decimal
// separator, optional sign and exponent, surrounding spaces ignored) times
// unitFactor times dotsPerMm, computed in extended precision and rounded to the
// nearest integer with exact halves going to the even neighbour. Pass the
// selected unit's factor for label width and height and 1 for top, shift and
// home. Throws EConvertError "'<text>' is not a valid floating point value"
// when the text is not such a number, the empty text included, or when the
// result does not fit into 64 bits.
qint64 LengthToDots(const QString &text, int dotsPerMm, long double unitFactor,
                    const QLocale &locale = QLocale::system());

// LengthToDots for one field of the panel: a failure also names the field by
// its caption, for the error box's informative text.
qint64 FieldToDots(const QString &text, const QString &caption, int dotsPerMm,
                   long double unitFactor, const QLocale &locale = QLocale::system());

// The label's width and height in dots, from the width and height fields in
// the selected unit at the selected resolution, keeping the low 32 bits. Throw
// like LengthToDots.
qint32 LabelWidthDots(const SetupPanelValues &values, const QLocale &locale = QLocale::system());
qint32 LabelHeightDots(const SetupPanelValues &values, const QLocale &locale = QLocale::system());

// The "Unit" item: "Inch", "mm" or "cm".
QString UnitName(LengthUnit unit);

// Captions of the width and height fields for a unit, e.g. "Label Width(mm):".
QString WidthCaption(LengthUnit unit);
QString HeightCaption(LengthUnit unit);

// Captions of the top, shift and home fields, which show the printer's range
// at a resolution.
struct RangeCaptions
{
    QString top;
    QString shift;
    QString home;
};
RangeCaptions RangeCaptionsFor(Resolution resolution);
