#include "preview/commandtable.h"
#include "preview/fielddata.h"
#include "preview/labelinterpreter.h"

#include <algorithm>

namespace {
constexpr qsizetype MaxFieldData = 3072; // bytes of one field's data
} // namespace

using namespace label;

bool LabelInterpreter::FormatCommand(const LabelCommand &command, const Args &args)
{
    switch (KeyOf(command.name)) {
    case Key("XA"):
        StartFormat(command);
        return true;
    case Key("XZ"):
        if (!inFormat_) {
            Warn(QStringLiteral("^XZ without ^XA"), command);
            return true;
        }
        if (fieldContent_)
            EndField(&command, true);
        if (!storingAs_.isEmpty()) {
            printer_.formats.insert(storingAs_, storedBody_);
            storingAs_.clear();
            storedBody_.clear();
            inFormat_ = false;
            return true;
        }
        EndFormat();
        return true;
    case Key("FX"): // comment
        return true;
    case Key("PQ"): {
        // Read as the printer reads it: a quantity it cannot take prints nothing.
        const SettingValues read = ReadSetting(*FindCommand(command.kind, command.name)->rule,
                                               command.args, printer_.delimiter);
        if (!read.refusal.isEmpty()) {
            Warn(QStringLiteral("%1: %2; the format prints nothing")
                     .arg(Written(command) + QString::fromLatin1(command.args), read.refusal),
                 command);
            quantity_ = 0;
            return true;
        }
        quantity_ = std::max(1, read.values[0].value_or(1));
        replicates_ = read.values[2].value_or(1);
        return true;
    }
    case Key("CF"): {
        const QByteArray font = args.Text(0).left(1).toUpper();
        if (!font.isEmpty())
            printer_.font.name = printer_.fontAliases.value(font.at(0), font);
        if (args.Given(1))
            printer_.font.height = Clamped(command, Len(args, 1, 0), 0, MaxDimension, "height");
        if (args.Given(2))
            printer_.font.width = Clamped(command, Len(args, 2, 0), 0, MaxDimension, "width");
        else if (args.Given(1))
            printer_.font.width = 0; // in proportion to the height
        return true;
    }
    case Key("FW"):
        printer_.orientation = OrientationFromLetter(args.Letter(0, 'N'), printer_.orientation);
        if (args.Given(1))
            printer_.justify = int(std::clamp<qint64>(args.Int(1, 0), 0, 2));
        return true;
    case Key("CI"): {
        const qint64 charset = args.Int(0, 0);
        if (!KnownCharset(int(std::clamp<qint64>(charset, -1, 99))))
            Warn(QStringLiteral("^CI%1: unknown character set, code page 850 used").arg(charset),
                 command);
        printer_.charset = int(std::clamp<qint64>(charset, 0, 99));
        return true;
    }
    case Key("CW"): {
        const QByteArray letter = args.Text(0).left(1).toUpper();
        const QByteArray name = args.Text(1).toUpper();
        if (letter.isEmpty() || name.isEmpty()) {
            Warn(QStringLiteral("^CW needs a font letter and a font name"), command);
            return true;
        }
        printer_.fontAliases.insert(letter.at(0), name);
        return true;
    }
    case Key("BY"):
        printer_.barModule
            = Clamped(command, args.Int(0, printer_.barModule), 1, 10, "module width");
        printer_.barRatio = std::clamp(args.Real(1, printer_.barRatio), 2.0, 3.0);
        printer_.barHeight = Clamped(command, Len(args, 2, printer_.barHeight), 1, MaxDimension,
                                     "bar code height");
        return true;
    case Key("MU"):
        if (!ReadUnits(command.args, printer_.delimiter, printer_.units))
            Warn(QStringLiteral("^MU%1: units are D, I or M").arg(QLatin1Char(args.Letter(0, ' '))),
                 command);
        return true;
    case Key("LR"):
        labelReverse_ = args.Letter(0, 'N') == 'Y';
        return true;
    default:
        return false;
    }
}

void LabelInterpreter::StartField()
{
    field_ = Field();
    fieldContent_ = false;
    fieldFont_ = false;
    fieldOrientation_ = false;
    fieldOrigin_ = false;
    fieldHex_ = false;
    fieldHexIndicator_ = '_';
}

bool LabelInterpreter::FieldCommand(const LabelCommand &command, const Args &args)
{
    if (field_.line == 0) {
        field_.line = command.line;
        field_.column = command.column;
    }
    switch (KeyOf(command.name)) {
    case Key("FO"):
    case Key("FT"): {
        if (fieldContent_)
            EndField(&command, true);
        fieldOrigin_ = true;
        field_.typeset = command.name == "FT";
        field_.followX = field_.typeset && !args.Given(0);
        field_.followY = field_.typeset && !args.Given(1);
        const int x = Clamped(command, Len(args, 0, 0), 0, MaxDimension, "x");
        const int y = Clamped(command, Len(args, 1, 0), 0, MaxDimension, "y");
        field_.origin = QPoint(x + printer_.kept.homeX - printer_.kept.shift,
                               y + printer_.kept.homeY + printer_.kept.top);
        field_.justify
            = args.Given(2) ? int(std::clamp<qint64>(args.Int(2, 0), 0, 2)) : printer_.justify;
        field_.line = command.line;
        field_.column = command.column;
        return true;
    }
    case Key("FS"):
        EndField(&command, false);
        return true;
    case Key("FD"):
    case Key("FV"):
        field_.data = command.args;
        if (field_.data.size() > MaxFieldData) {
            Warn(QStringLiteral("field data longer than %1 bytes: cut").arg(MaxFieldData), command);
            field_.data.truncate(MaxFieldData);
        }
        fieldContent_ = true;
        return true;
    case Key("FN"):
        field_.number = int(std::clamp<qint64>(args.Int(0, 0), 0, 9999));
        fieldContent_ = true;
        return true;
    case Key("FH"):
        fieldHex_ = true;
        fieldHexIndicator_ = command.args.isEmpty() ? '_' : command.args.at(0);
        return true;
    case Key("FR"):
        field_.reverse = true;
        return true;
    case Key("A"): {
        // ^Afo,h,w: the font's name is the first character, the orientation follows.
        const QByteArray all = command.args;
        const char name = all.isEmpty() ? '0' : all.at(0);
        const Args rest(all.mid(1), printer_.delimiter);
        if (name == '@') {
            field_.font.name = rest.Text(3).toUpper();
            if (field_.font.name.isEmpty())
                Warn(QStringLiteral("^A@ without a font name: font 0 used"), command);
        } else {
            const char upper = (name >= 'a' && name <= 'z') ? char(name - 'a' + 'A') : name;
            field_.font.name = printer_.fontAliases.value(upper, QByteArray(1, upper));
        }
        if (field_.font.name.isEmpty())
            field_.font.name = "0";
        if (rest.Given(0)) {
            field_.orientation = OrientationFromLetter(rest.Letter(0, 'N'), printer_.orientation);
            fieldOrientation_ = true;
        }
        field_.font.height = Clamped(command, Len(rest, 1, 0), 0, MaxDimension, "height");
        field_.font.width = Clamped(command, Len(rest, 2, 0), 0, MaxDimension, "width");
        fieldFont_ = true;
        return true;
    }
    case Key("FB"):
        field_.block.on = true;
        field_.block.width = Clamped(command, Len(args, 0, 0), 0, MaxDimension, "block width");
        field_.block.lines = Clamped(command, args.Int(1, 1), 1, 9999, "lines");
        field_.block.spacing = Clamped(command, Len(args, 2, 0), -9999, 9999, "line spacing");
        field_.block.justify = args.Letter(3, 'L');
        if (!QByteArray("LCRJ").contains(field_.block.justify))
            field_.block.justify = 'L';
        field_.block.indent = Clamped(command, Len(args, 4, 0), 0, 9999, "hanging indent");
        return true;
    case Key("GS"):
        field_.kind = Field::Kind::Symbol;
        if (args.Given(0)) {
            field_.orientation = OrientationFromLetter(args.Letter(0, 'N'), printer_.orientation);
            fieldOrientation_ = true;
        }
        // The symbol's size: given here, or the ^CF font's.
        field_.font = printer_.font;
        field_.font.height
            = AtLeast(command, Len(args, 1, printer_.font.height), 1, MaxDimension, "height");
        field_.font.width
            = Clamped(command, Len(args, 2, field_.font.height), 1, MaxDimension, "width");
        fieldFont_ = true;
        return true;
    case Key("TB"):
        if (args.Given(0)) {
            field_.orientation = OrientationFromLetter(args.Letter(0, 'N'), printer_.orientation);
            fieldOrientation_ = true;
        }
        field_.block = FieldBlock();
        field_.block.on = true;
        field_.block.width = Clamped(command, Len(args, 1, 0), 0, MaxDimension, "block width");
        field_.block.height = AtLeast(command, Len(args, 2, 1), 1, MaxDimension, "block height");
        return true;
    case Key("SN"):
        field_.serial.on = true;
        field_.serial.start = args.Text(0).left(12);
        if (field_.serial.start.isEmpty())
            field_.serial.start = "1";
        field_.serial.increment = args.Int(1, 1);
        field_.serial.leadingZeros = args.Letter(2, 'N') == 'Y';
        fieldContent_ = true;
        return true;
    case Key("GB"):
        field_.kind = Field::Kind::Box;
        field_.thickness = AtLeast(command, Len(args, 2, 1), 1, MaxDimension, "thickness");
        field_.width = AtLeast(command, Len(args, 0, field_.thickness), field_.thickness,
                               MaxDimension, "width");
        field_.height = AtLeast(command, Len(args, 1, field_.thickness), field_.thickness,
                                MaxDimension, "height");
        field_.white = args.Letter(3, 'B') == 'W';
        field_.rounding = Clamped(command, args.Int(4, 0), 0, 8, "rounding");
        fieldContent_ = true;
        return true;
    case Key("GC"):
        field_.kind = Field::Kind::Circle;
        field_.width = field_.height = AtLeast(command, Len(args, 0, 3), 3, 4095, "diameter");
        field_.thickness = AtLeast(command, Len(args, 1, 1), 1, 4095, "thickness");
        field_.white = args.Letter(2, 'B') == 'W';
        fieldContent_ = true;
        return true;
    case Key("GE"):
        field_.kind = Field::Kind::Ellipse;
        field_.thickness = AtLeast(command, Len(args, 2, 1), 1, 4095, "thickness");
        field_.width = AtLeast(command, Len(args, 0, field_.thickness), 3, 4095, "width");
        field_.height = AtLeast(command, Len(args, 1, field_.thickness), 3, 4095, "height");
        field_.white = args.Letter(3, 'B') == 'W';
        fieldContent_ = true;
        return true;
    case Key("GD"): {
        field_.kind = Field::Kind::Diagonal;
        field_.thickness = AtLeast(command, Len(args, 2, 1), 1, MaxDimension, "thickness");
        field_.width = AtLeast(command, Len(args, 0, field_.thickness), 3, MaxDimension, "width");
        field_.height = AtLeast(command, Len(args, 1, field_.thickness), 3, MaxDimension, "height");
        field_.white = args.Letter(3, 'B') == 'W';
        const char lean = args.Letter(4, 'R');
        field_.leftLeaning = lean == 'L' || lean == '\\';
        fieldContent_ = true;
        return true;
    }
    default:
        return false;
    }
}

void LabelInterpreter::EndField(const LabelCommand *at, bool implicit)
{
    if (!fieldContent_) {
        StartField();
        return;
    }
    if (implicit && at)
        Warn(QStringLiteral("field without ^FS"), field_.line, field_.column);
    if (!fieldOrigin_)
        field_.origin = QPoint(printer_.kept.homeX - printer_.kept.shift,
                               printer_.kept.homeY + printer_.kept.top);
    if (!fieldFont_)
        field_.font = printer_.font;
    else if (field_.font.height == 0 && field_.font.width == 0) {
        field_.font.height = printer_.font.height;
        field_.font.width = printer_.font.name == field_.font.name ? printer_.font.width : 0;
    } else if (field_.font.height == 0 && !QByteArray("ABCDEFGH").contains(field_.font.name)) {
        // A scalable font given only its width is as high as it is wide.
        field_.font.height = field_.font.width;
    }
    if (field_.kind != Field::Kind::Text && field_.kind != Field::Kind::Barcode)
        field_.orientation = Orientation::Normal; // graphics do not turn with ^FW
    else if (!fieldOrientation_)
        field_.orientation = printer_.orientation;
    if (labelReverse_)
        field_.reverse = !field_.reverse;
    field_.charset = printer_.charset;
    if (fieldHex_)
        field_.data = DecodeHexEscapes(field_.data, fieldHexIndicator_);
    FieldText(field_);
    if (field_.number == 0 || KeepNumberedField())
        fields_.append(field_);
    StartField();
}

void LabelInterpreter::FieldText(Field &field)
{
    if ((field.kind != Field::Kind::Text && field.kind != Field::Kind::Symbol) || field.serial.on)
        return;
    bool valid = true;
    field.text = DecodeFieldText(field.data, field.charset, valid);
    if (!valid)
        Warn(field.charset == 28
                 ? QStringLiteral("field data is not UTF-8 (^CI28): shown as replacement marks")
                 : QStringLiteral("field data does not fit character set ^CI%1").arg(field.charset),
             field.line, field.column);
}

bool LabelInterpreter::KeepNumberedField()
{
    const int number = field_.number;
    if (!fieldOrigin_) {
        // Data for a numbered field: of a recalled format before it, or
        // kept for one to come.
        for (qsizetype i = fields_.size() - 1; i >= 0; --i) {
            Field &target = fields_[i];
            if (target.number != number)
                continue;
            target.data = field_.data;
            FieldText(target);
            return false;
        }
        numberedData_.insert(number, field_.data);
        return false;
    }
    if (const auto given = numberedData_.constFind(number); given != numberedData_.constEnd()) {
        field_.data = given.value();
        FieldText(field_);
    }
    return true;
}
