#include "preview/graphicdata.h"
#include "preview/labelinterpreter.h"
#include "preview/textfonts.h"

#include <QRegularExpression>

namespace {

// The first `count` parameters and everything after them (data that may
// hold the delimiter itself).
QList<QByteArray> SplitHead(const QByteArray &args, char delimiter, int count, QByteArray &rest)
{
    QList<QByteArray> head;
    qsizetype from = 0;
    while (head.size() < count) {
        const qsizetype at = args.indexOf(delimiter, from);
        if (at < 0) {
            head.append(args.mid(from).trimmed());
            rest.clear();
            return head;
        }
        head.append(args.mid(from, at - from).trimmed());
        from = at + 1;
    }
    rest = args.mid(from);
    return head;
}

// Stored objects are found on any device when not on the one named.
template<typename T> const T *FindObject(const QHash<QString, T> &objects, const QString &name)
{
    if (auto it = objects.constFind(name); it != objects.constEnd())
        return &it.value();
    const QString bare = name.mid(name.indexOf(QLatin1Char(':')) + 1);
    for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
        if (it.key().mid(it.key().indexOf(QLatin1Char(':')) + 1) == bare)
            return &it.value();
    }
    return nullptr;
}

// "*" stands for any run of characters, "?" for one.
bool Matches(const QString &pattern, const QString &name)
{
    // Object names hold no "/", so the path form of the wildcards serves.
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
    return re.match(name).hasMatch();
}

constexpr qint64 MaxStoredBytes = 64 * 1024 * 1024; // graphics and fonts in printer memory

} // namespace

using namespace label;

QString label::ObjectName(const QByteArray &text, const QString &extension)
{
    QString name = QString::fromLatin1(text.trimmed()).toUpper();
    if (!name.contains(QLatin1Char(':')))
        name.prepend(QStringLiteral("R:"));
    if (!name.mid(name.indexOf(QLatin1Char(':')) + 1).contains(QLatin1Char('.')))
        name += QLatin1Char('.') + extension;
    return name;
}

bool LabelInterpreter::Store(const LabelCommand &command, const QString &name, qint64 bytes)
{
    qint64 used = 0;
    for (auto it = storedSizes_.cbegin(); it != storedSizes_.cend(); ++it)
        used += it.key() == name ? 0 : it.value();
    if (used + bytes > MaxStoredBytes) {
        Warn(QStringLiteral("%1: printer memory full, %2 not stored").arg(Written(command), name),
             command);
        return false;
    }
    storedSizes_.insert(name, bytes);
    return true;
}

void LabelInterpreter::StoreFont(const LabelCommand &command, const QString &name,
                                 const QByteArray &bytes)
{
    if (!Store(command, name, bytes.size()))
        return;
    if (!fonts_->AddFont(name, bytes))
        Warn(
            QStringLiteral("%1: %2 is not a TrueType or OpenType font").arg(Written(command), name),
            command);
}

QImage LabelInterpreter::ReadGraphic(const LabelCommand &command, const QString &what,
                                     const GraphicData &graphic)
{
    QString problem;
    qsizetype at = -1;
    const QImage image = DecodeGraphic(graphic, MaxDimension, problem, &at);
    if (problem.isEmpty())
        return image;
    // The data is the tail of the parameters, which hold no line breaks
    // (but for binary data): they are counted back in to name the place.
    int line = command.line;
    int column = command.column;
    if (at >= 0 && lexer_ && command.argsAt > command.offset) {
        const QByteArray &input = lexer_->Input();
        qsizetype left = command.args.size() - graphic.data.size() + at;
        int atLine = line;
        int atColumn = column;
        for (qsizetype i = command.offset; i < input.size() && i < command.end; ++i) {
            const char c = input.at(i);
            const bool kept
                = i >= command.argsAt && (graphic.format == 'B' || (c != '\r' && c != '\n'));
            if (kept && left-- == 0)
                break;
            line = c == '\n' ? line + 1 : line;
            column = c == '\n' ? 1 : column + 1;
            if (kept) {
                // Data that ends short is named just after its last byte.
                atLine = line;
                atColumn = column;
            }
        }
        if (left >= 0) {
            line = atLine;
            column = atColumn;
        }
    }
    Warn(QStringLiteral("%1: %2").arg(what, problem), line, column);
    return image;
}

void LabelInterpreter::StoreGraphic(const LabelCommand &command, const QString &name,
                                    const GraphicData &graphic)
{
    const QImage image = ReadGraphic(command, Written(command) + QLatin1Char(' ') + name, graphic);
    if (!image.isNull() && Store(command, name, image.sizeInBytes()))
        graphics_.insert(name, image);
}

// Downloads into printer memory: graphics (~DG, ~DY) and fonts (~DU, ~DT, ~DY).
bool LabelInterpreter::StoreCommand(const LabelCommand &command, const Args &args)
{
    const char delimiter = printer_.delimiter;
    QByteArray data;
    switch (KeyOf(command.name)) {
    case Key("DG"): {
        const QList<QByteArray> head = SplitHead(command.args, delimiter, 3, data);
        const QString name = ObjectName(head.value(0), QStringLiteral("GRF"));
        GraphicData graphic;
        graphic.totalBytes = head.value(1).toLongLong();
        graphic.bytesPerRow = head.value(2).toInt();
        graphic.data = data;
        StoreGraphic(command, name, graphic);
        return true;
    }
    case Key("DU"):
    case Key("DT"): {
        const QList<QByteArray> head = SplitHead(command.args, delimiter, 2, data);
        const QString name = ObjectName(
            head.value(0), command.name == "DU" ? QStringLiteral("FNT") : QStringLiteral("DAT"));
        const qint64 size = head.value(1).toLongLong();
        if (size < 0 || size > MaxGraphicBytes) {
            Warn(QStringLiteral("%1: a font of %2 bytes is not taken")
                     .arg(Written(command))
                     .arg(size),
                 command);
            return true;
        }
        QByteArray bytes = QByteArray::fromHex(data.left(2 * size + 2 * size / 16 + 64));
        if (bytes.size() < size)
            Warn(QStringLiteral("%1: %2 bytes announced, %3 given")
                     .arg(Written(command))
                     .arg(size)
                     .arg(bytes.size()),
                 command);
        bytes.truncate(size);
        StoreFont(command, name, bytes);
        return true;
    }
    case Key("DY"): {
        // ~DYd:f,b,x,t,w,data: format A hex / B binary, extension, total, row bytes.
        const QList<QByteArray> head = SplitHead(command.args, delimiter, 5, data);
        const char format = args.Letter(1, 'A');
        const char extension = args.Letter(2, 'G');
        const qint64 total = head.value(3).toLongLong();
        if (total < 0 || total > MaxGraphicBytes) {
            Warn(QStringLiteral("~DY: an object of %1 bytes is not taken").arg(total), command);
            return true;
        }
        if (command.dataCut)
            Warn(QStringLiteral("~DY: %1 bytes announced, the input ends before").arg(total),
                 command);
        if (extension == 'G') {
            GraphicData graphic;
            graphic.format = format == 'B' ? 'B' : 'A';
            graphic.totalBytes = total;
            graphic.bytesPerRow = head.value(4).toInt();
            graphic.data = data;
            const QString name = ObjectName(head.value(0), QStringLiteral("GRF"));
            StoreGraphic(command, name, graphic);
            return true;
        }
        QByteArray bytes = format == 'B' ? data : QByteArray::fromHex(data);
        if (extension == 'P') {
            const QString name = ObjectName(head.value(0), QStringLiteral("PNG"));
            QImage image = QImage::fromData(bytes.left(total), "PNG");
            if (image.isNull() || qint64(image.width()) * image.height() > MaxLabelDots) {
                Warn(QStringLiteral("~DY %1: not a PNG picture that fits a label").arg(name),
                     command);
                return true;
            }
            image = image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
            if (qGray(image.color(1)) > qGray(image.color(0)))
                image.invertPixels();
            image.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
            if (Store(command, name, image.sizeInBytes()))
                graphics_.insert(name, image);
            return true;
        }
        if (extension == 'T' || extension == 'E' || extension == 'O') {
            const QString name = ObjectName(head.value(0),
                                            extension == 'T'       ? QStringLiteral("TTF")
                                                : extension == 'E' ? QStringLiteral("TTE")
                                                                   : QStringLiteral("OTF"));
            bytes.truncate(total);
            StoreFont(command, name, bytes);
            return true;
        }
        Warn(QStringLiteral("~DY: objects of kind %1 not rendered").arg(QLatin1Char(extension)),
             command);
        return true;
    }
    default:
        return false;
    }
}

// Graphic fields: ^GF inline, ^XG / ^IM from memory; ^ID deletes.
bool LabelInterpreter::GraphicCommand(const LabelCommand &command, const Args &args)
{
    const char delimiter = printer_.delimiter;
    switch (KeyOf(command.name)) {
    case Key("GF"): {
        QByteArray data;
        const QList<QByteArray> head = SplitHead(command.args, delimiter, 4, data);
        GraphicData graphic;
        graphic.format = head.value(0).isEmpty() ? 'A' : char(head.value(0).toUpper().at(0));
        graphic.totalBytes = head.value(2).toLongLong();
        graphic.bytesPerRow = head.value(3).toInt();
        graphic.data = data;
        if (command.dataCut)
            Warn(QStringLiteral("^GF: %1 bytes announced, the input ends before")
                     .arg(head.value(1).toLongLong()),
                 command);
        field_.graphic = ReadGraphic(command, QStringLiteral("^GF"), graphic);
        field_.kind = Field::Kind::Graphic;
        field_.magnifyX = field_.magnifyY = 1;
        fieldContent_ = true;
        return true;
    }
    case Key("XG"):
    case Key("IM"): {
        const QString name = ObjectName(args.Text(0), QStringLiteral("GRF"));
        const QImage *image = FindObject(graphics_, name);
        if (!image) {
            Warn(QStringLiteral("%1: %2 is not in printer memory").arg(Written(command), name),
                 command);
            return true;
        }
        field_.kind = Field::Kind::Graphic;
        field_.graphic = *image;
        const bool magnify = command.name == "XG";
        field_.magnifyX = magnify ? Clamped(command, args.Int(1, 1), 1, 10, "magnification") : 1;
        field_.magnifyY = magnify ? Clamped(command, args.Int(2, 1), 1, 10, "magnification") : 1;
        fieldContent_ = true;
        return true;
    }
    case Key("ID"): {
        const QString pattern = ObjectName(args.Text(0), QStringLiteral("GRF"));
        for (auto it = graphics_.begin(); it != graphics_.end();) {
            if (Matches(pattern, it.key())) {
                storedSizes_.remove(it.key());
                it = graphics_.erase(it);
            } else {
                ++it;
            }
        }
        return true;
    }
    default:
        return false;
    }
}

// ^DF keeps the rest of the format under a name; ^XF reads it back.
bool LabelInterpreter::StoredFormatCommand(const LabelCommand &command, const Args &args)
{
    const QString name = ObjectName(args.Text(0), QStringLiteral("ZPL"));
    if (command.name == "DF") {
        if (fieldContent_)
            EndField(&command, true);
        storingAs_ = name;
        storedBody_.clear();
        return true;
    }
    const QByteArray *body = FindObject(printer_.formats, name);
    if (!body) {
        Warn(QStringLiteral("%1: %2 is not in printer memory").arg(Written(command), name),
             command);
        return true;
    }
    Recall(command, *body);
    return true;
}
