#include "preview/labelrenderer.h"

#include "preview/labelinterpreter.h"

#include "preview/commandtable.h"
#include "preview/fielddata.h"
#include "preview/fieldpainter.h"
#include "preview/graphicdata.h"
#include "preview/labelfield.h"
#include "preview/textfonts.h"

#include <QElapsedTimer>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr qint64 MaxDistinctLabelBytes = 32 * 1024 * 1024; // pictures of one call
// Counting the labels of what is not drawn: far quicker than drawing them.
constexpr qint64 CountBudgetMs = 5000;
// Listed of one warning's text; the rest are counted.
constexpr int MaxWarningsOfOneKind = 20;

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

} // namespace

using namespace label;

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

LabelInterpreter::LabelInterpreter(const RenderOptions &o)
    : options(o)
{
    options.dotsPerMm = std::clamp(options.dotsPerMm, 1, 24);
    options.maxLabels = std::max(options.maxLabels, 0);
    Reset();
}

LabelInterpreter::~LabelInterpreter() = default;

void LabelInterpreter::Reset()
{
    printer_ = PrinterState();
    printer_.kept = KeptSettings::Factory(options.dotsPerMm, options.defaultLabelSize);
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

void LabelInterpreter::Warn(const QString &text, int line, int column, bool incomplete)
{
    result_.incomplete = result_.incomplete || incomplete;
    // The same complaint about the same place once is enough.
    if (!result_.warnings.isEmpty()) {
        const RenderWarning &last = result_.warnings.constLast();
        if (last.text == text && last.line == line && last.column == column)
            return;
    }
    WarningKind &kind = warningKinds_[text];
    if (++kind.count > MaxWarningsOfOneKind) {
        if (kind.count == MaxWarningsOfOneKind + 1) {
            kind.line = line;
            kind.column = column;
        }
        return;
    }
    if (result_.warnings.size() >= 1000) {
        if (result_.warnings.size() == 1000)
            result_.warnings.append({ QStringLiteral("more warnings not listed"), line, column });
        return;
    }
    result_.warnings.append({ text, line, column, incomplete });
}

bool LabelInterpreter::OutOfTime() const
{
    return options.timeLimitMs > 0 && clock_.elapsed() > options.timeLimitMs;
}

QString LabelInterpreter::TimeLimitText() const
{
    if (options.timeLimitMs == 1000)
        return QStringLiteral("one second");
    return QStringLiteral("%1 ms").arg(options.timeLimitMs);
}

void LabelInterpreter::Deliver(const QImage &label)
{
    if (!options.deliver) {
        result_.labels.append(label);
        return;
    }
    if (!stopped_ && !options.deliver(label))
        stopped_ = true;
}

void LabelInterpreter::Setting(const LabelCommand &command, const QString &name,
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

int LabelInterpreter::Clamped(const LabelCommand &command, qint64 value, int low, int high,
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

RenderResult LabelInterpreter::Render(const QByteArray &commands)
{
    result_ = RenderResult();
    clock_.start();
    outOfTime_ = false;
    stopped_ = false;
    distinctBytes_ = 0;
    inFormat_ = false;
    storingAs_.clear(); // a format cut short in the last call stores nothing
    storedBody_.clear();
    CommandLexer lexer(commands);
    lexer.SetFormatPrefix(printer_.formatPrefix);
    lexer.SetControlPrefix(printer_.controlPrefix);
    lexer.SetDelimiter(printer_.delimiter);
    lexer_ = &lexer;
    LabelCommand command;
    qint64 count = 0;
    warningKinds_.clear();
    while (!stopped_ && lexer.Next(command)) {
        if (++count % 256 == 0 && OutOfTime()) {
            // Listed whatever else was warned about: it says the picture is not all.
            result_.incomplete = true;
            result_.warnings.append(
                { QStringLiteral("reading stopped after %1: the rest is not drawn")
                      .arg(TimeLimitText()),
                  command.line, command.column, true });
            outOfTime_ = true;
            CountRest(lexer, command);
            break;
        }
        Command(command);
    }
    if (inFormat_ && !stopped_) {
        Warn(QStringLiteral("^XA without ^XZ: the format is drawn as far as it goes"), formatLine_,
             1);
        EndFormat();
    }
    if (lexer.StrayLine() > 0)
        Warn(QStringLiteral("text outside any command ignored"), lexer.StrayLine(),
             lexer.StrayColumn());
    lexer_ = nullptr;
    for (auto it = warningKinds_.cbegin(); it != warningKinds_.cend(); ++it) {
        if (it->count > MaxWarningsOfOneKind)
            result_.warnings.append({ QStringLiteral("%1 (%2 more times, not listed)")
                                          .arg(it.key())
                                          .arg(it->count - MaxWarningsOfOneKind),
                                      it->line, it->column });
    }
    result_.settings = settings_;
    return std::move(result_);
}

void LabelInterpreter::CountRest(CommandLexer &lexer, LabelCommand command)
{
    // The open format is counted with the rest, not drawn.
    bool inFormat = inFormat_;
    bool marks = !fields_.isEmpty();
    bool storing = !storingAs_.isEmpty();
    qint64 quantity = quantity_;
    inFormat_ = false;
    qint64 labels = result_.labelsRequested;
    QElapsedTimer counting;
    counting.start();
    qint64 count = 0;
    do {
        if (++count % 4096 == 0 && counting.elapsed() > CountBudgetMs) {
            result_.warnings.append({ QStringLiteral("counting stopped after %1 seconds: more "
                                                     "labels may print than the %2 counted")
                                          .arg(CountBudgetMs / 1000)
                                          .arg(labels),
                                      command.line, command.column });
            break;
        }
        if (command.kind != LabelCommand::Kind::Format)
            continue;
        if (command.name == "XA") {
            inFormat = true;
            marks = storing = false;
            quantity = 1;
        } else if (command.name == "XZ") {
            if (inFormat && marks && !storing)
                labels += quantity;
            inFormat = false;
        } else if (command.name == "PQ") {
            quantity = std::clamp<qint64>(Args(command.args, printer_.delimiter).Int(0, 1), 1,
                                          99'999'999);
        } else if (command.name == "DF") {
            storing = true;
        } else if (const CommandEntry *entry = FindCommand(command.kind, command.name)) {
            marks = marks || entry->role == CommandRole::Marks || entry->role == CommandRole::Draws;
        }
    } while (lexer.Next(command));
    result_.labelsRequested = int(std::min<qint64>(labels, std::numeric_limits<int>::max()));
}

int LabelInterpreter::AtLeast(const LabelCommand &command, qint64 value, int low, int high,
                              const char *what)
{
    return Clamped(command, std::max<qint64>(value, low), low, high, what);
}

qint64 LabelInterpreter::Len(const Args &args, int i, qint64 fallback) const
{
    if (!args.Given(i))
        return fallback;
    if (printer_.units.InDots())
        return args.Int(i, fallback);
    const double value = args.Real(i, double(args.Int(i, fallback)));
    return std::llround(
        std::clamp(value * printer_.units.DotsPerUnit(options.dotsPerMm), -1e9, 1e9));
}

void LabelInterpreter::Command(const LabelCommand &command)
{
    if (command.name.size() < 2 && command.name != "A") {
        Warn(QStringLiteral("%1: incomplete command").arg(Written(command)), command);
        return;
    }
    if (!storingAs_.isEmpty() && command.kind == LabelCommand::Kind::Format && command.name != "XZ"
        && command.name != "XA") {
        storedBody_ += command.prefix + command.name + command.args;
        return;
    }
    const CommandEntry *entry = FindCommand(command.kind, command.name);
    if (!entry) {
        Warn(QStringLiteral("%1 not rendered").arg(Written(command)), command);
        return;
    }
    if (command.kind == LabelCommand::Kind::Format && !entry->anywhere && !inFormat_) {
        Warn(QStringLiteral("%1 outside ^XA … ^XZ ignored").arg(Written(command)), command);
        return;
    }
    // A field is told about where its first command stands, whichever that is.
    if ((entry->role == CommandRole::Marks || entry->role == CommandRole::Draws)
        && field_.line == 0) {
        field_.line = command.line;
        field_.column = command.column;
    }
    const Args args(command.args, printer_.delimiter);
    if (!(this->*entry->handler)(command, args))
        Warn(QStringLiteral("%1 not rendered").arg(Written(command)), command);
}

void LabelInterpreter::Recall(const LabelCommand &at, const QByteArray &body)
{
    if (recallDepth_ >= 4) {
        Warn(QStringLiteral("%1: stored formats recall each other too deeply").arg(Written(at)),
             at);
        return;
    }
    ++recallDepth_;
    CommandLexer lexer(body);
    lexer.SetFormatPrefix(printer_.formatPrefix);
    lexer.SetControlPrefix(printer_.controlPrefix);
    lexer.SetDelimiter(printer_.delimiter);
    CommandLexer *outer = lexer_;
    lexer_ = &lexer;
    LabelCommand command;
    // What the stored commands do wrong is told where they were recalled.
    while (lexer.Next(command) && inFormat_) {
        command.line = at.line;
        command.column = at.column;
        Command(command);
    }
    lexer_ = outer;
    lexer_->SetFormatPrefix(printer_.formatPrefix);
    lexer_->SetControlPrefix(printer_.controlPrefix);
    lexer_->SetDelimiter(printer_.delimiter);
    --recallDepth_;
}

bool LabelInterpreter::Ignored(const LabelCommand &, const Args &)
{
    return true;
}

void LabelInterpreter::StartFormat(const LabelCommand &command)
{
    if (inFormat_) {
        Warn(QStringLiteral("^XA inside a format ignored"), command);
        return;
    }
    inFormat_ = true;
    formatLine_ = command.line;
    fields_.clear();
    storingAs_.clear();
    storedBody_.clear();
    numberedData_.clear();
    offLabel_.clear();
    quantity_ = 1;
    replicates_ = 1;
    labelReverse_ = false;
    StartField();
}

QSize LabelInterpreter::LabelSize()
{
    QSize size = printer_.kept.Page();
    size = size.boundedTo(QSize(MaxDimension, MaxDimension)).expandedTo(QSize(1, 1));
    if (qint64(size.width()) * size.height() > MaxLabelDots) {
        size.setHeight(int(MaxLabelDots / size.width()));
        Incomplete(QStringLiteral("label larger than %1 million dots: cut to %2 dots long")
                       .arg(MaxLabelDots / 1'000'000)
                       .arg(size.height()),
                   formatLine_, 1);
    }
    return size;
}

void LabelInterpreter::DrawFields(QImage &canvas, qsizetype from, qsizetype to, qint64 labelIndex)
{
    FieldPainter painter(*fonts_, options.dotsPerMm);
    if (from > 0)
        painter.pen = commonPen_;
    for (qsizetype i = from; i < to; ++i) {
        if (OutOfTime()) {
            if (!outOfTime_)
                Incomplete(QStringLiteral("drawing stopped after %1: the label is incomplete")
                               .arg(TimeLimitText()),
                           fields_.at(i).line, fields_.at(i).column);
            outOfTime_ = true;
            return;
        }
        const Field &field = fields_.at(i);
        QString text = field.text;
        if (field.serial.on) {
            const qint64 step = (labelIndex + std::max<qint64>(onlyLabel_, 0)) / replicates_;
            text = QString::fromLatin1(SerialValue(field.serial.start, field.serial.increment,
                                                   field.serial.leadingZeros, step));
        }
        QList<QString> problems;
        // A field is measured against the edges until it is found beyond them.
        QString outside;
        painter.Draw(canvas, field, text, problems, offLabel_.contains(i) ? nullptr : &outside);
        for (const QString &problem : problems)
            Warn(problem, field.line, field.column);
        if (!outside.isEmpty()) {
            offLabel_.insert(i);
            Incomplete(outside, field.line, field.column);
        }
    }
    if (from == 0)
        commonPen_ = painter.pen;
}

void LabelInterpreter::EndFormat()
{
    const KeptSettings &kept = printer_.kept;
    const PageSource page { !printer_.widthGiven,
                            !(printer_.lengthGiven && (kept.Continuous() || kept.lengthForced)) };
    DrawFormat();
    while (result_.pages.size() < result_.labels.size())
        result_.pages.append(page);
}

void LabelInterpreter::DrawFormat()
{
    inFormat_ = false;
    if (fields_.isEmpty())
        return; // settings only: nothing is printed
    // The virtual printer prints a format's labels one at a time.
    const qint64 count = onlyLabel_ >= 0 ? 1 : quantity_;
    if (quantity_ == 0)
        return; // a quantity the printer refused
    result_.labelsRequested = int(
        std::min<qint64>(qint64(result_.labelsRequested) + count, std::numeric_limits<int>::max()));
    // Pictures handed over as they are drawn take no room here.
    const qint64 room
        = options.deliver ? count : std::max<qint64>(options.maxLabels - result_.labels.size(), 0);
    qint64 drawn = std::min(count, room);
    if (drawn < count)
        Incomplete(QStringLiteral("%1 labels asked for: only the first %2 are drawn")
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
        Incomplete(QStringLiteral("no memory for a label of %1 x %2 dots")
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
        if (printer_.kept.orientation == 'I')
            mono = mono.mirrored(true, true);
        return mono;
    };
    if (firstSerial == fields_.size()) {
        const QImage label = finish(base);
        for (qint64 i = 0; i < drawn && !stopped_; ++i)
            Deliver(label); // shared, not copied
        return;
    }
    if (drawn == 1) {
        // One label: no need to keep the common part.
        DrawFields(base, firstSerial, fields_.size(), 0);
        Deliver(finish(base));
        return;
    }
    const qint64 labelBytes = qint64(size.height()) * ((size.width() + 31) / 32 * 4);
    const bool largeCanvas = base.sizeInBytes() > 8 * 1024 * 1024;
    const QImage common = finish(base);
    for (qint64 i = 0; i < drawn && !stopped_; ++i) {
        // Pictures handed over as they are drawn are not kept: no memory limit.
        if ((!options.deliver && distinctBytes_ + labelBytes > MaxDistinctLabelBytes)
            || outOfTime_) {
            // Every label still gets a picture, the part they share.
            const qsizetype before = result_.labels.size();
            Incomplete(QStringLiteral("labels %1 to %2 shown without their serial numbers: drawing "
                                      "them would take too much memory or time")
                           .arg(before + 1)
                           .arg(before + drawn - i),
                       formatLine_, 1);
            for (; i < drawn && !stopped_; ++i)
                Deliver(common);
            return;
        }
        if (largeCanvas) {
            // A large label is drawn again whole rather than kept twice.
            base.fill(255);
            DrawFields(base, 0, fields_.size(), i);
            Deliver(finish(base));
        } else {
            QImage canvas = base.copy();
            DrawFields(canvas, firstSerial, fields_.size(), i);
            Deliver(finish(canvas));
        }
        distinctBytes_ += labelBytes;
    }
}

LabelRenderer::LabelRenderer(const RenderOptions &options)
    : d(std::make_unique<LabelInterpreter>(options))
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

RenderResult LabelRenderer::RenderLabel(const QByteArray &format, const FormatStart &start,
                                        qint64 labelIndex)
{
    PrinterState &printer = d->printer_;
    printer.kept = start.kept;
    printer.units = start.units;
    printer.formatPrefix = start.formatPrefix;
    printer.controlPrefix = start.controlPrefix;
    d->onlyLabel_ = std::max<qint64>(labelIndex, 0);
    RenderResult result = d->Render(format);
    d->onlyLabel_ = -1;
    return result;
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
