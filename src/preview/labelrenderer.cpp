#include "preview/labelrenderer.h"

#include "preview/barcodeparams.h"
#include "preview/commandlexer.h"
#include "preview/fielddata.h"
#include "preview/fieldpainter.h"
#include "preview/graphicdata.h"
#include "preview/labelfield.h"
#include "preview/textfonts.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int MaxDimension = 32000; // the largest ^PW / ^LL / field size a printer takes
constexpr qint64 MaxLabelDots = 32'000'000; // one canvas: 32 MB, 832 x 32000 dots fit
constexpr qint64 MaxDistinctLabelBytes = 32 * 1024 * 1024; // pictures of one call
constexpr qsizetype MaxFieldData = 3072; // bytes of one field's data
constexpr qint64 TimeBudgetMs = 1000;

template<size_t N> constexpr quint16 Key(const char (&name)[N])
{
    static_assert(N == 2 || N == 3);
    return N == 2 ? quint16(uchar(name[0]) << 8) : quint16(uchar(name[0]) << 8 | uchar(name[1]));
}

quint16 KeyOf(const QByteArray &name)
{
    if (name.size() == 1)
        return quint16(uchar(name.at(0)) << 8);
    if (name.size() != 2)
        return 0;
    return quint16(uchar(name.at(0)) << 8 | uchar(name.at(1)));
}

// A command's parameters split at the delimiter.
class Args
{
public:
    Args(const QByteArray &text, char delimiter)
        : parts_(text.split(delimiter))
    { }

    qsizetype Count() const { return parts_.size(); }
    QByteArray Text(int i) const { return parts_.value(i).trimmed(); }
    bool Given(int i) const { return !Text(i).isEmpty(); }
    char Letter(int i, char fallback) const
    {
        const QByteArray t = Text(i);
        if (t.isEmpty())
            return fallback;
        const char c = t.at(0);
        return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    // A number as the printer reads it: leading sign and digits, the rest
    // ignored; the fallback when there are none.
    qint64 Int(int i, qint64 fallback) const
    {
        const QByteArray t = Text(i);
        qsizetype n = 0;
        if (n < t.size() && (t.at(n) == '-' || t.at(n) == '+'))
            ++n;
        const qsizetype digitsStart = n;
        while (n < t.size() && t.at(n) >= '0' && t.at(n) <= '9' && n < 18)
            ++n;
        if (n == digitsStart)
            return fallback;
        return t.left(n).toLongLong();
    }
    double Real(int i, double fallback) const
    {
        bool ok = false;
        const double v = Text(i).toDouble(&ok);
        return ok && std::isfinite(v) ? v : fallback;
    }

private:
    QList<QByteArray> parts_;
};

// Packs a grey canvas into one bit per dot, black where darker than half.
QImage ToMono(const QImage &canvas, int dotsPerMm)
{
    QImage mono(canvas.size(), QImage::Format_Mono);
    mono.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
    const int w = canvas.width();
    for (int y = 0; y < canvas.height(); ++y) {
        const uchar *from = canvas.constScanLine(y);
        uchar *to = mono.scanLine(y);
        std::memset(to, 0, size_t(mono.bytesPerLine()));
        int x = 0;
        for (; x + 8 <= w; x += 8) {
            // Eight dots at once: the top bit of each byte is clear where the
            // dot is darker than half; the multiply gathers them, the first
            // dot into the highest bit.
            quint64 eight;
            std::memcpy(&eight, from + x, 8);
            const quint64 dark = (~eight & 0x8080808080808080ULL) >> 7;
            to[x >> 3] = uchar((dark * 0x8040201008040201ULL) >> 56);
        }
        for (; x < w; ++x) {
            if (from[x] < 128)
                to[x >> 3] |= uchar(0x80 >> (x & 7));
        }
    }
    mono.setDotsPerMeterX(dotsPerMm * 1000);
    mono.setDotsPerMeterY(dotsPerMm * 1000);
    return mono;
}

// What a setting's letter means; "unknown (x)" for a letter not listed.
struct Meaning
{
    char letter;
    const char *text;
};
QString MeaningOf(char letter, std::initializer_list<Meaning> meanings)
{
    for (const Meaning &meaning : meanings) {
        if (meaning.letter == letter)
            return QString::fromUtf8(meaning.text);
    }
    return QStringLiteral("unknown (%1)").arg(QLatin1Char(letter));
}

QString Written(const LabelCommand &command)
{
    return QString::fromLatin1(command.Written());
}

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

// An object in printer memory: upper case, device R: and the extension
// when not given ("logo" -> "R:LOGO.GRF").
QString ObjectName(const QByteArray &text, const QString &extension)
{
    QString name = QString::fromLatin1(text.trimmed()).toUpper();
    if (!name.contains(QLatin1Char(':')))
        name.prepend(QStringLiteral("R:"));
    if (!name.mid(name.indexOf(QLatin1Char(':')) + 1).contains(QLatin1Char('.')))
        name += QLatin1Char('.') + extension;
    return name;
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

int DotsPerMmForDpi(int dpi)
{
    return dpi >= 250 ? 12 : 8;
}

Orientation OrientationFromLetter(char letter, Orientation fallback)
{
    switch (letter) {
    case 'N':
        return Orientation::Normal;
    case 'R':
        return Orientation::Rotated;
    case 'I':
        return Orientation::Inverted;
    case 'B':
        return Orientation::Bottom;
    default:
        return fallback;
    }
}

class LabelRendererPrivate
{
public:
    explicit LabelRendererPrivate(const RenderOptions &o)
        : options(o)
    {
        options.dotsPerMm = std::clamp(options.dotsPerMm, 1, 24);
        options.maxLabels = std::max(options.maxLabels, 0);
        Reset();
    }

    void Reset();
    RenderResult Render(const QByteArray &commands);

    RenderOptions options;

private:
    // What a printer keeps from one format to the next.
    struct Printer
    {
        int printWidth = 0; // 0: the options' default
        int labelLength = 0;
        QPoint home;
        int top = 0;
        int shift = 0;
        bool inverted = false;
        bool mirrored = false;
        FontRequest font; // ^CF
        Orientation orientation = Orientation::Normal; // ^FW
        int justify = 0;
        int barModule = 2; // ^BY
        double barRatio = 3.0;
        int barHeight = 10;
        int charset = 0;
        QHash<char, QByteArray> fontAliases; // ^CW
    };

    void Warn(const QString &text, int line, int column);
    void Warn(const QString &text, const LabelCommand &command)
    {
        Warn(text, command.line, command.column);
    }
    void Setting(const LabelCommand &command, const QString &name, const QString &value);
    int Clamped(const LabelCommand &command, qint64 value, int low, int high, const char *what);

    void Command(const LabelCommand &command);
    bool FormatCommand(const LabelCommand &command, const Args &args);
    bool FieldCommand(const LabelCommand &command, const Args &args);
    bool ControlCommand(const LabelCommand &command, const Args &args);
    bool SettingCommand(const LabelCommand &command, const Args &args);

    void StartField();
    void EndField(const LabelCommand *at, bool implicit);
    void StartFormat(const LabelCommand &command);
    void EndFormat();
    QSize LabelSize();
    void DrawFields(QImage &canvas, qsizetype from, qsizetype to, qint64 labelIndex);

    bool StoreCommand(const LabelCommand &command, const Args &args);
    bool GraphicCommand(const LabelCommand &command, const Args &args);
    bool BarcodeCommand(const LabelCommand &command, const Args &args);
    bool Store(const LabelCommand &command, const QString &name, qint64 bytes);
    void StoreFont(const LabelCommand &command, const QString &name, const QByteArray &bytes);
    void StoreGraphic(const LabelCommand &command, const QString &name, const GraphicData &graphic);

    Printer printer_;
    QList<RenderSetting> settings_;
    std::unique_ptr<FontStore> fonts_;
    QHash<QString, QImage> graphics_;
    QHash<QString, qint64> storedSizes_;

    // One call
    RenderResult result_;
    CommandLexer *lexer_ = nullptr;
    QElapsedTimer clock_;
    bool outOfTime_ = false;
    qint64 distinctBytes_ = 0;

    // The open format
    bool inFormat_ = false;
    int formatLine_ = 0;
    QList<Field> fields_;
    qint64 quantity_ = 1;
    qint64 replicates_ = 1;
    bool labelReverse_ = false;

    // The open field
    Field field_;
    bool fieldContent_ = false;
    bool fieldFont_ = false; // ^A given
    bool fieldOrientation_ = false;
    bool fieldOrigin_ = false;
    bool fieldHex_ = false;
    char fieldHexIndicator_ = '_';
};

void LabelRendererPrivate::Reset()
{
    printer_ = Printer();
    printer_.font.name = "A";
    printer_.font.height = 9;
    printer_.font.width = 5;
    settings_.clear();
    fonts_ = std::make_unique<FontStore>();
    for (auto it = options.fonts.cbegin(); it != options.fonts.cend(); ++it)
        fonts_->AddFont(it.key(), it.value());
    graphics_.clear();
    storedSizes_.clear();
    for (auto it = options.graphics.cbegin(); it != options.graphics.cend(); ++it) {
        QImage mono = it.value().convertToFormat(QImage::Format_Mono);
        if (mono.isNull())
            continue;
        // Black dots are the bits set, whatever the caller's colour table.
        if (qGray(mono.color(1)) > qGray(mono.color(0)))
            mono.invertPixels();
        mono.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
        graphics_.insert(ObjectName(it.key().toLatin1(), QStringLiteral("GRF")), mono);
    }
}

bool LabelRendererPrivate::Store(const LabelCommand &command, const QString &name, qint64 bytes)
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

void LabelRendererPrivate::StoreFont(const LabelCommand &command, const QString &name,
                                     const QByteArray &bytes)
{
    if (!Store(command, name, bytes.size()))
        return;
    if (!fonts_->AddFont(name, bytes))
        Warn(
            QStringLiteral("%1: %2 is not a TrueType or OpenType font").arg(Written(command), name),
            command);
}

void LabelRendererPrivate::StoreGraphic(const LabelCommand &command, const QString &name,
                                        const GraphicData &graphic)
{
    QString problem;
    const QImage image = DecodeGraphic(graphic, MaxDimension, problem);
    if (!problem.isEmpty())
        Warn(QStringLiteral("%1 %2: %3").arg(Written(command), name, problem), command);
    if (!image.isNull() && Store(command, name, image.sizeInBytes()))
        graphics_.insert(name, image);
}

// Downloads into printer memory: graphics (~DG, ~DY) and fonts (~DU, ~DT, ~DY).
bool LabelRendererPrivate::StoreCommand(const LabelCommand &command, const Args &args)
{
    const char delimiter = lexer_->Delimiter();
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
        QByteArray bytes = format == 'B' ? data : QByteArray::fromHex(data);
        if (extension == 'G') {
            GraphicData graphic;
            graphic.format = 'B';
            graphic.totalBytes = total;
            graphic.bytesPerRow = head.value(4).toInt();
            graphic.data = bytes;
            if (format == 'A' && data.startsWith(":")) {
                graphic.format = 'A';
                graphic.data = data;
            }
            const QString name = ObjectName(head.value(0), QStringLiteral("GRF"));
            StoreGraphic(command, name, graphic);
            return true;
        }
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
bool LabelRendererPrivate::GraphicCommand(const LabelCommand &command, const Args &args)
{
    const char delimiter = lexer_->Delimiter();
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
        QString problem;
        field_.graphic = DecodeGraphic(graphic, MaxDimension, problem);
        if (!problem.isEmpty())
            Warn(QStringLiteral("^GF: %1").arg(problem), command);
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

void LabelRendererPrivate::Warn(const QString &text, int line, int column)
{
    // The same complaint about the same place once is enough.
    if (!result_.warnings.isEmpty()) {
        const RenderWarning &last = result_.warnings.constLast();
        if (last.text == text && last.line == line && last.column == column)
            return;
    }
    if (result_.warnings.size() >= 1000) {
        if (result_.warnings.size() == 1000)
            result_.warnings.append({ QStringLiteral("more warnings not listed"), line, column });
        return;
    }
    result_.warnings.append({ text, line, column });
}

void LabelRendererPrivate::Setting(const LabelCommand &command, const QString &name,
                                   const QString &value)
{
    const QString written = Written(command);
    for (RenderSetting &setting : settings_) {
        if (setting.command == written) {
            setting.value = value;
            setting.line = command.line;
            return;
        }
    }
    settings_.append({ written, name, value, command.line });
}

int LabelRendererPrivate::Clamped(const LabelCommand &command, qint64 value, int low, int high,
                                  const char *what)
{
    if (value >= low && value <= high)
        return int(value);
    const int clamped = int(std::clamp<qint64>(value, low, high));
    Warn(QStringLiteral("%1: %2 %3 out of range, %4 used")
             .arg(Written(command), QLatin1String(what))
             .arg(value)
             .arg(clamped),
         command);
    return clamped;
}

RenderResult LabelRendererPrivate::Render(const QByteArray &commands)
{
    result_ = RenderResult();
    clock_.start();
    outOfTime_ = false;
    distinctBytes_ = 0;
    inFormat_ = false;
    CommandLexer lexer(commands);
    lexer_ = &lexer;
    LabelCommand command;
    qint64 count = 0;
    while (lexer.Next(command)) {
        if (++count % 256 == 0 && clock_.elapsed() > TimeBudgetMs) {
            Warn(QStringLiteral("reading stopped after one second: the rest is not drawn"),
                 command.line, command.column);
            outOfTime_ = true;
            break;
        }
        Command(command);
    }
    if (inFormat_) {
        Warn(QStringLiteral("^XA without ^XZ: the format is drawn as far as it goes"), formatLine_,
             1);
        EndFormat();
    }
    if (lexer.StrayLine() > 0)
        Warn(QStringLiteral("text outside any command ignored"), lexer.StrayLine(),
             lexer.StrayColumn());
    lexer_ = nullptr;
    result_.settings = settings_;
    return std::move(result_);
}

void LabelRendererPrivate::Command(const LabelCommand &command)
{
    const Args args(command.args, lexer_->Delimiter());
    if (command.name.size() < 2 && command.name != "A") {
        Warn(QStringLiteral("%1: incomplete command").arg(Written(command)), command);
        return;
    }
    if (command.kind == LabelCommand::Kind::Control) {
        if (ControlCommand(command, args) || SettingCommand(command, args)
            || StoreCommand(command, args))
            return;
        Warn(QStringLiteral("%1 not rendered").arg(Written(command)), command);
        return;
    }

    const quint16 key = KeyOf(command.name);
    if (key == Key("XA")) {
        StartFormat(command);
        return;
    }
    if (SettingCommand(command, args))
        return;
    if (!inFormat_) {
        if (key == Key("XZ"))
            Warn(QStringLiteral("^XZ without ^XA"), command);
        else if (key != Key("FX"))
            Warn(QStringLiteral("%1 outside ^XA … ^XZ ignored").arg(Written(command)), command);
        return;
    }
    if (FormatCommand(command, args) || FieldCommand(command, args) || GraphicCommand(command, args)
        || BarcodeCommand(command, args))
        return;
    Warn(QStringLiteral("%1 not rendered").arg(Written(command)), command);
}

// Settings the printer keeps: shown beside the picture, some also move it.
bool LabelRendererPrivate::SettingCommand(const LabelCommand &command, const Args &args)
{
    const quint16 key = KeyOf(command.name);
    const bool control = command.kind == LabelCommand::Kind::Control;
    if (control) {
        if (key == Key("SD")) {
            Setting(command, QStringLiteral("Darkness"),
                    QString::number(Clamped(command, args.Int(0, 15), 0, 30, "darkness")));
            return true;
        }
        if (key == Key("TA")) {
            Setting(command, QStringLiteral("Tear-off position"),
                    QStringLiteral("%1 dots").arg(args.Int(0, 0)));
            return true;
        }
        return false;
    }
    switch (key) {
    case Key("PR"): {
        // Letters A to E stand for 2, 3, 4, 6 and 8 inches per second.
        const char letter = args.Letter(0, '?');
        qint64 speed = args.Int(0, -1);
        if (speed < 0) {
            const QByteArray letters = "ABCDE";
            const int speeds[] = { 2, 3, 4, 6, 8 };
            const qsizetype at = letters.indexOf(letter);
            speed = at >= 0 ? speeds[at] : 2;
        }
        Setting(command, QStringLiteral("Print speed"), QStringLiteral("%1 in/s").arg(speed));
        return true;
    }
    case Key("MD"):
        Setting(command, QStringLiteral("Darkness adjustment"), QString::number(args.Int(0, 0)));
        return true;
    case Key("MN"):
        Setting(command, QStringLiteral("Media tracking"),
                MeaningOf(args.Letter(0, 'Y'),
                          { { 'N', "Continuous" },
                            { 'Y', "Web sensing" },
                            { 'W', "Web sensing" },
                            { 'M', "Mark sensing" },
                            { 'A', "Auto-detect" },
                            { 'V', "Continuous, variable length" } }));
        return true;
    case Key("MT"):
        Setting(command, QStringLiteral("Media type"),
                MeaningOf(args.Letter(0, 'T'),
                          { { 'D', "Thermal direct" }, { 'T', "Thermal transfer" } }));
        return true;
    case Key("MM"):
        Setting(command, QStringLiteral("Post-print action"),
                MeaningOf(args.Letter(0, 'T'),
                          { { 'T', "Tear off" },
                            { 'P', "Peel off" },
                            { 'R', "Rewind" },
                            { 'C', "Cutter" },
                            { 'D', "Delayed cut" },
                            { 'A', "Applicator" },
                            { 'K', "Kiosk" } }));
        return true;
    case Key("JU"):
        Setting(command, QStringLiteral("Configuration"),
                MeaningOf(args.Letter(0, '?'),
                          { { 'S', "Save current settings" },
                            { 'F', "Load factory defaults" },
                            { 'R', "Recall last saved settings" },
                            { 'A', "Load factory defaults, network included" },
                            { 'N', "Load network factory defaults" } }));
        return true;
    case Key("PO"): {
        const char m = args.Letter(0, 'N');
        if (m != 'N' && m != 'I')
            Warn(QStringLiteral("^PO%1: only N and I are known").arg(QLatin1Char(m)), command);
        printer_.inverted = m == 'I';
        Setting(command, QStringLiteral("Print orientation"),
                printer_.inverted ? QStringLiteral("Inverted (180°)") : QStringLiteral("Normal"));
        return true;
    }
    case Key("PM"):
        printer_.mirrored = args.Letter(0, 'N') == 'Y';
        Setting(command, QStringLiteral("Mirror image"),
                printer_.mirrored ? QStringLiteral("Yes") : QStringLiteral("No"));
        return true;
    case Key("PW"):
        printer_.printWidth = Clamped(command, args.Int(0, 0), 2, MaxDimension, "print width");
        Setting(command, QStringLiteral("Print width"),
                QStringLiteral("%1 dots").arg(printer_.printWidth));
        return true;
    case Key("LL"):
        printer_.labelLength = Clamped(command, args.Int(0, 0), 1, MaxDimension, "label length");
        Setting(command, QStringLiteral("Label length"),
                QStringLiteral("%1 dots").arg(printer_.labelLength));
        return true;
    case Key("LH"):
        printer_.home = QPoint(Clamped(command, args.Int(0, 0), 0, MaxDimension, "home x"),
                               Clamped(command, args.Int(1, 0), 0, MaxDimension, "home y"));
        Setting(command, QStringLiteral("Label home"),
                QStringLiteral("%1, %2 dots").arg(printer_.home.x()).arg(printer_.home.y()));
        return true;
    case Key("LT"):
        printer_.top = Clamped(command, args.Int(0, 0), -120, 120, "label top");
        Setting(command, QStringLiteral("Label top"), QStringLiteral("%1 dots").arg(printer_.top));
        return true;
    case Key("LS"):
        printer_.shift = Clamped(command, args.Int(0, 0), -9999, 9999, "label shift");
        Setting(command, QStringLiteral("Label shift"),
                QStringLiteral("%1 dots").arg(printer_.shift));
        return true;
    default:
        return false;
    }
}

bool LabelRendererPrivate::ControlCommand(const LabelCommand &command, const Args &)
{
    switch (KeyOf(command.name)) {
    case Key("CC"):
        if (!command.args.isEmpty())
            lexer_->SetFormatPrefix(command.args.at(0));
        return true;
    case Key("CT"):
        if (!command.args.isEmpty())
            lexer_->SetControlPrefix(command.args.at(0));
        return true;
    case Key("CD"):
        if (!command.args.isEmpty())
            lexer_->SetDelimiter(command.args.at(0));
        return true;
    case Key("JA"): // cancel all, print start, pause, reset: nothing here waits or moves
    case Key("PS"):
    case Key("PP"):
    case Key("JR"):
        return true;
    default:
        return false;
    }
}

bool LabelRendererPrivate::FormatCommand(const LabelCommand &command, const Args &args)
{
    switch (KeyOf(command.name)) {
    case Key("XZ"):
        if (fieldContent_)
            EndField(&command, true);
        EndFormat();
        return true;
    case Key("FX"): // comment
        return true;
    case Key("CC"):
    case Key("CT"):
    case Key("CD"):
        return ControlCommand(command, args);
    case Key("PQ"): {
        quantity_ = std::clamp<qint64>(args.Int(0, 1), 1, 99'999'999);
        replicates_ = std::clamp<qint64>(args.Int(2, 0), 1, 99'999'999);
        return true;
    }
    case Key("CF"): {
        const QByteArray font = args.Text(0).left(1).toUpper();
        if (!font.isEmpty())
            printer_.font.name = printer_.fontAliases.value(font.at(0), font);
        if (args.Given(1))
            printer_.font.height = Clamped(command, args.Int(1, 0), 0, MaxDimension, "height");
        if (args.Given(2))
            printer_.font.width = Clamped(command, args.Int(2, 0), 0, MaxDimension, "width");
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
        printer_.barHeight
            = Clamped(command, args.Int(2, printer_.barHeight), 1, MaxDimension, "bar code height");
        return true;
    case Key("LR"):
        labelReverse_ = args.Letter(0, 'N') == 'Y';
        return true;
    default:
        return false;
    }
}

// ^Bx: the field becomes a bar code of its data. Parameter places differ
// per symbology; heights default to ^BY's.
bool LabelRendererPrivate::BarcodeCommand(const LabelCommand &command, const Args &args)
{
    if (command.name.size() != 2 || command.name.at(0) != 'B' || command.name == "BY")
        return false;
    const char type = command.name.at(1);
    if (!QByteArray("C3EU28AQX7").contains(type) && !IsFurtherBarcode(type))
        return false;
    BarcodeParams &barcode = field_.barcode;
    barcode = BarcodeParams();
    barcode.type = type;
    barcode.module = printer_.barModule;
    barcode.ratio = printer_.barRatio;
    barcode.height = printer_.barHeight;
    if (args.Given(0)) {
        field_.orientation = OrientationFromLetter(args.Letter(0, 'N'), printer_.orientation);
        fieldOrientation_ = true;
    }
    auto height = [&](int i) {
        if (args.Given(i))
            barcode.height
                = Clamped(command, args.Int(i, barcode.height), 1, MaxDimension, "height");
    };
    auto yes = [&](int i, bool fallback) {
        return args.Letter(i, fallback ? 'Y' : 'N') == 'Y';
    };
    switch (type) {
    case 'C':
        height(1);
        barcode.text = yes(2, true);
        barcode.textAbove = yes(3, false);
        barcode.checkDigit = yes(4, false);
        barcode.mode = args.Letter(5, 'N');
        break;
    case '3':
        barcode.checkDigit = yes(1, false);
        height(2);
        barcode.text = yes(3, true);
        barcode.textAbove = yes(4, false);
        break;
    case 'E':
    case 'U':
    case '2':
    case 'A':
    case '8':
        height(1);
        barcode.text = yes(2, true);
        barcode.textAbove = yes(3, false);
        break;
    case 'Q':
        // ^BQo,model,magnification,correction,mask: the data carries its own correction.
        barcode.magnification = Clamped(command, args.Int(2, options.dotsPerMm >= 12 ? 3 : 2), 1,
                                        10, "magnification");
        barcode.text = false;
        break;
    case 'X':
        // ^BXo,h,s,c,r: module size, quality, columns, rows.
        barcode.magnification = Clamped(command, args.Int(1, 0), 0, MaxDimension, "module size");
        barcode.quality = int(args.Int(2, 200));
        barcode.columns = Clamped(command, args.Int(3, 0), 0, 144, "columns");
        barcode.rows = Clamped(command, args.Int(4, 0), 0, 144, "rows");
        barcode.text = false;
        break;
    case '7':
        // ^B7o,h,s,c,r,t: row height, security level, columns, rows, truncation.
        barcode.magnification = Clamped(command, args.Int(1, 0), 0, MaxDimension, "row height");
        barcode.security = Clamped(command, args.Int(2, 0), 0, 8, "security level");
        barcode.columns = Clamped(command, args.Int(3, 0), 0, 30, "columns");
        barcode.rows = Clamped(command, args.Int(4, 0), 0, 90, "rows");
        barcode.truncate = yes(5, false);
        barcode.text = false;
        break;
    default: {
        QList<QByteArray> params;
        for (int i = 0; i < args.Count(); ++i)
            params.append(args.Text(i));
        ReadFurtherBarcode(barcode, params, options.dotsPerMm);
        break;
    }
    }
    field_.kind = Field::Kind::Barcode;
    fieldContent_ = true;
    return true;
}

void LabelRendererPrivate::StartField()
{
    field_ = Field();
    fieldContent_ = false;
    fieldFont_ = false;
    fieldOrientation_ = false;
    fieldOrigin_ = false;
    fieldHex_ = false;
    fieldHexIndicator_ = '_';
}

bool LabelRendererPrivate::FieldCommand(const LabelCommand &command, const Args &args)
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
        const int x = Clamped(command, args.Int(0, 0), 0, MaxDimension, "x");
        const int y = Clamped(command, args.Int(1, 0), 0, MaxDimension, "y");
        field_.origin
            = QPoint(x + printer_.home.x() - printer_.shift, y + printer_.home.y() + printer_.top);
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
        const Args rest(all.mid(1), lexer_->Delimiter());
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
        field_.font.height = Clamped(command, rest.Int(1, 0), 0, MaxDimension, "height");
        field_.font.width = Clamped(command, rest.Int(2, 0), 0, MaxDimension, "width");
        fieldFont_ = true;
        return true;
    }
    case Key("FB"):
        field_.block.on = true;
        field_.block.width = Clamped(command, args.Int(0, 0), 0, MaxDimension, "block width");
        field_.block.lines = Clamped(command, args.Int(1, 1), 1, 9999, "lines");
        field_.block.spacing = Clamped(command, args.Int(2, 0), -9999, 9999, "line spacing");
        field_.block.justify = args.Letter(3, 'L');
        if (!QByteArray("LCRJ").contains(field_.block.justify))
            field_.block.justify = 'L';
        field_.block.indent = Clamped(command, args.Int(4, 0), 0, 9999, "hanging indent");
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
        field_.thickness = Clamped(command, args.Int(2, 1), 1, MaxDimension, "thickness");
        field_.width = Clamped(command, args.Int(0, field_.thickness), 1, MaxDimension, "width");
        field_.height = Clamped(command, args.Int(1, field_.thickness), 1, MaxDimension, "height");
        field_.white = args.Letter(3, 'B') == 'W';
        field_.rounding = Clamped(command, args.Int(4, 0), 0, 8, "rounding");
        fieldContent_ = true;
        return true;
    case Key("GC"):
        field_.kind = Field::Kind::Circle;
        field_.width = field_.height = Clamped(command, args.Int(0, 3), 3, 4095, "diameter");
        field_.thickness = Clamped(command, args.Int(1, 1), 1, 4095, "thickness");
        field_.white = args.Letter(2, 'B') == 'W';
        fieldContent_ = true;
        return true;
    case Key("GE"):
        field_.kind = Field::Kind::Ellipse;
        field_.thickness = Clamped(command, args.Int(2, 1), 1, 4095, "thickness");
        field_.width = Clamped(command, args.Int(0, field_.thickness), 3, 4095, "width");
        field_.height = Clamped(command, args.Int(1, field_.thickness), 3, 4095, "height");
        field_.white = args.Letter(3, 'B') == 'W';
        fieldContent_ = true;
        return true;
    case Key("GD"): {
        field_.kind = Field::Kind::Diagonal;
        field_.thickness = Clamped(command, args.Int(2, 1), 1, MaxDimension, "thickness");
        field_.width = Clamped(command, args.Int(0, field_.thickness), 3, MaxDimension, "width");
        field_.height = Clamped(command, args.Int(1, field_.thickness), 3, MaxDimension, "height");
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

void LabelRendererPrivate::EndField(const LabelCommand *at, bool implicit)
{
    if (!fieldContent_) {
        StartField();
        return;
    }
    if (implicit && at)
        Warn(QStringLiteral("field without ^FS"), field_.line, field_.column);
    if (!fieldOrigin_)
        field_.origin
            = QPoint(printer_.home.x() - printer_.shift, printer_.home.y() + printer_.top);
    if (!fieldFont_)
        field_.font = printer_.font;
    else if (field_.font.height == 0 && field_.font.width == 0) {
        field_.font.height = printer_.font.height;
        field_.font.width = printer_.font.name == field_.font.name ? printer_.font.width : 0;
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
    if (field_.kind == Field::Kind::Text && !field_.serial.on) {
        bool valid = true;
        field_.text = DecodeFieldText(field_.data, field_.charset, valid);
        if (!valid)
            Warn(field_.charset == 28
                     ? QStringLiteral("field data is not UTF-8 (^CI28): shown as replacement marks")
                     : QStringLiteral("field data does not fit character set ^CI%1")
                           .arg(field_.charset),
                 field_.line, field_.column);
    }
    fields_.append(field_);
    StartField();
}

void LabelRendererPrivate::StartFormat(const LabelCommand &command)
{
    if (inFormat_) {
        Warn(QStringLiteral("^XA inside a format ignored"), command);
        return;
    }
    inFormat_ = true;
    formatLine_ = command.line;
    fields_.clear();
    quantity_ = 1;
    replicates_ = 1;
    labelReverse_ = false;
    StartField();
}

QSize LabelRendererPrivate::LabelSize()
{
    const int dpi = options.dotsPerMm == 12 ? 300 : int(std::lround(options.dotsPerMm * 25.4));
    QSize size = options.defaultLabelSize;
    if (size.isEmpty())
        size = QSize(4 * dpi, 6 * dpi);
    if (printer_.printWidth > 0)
        size.setWidth(printer_.printWidth);
    if (printer_.labelLength > 0)
        size.setHeight(printer_.labelLength);
    size = size.boundedTo(QSize(MaxDimension, MaxDimension)).expandedTo(QSize(1, 1));
    if (qint64(size.width()) * size.height() > MaxLabelDots) {
        size.setHeight(int(MaxLabelDots / size.width()));
        Warn(QStringLiteral("label larger than %1 million dots: cut to %2 dots long")
                 .arg(MaxLabelDots / 1'000'000)
                 .arg(size.height()),
             formatLine_, 1);
    }
    return size;
}

void LabelRendererPrivate::DrawFields(QImage &canvas, qsizetype from, qsizetype to,
                                      qint64 labelIndex)
{
    FieldPainter painter(*fonts_, options.dotsPerMm);
    for (qsizetype i = from; i < to; ++i) {
        if (clock_.elapsed() > TimeBudgetMs) {
            if (!outOfTime_)
                Warn(QStringLiteral("drawing stopped after one second: the label is incomplete"),
                     fields_.at(i).line, fields_.at(i).column);
            outOfTime_ = true;
            return;
        }
        const Field &field = fields_.at(i);
        QString text = field.text;
        if (field.serial.on) {
            const qint64 step = labelIndex / replicates_;
            text = QString::fromLatin1(SerialValue(field.serial.start, field.serial.increment,
                                                   field.serial.leadingZeros, step));
        }
        QList<QString> problems;
        painter.Draw(canvas, field, text, problems);
        for (const QString &problem : problems)
            Warn(problem, field.line, field.column);
    }
}

void LabelRendererPrivate::EndFormat()
{
    inFormat_ = false;
    if (fields_.isEmpty())
        return; // settings only: nothing is printed
    const qint64 count = quantity_;
    result_.labelsRequested = int(
        std::min<qint64>(qint64(result_.labelsRequested) + count, std::numeric_limits<int>::max()));
    const qint64 room = std::max<qint64>(options.maxLabels - result_.labels.size(), 0);
    qint64 drawn = std::min(count, room);
    if (drawn < count)
        Warn(QStringLiteral("%1 labels asked for: only the first %2 are drawn")
                 .arg(count)
                 .arg(result_.labels.size() + drawn),
             formatLine_, 1);

    const QSize size = LabelSize();
    // Fields up to the first serial number are the same on every label.
    qsizetype firstSerial = fields_.size();
    for (qsizetype i = 0; i < fields_.size(); ++i) {
        if (fields_.at(i).serial.on) {
            firstSerial = i;
            break;
        }
    }
    QImage base(size, QImage::Format_Grayscale8);
    if (base.isNull()) {
        Warn(QStringLiteral("no memory for a label of %1 x %2 dots")
                 .arg(size.width())
                 .arg(size.height()),
             formatLine_, 1);
        return;
    }
    base.fill(255);
    DrawFields(base, 0, firstSerial, 0);

    auto finish = [this](const QImage &canvas) {
        QImage mono = ToMono(canvas, options.dotsPerMm);
        if (printer_.mirrored)
            mono = mono.mirrored(true, false);
        if (printer_.inverted)
            mono = mono.mirrored(true, true);
        return mono;
    };
    if (firstSerial == fields_.size()) {
        const QImage label = finish(base);
        for (qint64 i = 0; i < drawn; ++i)
            result_.labels.append(label); // shared, not copied
        return;
    }
    if (drawn == 1) {
        // One label: no need to keep the common part.
        DrawFields(base, firstSerial, fields_.size(), 0);
        result_.labels.append(finish(base));
        return;
    }
    const qint64 labelBytes = qint64(size.height()) * ((size.width() + 31) / 32 * 4);
    const bool largeCanvas = base.sizeInBytes() > 8 * 1024 * 1024;
    const QImage common = finish(base);
    for (qint64 i = 0; i < drawn; ++i) {
        if (distinctBytes_ + labelBytes > MaxDistinctLabelBytes || outOfTime_) {
            // Every label still gets a picture, the part they share.
            Warn(QStringLiteral("labels %1 to %2 shown without their serial numbers: drawing "
                                "them would take too much memory or time")
                     .arg(result_.labels.size() + 1)
                     .arg(result_.labels.size() + drawn - i),
                 formatLine_, 1);
            for (; i < drawn; ++i)
                result_.labels.append(common);
            return;
        }
        if (largeCanvas) {
            // A large label is drawn again whole rather than kept twice.
            base.fill(255);
            DrawFields(base, 0, fields_.size(), i);
            result_.labels.append(finish(base));
        } else {
            QImage canvas = base.copy();
            DrawFields(canvas, firstSerial, fields_.size(), i);
            result_.labels.append(finish(canvas));
        }
        distinctBytes_ += labelBytes;
    }
}

LabelRenderer::LabelRenderer(const RenderOptions &options)
    : d(std::make_unique<LabelRendererPrivate>(options))
{ }

LabelRenderer::~LabelRenderer() = default;

const RenderOptions &LabelRenderer::Options() const
{
    return d->options;
}

RenderResult LabelRenderer::Render(const QByteArray &commands)
{
    return d->Render(commands);
}

void LabelRenderer::Reset()
{
    d->Reset();
}

RenderResult RenderLabels(const QByteArray &commands, const RenderOptions &options)
{
    LabelRenderer renderer(options);
    return renderer.Render(commands);
}
