#include "printer/commandstream.h"

#include "printer/printermemory.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace {

constexpr char Esc = 0x1B;
constexpr char Us = 0x1F;
constexpr qsizetype GarbagePreviewBytes = 16;

// Bytes that end parameters, lines and garbage: the start of another command
// or a line end.
bool IsDelimiter(char c)
{
    return c == '^' || c == '~' || c == Esc || c == Us || c == '\r' || c == '\n';
}

bool IsBlank(char c)
{
    return c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool StartsWithUpper(QByteArrayView in, const char *word)
{
    for (qsizetype i = 0; word[i]; ++i) {
        if (i >= in.size() || Upper(in[i]) != word[i])
            return false;
    }
    return true;
}

qsizetype FindDelimiter(QByteArrayView in, qsizetype from)
{
    const auto it = std::find_if(in.begin() + from, in.end(), IsDelimiter);
    return it == in.end() ? -1 : it - in.begin();
}

// Where parameters from `from` on end: at the next delimiter or, when none
// comes, at the end of the input or after MaxHeaderBytes; -1 while more
// bytes may still bring the delimiter.
qsizetype ParametersEnd(QByteArrayView in, qsizetype from, bool atEnd)
{
    const qsizetype end = FindDelimiter(in, from);
    if (end >= 0)
        return end;
    if (!atEnd && in.size() <= CommandStream::MaxHeaderBytes)
        return -1;
    return std::min(in.size(), CommandStream::MaxHeaderBytes);
}

struct HexTable
{
    signed char value[256];
    constexpr HexTable()
        : value {}
    {
        for (int i = 0; i < 256; ++i)
            value[i] = -1;
        for (int i = 0; i < 10; ++i)
            value['0' + i] = char(i);
        for (int i = 0; i < 6; ++i) {
            value['A' + i] = char(10 + i);
            value['a' + i] = char(10 + i);
        }
    }
};
constexpr HexTable Hex;

} // namespace

QString ShownBytes(QByteArrayView bytes, qsizetype limit)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F)
            text += QLatin1Char(char(c));
        else
            text += QStringLiteral("<%1>").arg(c, 2, 16, QLatin1Char('0')).toUpper();
    }
    if (bytes.size() > limit)
        text += QStringLiteral("...");
    return text;
}

namespace {

QString Shown(QByteArrayView bytes, qsizetype limit = 24)
{
    return ShownBytes(bytes, limit);
}

// A whole decimal number of at most 12 digits.
bool ParseCount(QByteArrayView text, qint64 &out)
{
    const QByteArray t = text.toByteArray().trimmed();
    if (t.isEmpty() || t.size() > 12)
        return false;
    out = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

// A graphic's row length; 0 (unknown) for anything that is not one.
int RowBytes(QByteArrayView text)
{
    qint64 n = 0;
    return ParseCount(text, n) && n <= 32000 ? int(n) : 0;
}

// "E:DEMO" or "DEMO.FNT" with the device (R: when none) and the extension
// (the command's own when the name has none).
bool ParseObjectName(QByteArrayView text, const QString &defaultExtension, DownloadHeader &h,
                     QString *error)
{
    QString name = QString::fromLatin1(text.toByteArray().trimmed());
    if (name.size() >= 2 && name.at(1) == QLatin1Char(':')) {
        h.device = name.at(0).toUpper();
        name = name.mid(2);
        if (!PrinterMemory::IsDevice(h.device)) {
            *error = QStringLiteral("unknown memory device %1:").arg(h.device);
            return false;
        }
    }
    if (name.size() > CommandStream::MaxNameLength) {
        *error = QStringLiteral("a name of %1 characters (at most %2)")
                     .arg(name.size())
                     .arg(CommandStream::MaxNameLength);
        return false;
    }
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("*?/\\\"").contains(c)) {
            *error = QStringLiteral("the name \"%1\" holds a character no file name can hold")
                         .arg(Shown(text));
            return false;
        }
    }
    if (!name.contains(QLatin1Char('.')))
        name += QLatin1Char('.') + defaultExtension;
    if (name.startsWith(QLatin1Char('.')))
        name.prepend(QStringLiteral("UNKNOWN"));
    h.name = name;
    return true;
}

QString ExtensionOfLetter(char x)
{
    switch (Upper(x)) {
    case 'B':
        return QStringLiteral("BMP");
    case 'E':
        return QStringLiteral("TTE");
    case 'G':
        return QStringLiteral("GRF");
    case 'P':
        return QStringLiteral("PNG");
    case 'T':
        return QStringLiteral("TTF");
    case 'X':
        return QStringLiteral("PCX");
    }
    return QString();
}

// The byte-level address commands use 10 14 (16, 20) as a control pair: the
// byte after such a pair, or a 14 that closes one at the end, comes twice.
// A decode either completes, needs more bytes, or finds bytes that no
// command of this kind can hold.
enum class Decode { Complete, NeedMore, Invalid };

Decode DecodeAddress(QByteArrayView b, bool atEnd, std::array<quint8, 4> &o, qsizetype &length)
{
    qsizetype i = 0;
    const auto at = [&](qsizetype k) {
        return static_cast<quint8>(b[k]);
    };
    for (int k = 0; k < 4; ++k) {
        if (i >= b.size())
            return atEnd ? Decode::Invalid : Decode::NeedMore;
        o[size_t(k)] = at(i++);
        const bool followsPair = k >= 2 && o[size_t(k - 2)] == 16 && o[size_t(k - 1)] == 20;
        const bool closesPair = k == 3 && o[2] == 16 && o[3] == 20;
        if (followsPair || closesPair) {
            if (i >= b.size())
                return atEnd ? Decode::Invalid : Decode::NeedMore;
            if (at(i++) != o[size_t(k)])
                return Decode::Invalid;
        }
    }
    length = i;
    return Decode::Complete;
}

// The last three ID values come in one of three layouts, chosen by the first
// rule that applies when the command is built; the longest layout the bytes
// complete wins, and one that more bytes could still complete is waited for.
Decode DecodeEthernetId(QByteArrayView b, bool atEnd, std::array<quint8, 6> &id, qsizetype &length)
{
    const auto has = [&](qsizetype k) {
        return k < b.size();
    };
    const auto at = [&](qsizetype k) {
        return static_cast<quint8>(b[k]);
    };
    if (!has(3))
        return has(0) && at(0) != 0 ? Decode::Invalid : atEnd ? Decode::Invalid : Decode::NeedMore;
    if (at(0) != 0)
        return Decode::Invalid;
    // r(k) is the k-th byte after id1 and id2.
    const auto r = [&](qsizetype k) {
        return at(3 + k);
    };
    const auto rHas = [&](qsizetype k) {
        return has(3 + k);
    };
    // Whether a constraint on bytes that are there fails.
    const auto fails = [&](std::initializer_list<std::pair<qsizetype, quint8>> equal) {
        for (auto [k, v] : equal) {
            if (rHas(k) && r(k) != v)
                return true;
        }
        return false;
    };
    struct Layout
    {
        bool impossible;
        qsizetype length;
        std::array<qsizetype, 3> values;
    };
    const Layout layouts[] = {
        // id3 = 16, id4 = 20: id3 id3 id4 id5 id5
        { fails({ { 0, 16 }, { 1, 16 }, { 2, 20 } }) || (rHas(4) && r(4) != r(3)), 5, { 0, 2, 3 } },
        // id4 = 16, id5 = 20: id3 id4 id5 id5
        { fails({ { 1, 16 }, { 2, 20 }, { 3, 20 } }), 4, { 0, 1, 2 } },
        // otherwise: id3 id4 id5, where neither rule applies
        { (rHas(1) && r(0) == 16 && r(1) == 20) || (rHas(2) && r(1) == 16 && r(2) == 20),
          3,
          { 0, 1, 2 } },
    };
    const Layout *best = nullptr;
    for (const Layout &l : layouts) {
        if (l.impossible)
            continue;
        if (!rHas(l.length - 1)) {
            if (!atEnd)
                return Decode::NeedMore;
            continue;
        }
        if (!best)
            best = &l;
    }
    if (!best)
        return Decode::Invalid;
    id = { 0, at(1), at(2), r(best->values[0]), r(best->values[1]), r(best->values[2]) };
    length = 3 + best->length;
    return Decode::Complete;
}

} // namespace

QString DownloadHeader::Describe() const
{
    return QStringLiteral("~%1 %2:%3").arg(QString::fromLatin1(command), device, name);
}

CommandStream::CommandStream(CommandSink &sink)
    : sink_(sink)
{ }

bool CommandStream::IsImmediateTilde(QByteArrayView name)
{
    static const QList<QByteArray> names
        = { "SD", "WC", "JD", "JE", "JA", "JR", "!F", "!A", "DU", "DG", "DY", "DT" };
    return names.contains(name.toByteArray());
}

void CommandStream::Feed(QByteArrayView bytes)
{
    if (pending_.isEmpty()) {
        const qsizetype used = Process(bytes, false);
        pending_ = bytes.sliced(used).toByteArray();
    } else {
        pending_.append(bytes);
        pending_.remove(0, Process(pending_, false));
    }
}

void CommandStream::EndOfInput()
{
    const qsizetype used = Process(pending_, true);
    if (used < pending_.size())
        Error(QStringLiteral("a command was cut short: %1")
                  .arg(Shown(QByteArrayView(pending_).sliced(used))));
    pending_.clear();
    switch (mode_) {
    case Mode::Top:
    case Mode::FormatOverflow:
        break;
    case Mode::Garbage:
        EndGarbage();
        break;
    case Mode::Format:
        AbandonFormat(QStringLiteral("the format was cut short before ^XZ"));
        break;
    case Mode::Data:
        if (keep_)
            Error(QStringLiteral("%1: the data was cut short after %2 of %3 bytes; nothing stored")
                      .arg(download_.Describe())
                      .arg(download_.size - remaining_)
                      .arg(download_.size));
        data_.clear();
        if (afterData_ == Mode::Format)
            AbandonFormat(QStringLiteral("the format was cut short before ^XZ"));
        break;
    }
    mode_ = Mode::Top;
}

bool CommandStream::InCommand() const
{
    return mode_ != Mode::Top || !pending_.isEmpty();
}

qsizetype CommandStream::Process(QByteArrayView in, bool atEnd)
{
    qsizetype pos = 0;
    while (pos < in.size()) {
        const qsizetype used = Step(in.sliced(pos), atEnd);
        if (used == 0)
            break;
        pos += used;
    }
    return pos;
}

qsizetype CommandStream::Step(QByteArrayView in, bool atEnd)
{
    switch (mode_) {
    case Mode::Top:
        return TopStep(in, atEnd);
    case Mode::Format:
        return FormatStep(in, atEnd);
    case Mode::FormatOverflow:
        return OverflowStep(in, atEnd);
    case Mode::Data:
        return DataStep(in, atEnd);
    case Mode::Garbage:
        return GarbageStep(in, atEnd);
    }
    return 0;
}

qsizetype CommandStream::TopStep(QByteArrayView in, bool atEnd)
{
    if (sink_.InDumpMode())
        return DumpStep(in, atEnd);
    const char c = in[0];
    if (IsBlank(c))
        return std::find_if_not(in.begin(), in.end(), IsBlank) - in.begin();
    if (c == '^')
        return CaretStep(in, atEnd);
    if (c == '~')
        return TildeStep(in, atEnd, false);
    if (c == Esc)
        return EscapeStep(in, atEnd);
    if (c == Us)
        return AddressStep(in, atEnd);
    if (IsLetter(c))
        return LineStep(in, atEnd);
    StartGarbage();
    return GarbageStep(in, atEnd);
}

void CommandStream::StartGarbage()
{
    mode_ = Mode::Garbage;
    garbageBytes_ = 0;
    garbageStart_.clear();
}

qsizetype CommandStream::GarbageStep(QByteArrayView in, bool atEnd)
{
    const auto end = std::find_if(in.begin(), in.end(), IsDelimiter);
    const qsizetype n = end - in.begin();
    if (garbageStart_.size() < GarbagePreviewBytes)
        garbageStart_ += in.first(std::min(n, GarbagePreviewBytes - garbageStart_.size()));
    garbageBytes_ += n;
    if (end == in.end())
        return n;
    EndGarbage();
    return n > 0 ? n : TopStep(in, atEnd);
}

void CommandStream::EndGarbage()
{
    if (garbageBytes_ > 0)
        Error(
            QStringLiteral("%1 bytes that are no command were ignored: %2")
                .arg(garbageBytes_)
                .arg(Shown(garbageStart_, GarbagePreviewBytes)
                     + (garbageBytes_ > garbageStart_.size() ? QStringLiteral("...") : QString())));
    garbageBytes_ = 0;
    garbageStart_.clear();
    mode_ = Mode::Top;
}

qsizetype CommandStream::LineStep(QByteArrayView in, bool atEnd)
{
    qsizetype end = FindDelimiter(in, 0);
    if (end < 0 || end > MaxHeaderBytes) {
        if (in.size() > MaxHeaderBytes) {
            StartGarbage();
            return GarbageStep(in, atEnd);
        }
        if (!atEnd)
            return 0;
        end = in.size();
    }
    sink_.OnLine(in.first(end).toByteArray());
    return end;
}

qsizetype CommandStream::Short(QByteArrayView in, qsizetype need, bool atEnd, const char *what)
{
    if (in.size() >= need)
        return -1;
    if (!atEnd)
        return 0;
    Error(QStringLiteral("%1 was cut short: %2").arg(QLatin1String(what), Shown(in)));
    return in.size();
}

qsizetype CommandStream::CaretStep(QByteArrayView in, bool atEnd)
{
    if (const qsizetype wait = Short(in, 3, atEnd, "a command"); wait >= 0)
        return wait;
    if (StartsWithUpper(in, "^XA")) {
        mode_ = Mode::Format;
        format_ = in.first(3).toByteArray();
        return 3;
    }
    const qsizetype end = ParametersEnd(in, 1, atEnd);
    if (end < 0)
        return 0;
    Error(QStringLiteral("^%1 outside a format was ignored")
              .arg(QString::fromLatin1(in.sliced(1, 2).toByteArray().toUpper())));
    return end;
}

qsizetype CommandStream::TildeStep(QByteArrayView in, bool atEnd, bool inFormat)
{
    if (inFormat && atEnd && in.size() < 3) {
        format_ += in.toByteArray();
        return in.size();
    }
    if (const qsizetype wait = Short(in, 3, atEnd, "a command"); wait >= 0)
        return wait;
    const char letters[] = { Upper(in[1]), Upper(in[2]) };
    const QByteArray name(letters, 2);
    if (inFormat && !IsImmediateTilde(name)) {
        // Text that only looks like a command stays in the format.
        format_ += '~';
        return 1;
    }
    if (name == "DU" || name == "DT")
        return DownloadStep(in, atEnd, inFormat, 2);
    if (name == "DG")
        return DownloadStep(in, atEnd, inFormat, 3);
    if (name == "DY")
        return DownloadStep(in, atEnd, inFormat, 5);

    qsizetype end = FindDelimiter(in, 3);
    if (end < 0) {
        if (in.size() > MaxHeaderBytes) {
            Error(QStringLiteral("~%1: parameters longer than %2 bytes were ignored")
                      .arg(QString::fromLatin1(name))
                      .arg(MaxHeaderBytes));
            StartGarbage();
            return 3;
        }
        if (!atEnd)
            return 0;
        end = in.size();
    }
    sink_.OnTilde(name, in.sliced(3, end - 3).toByteArray());
    if (inFormat && sink_.InDumpMode())
        AbandonFormat(QString());
    return end;
}

qsizetype CommandStream::DownloadStep(QByteArrayView in, bool atEnd, bool inFormat, int commas)
{
    const QString command = QStringLiteral("~") + QString::fromLatin1(in.sliced(1, 2)).toUpper();
    qsizetype i = 3;
    int found = 0;
    for (; i < in.size() && found < commas; ++i) {
        if (i > MaxHeaderBytes) {
            Error(QStringLiteral("%1: parameters longer than %2 bytes (is a name that long?); "
                                 "nothing stored")
                      .arg(command)
                      .arg(MaxHeaderBytes));
            StartGarbage();
            return i;
        }
        if (in[i] == ',')
            ++found;
        else if (IsDelimiter(in[i]) && in[i] != '\r' && in[i] != '\n') {
            Error(QStringLiteral("%1: incomplete parameters \"%2\"; nothing stored")
                      .arg(command, Shown(in.sliced(3, i - 3))));
            return i;
        }
    }
    if (found < commas) {
        if (!atEnd)
            return 0;
        Error(QStringLiteral("%1: the parameters were cut short; nothing stored").arg(command));
        return in.size();
    }
    const QList<QByteArray> params = in.sliced(3, i - 4).toByteArray().split(',');
    DownloadHeader h;
    h.command = in.sliced(1, 2).toByteArray().toUpper();
    QString error;
    bool named = true;
    bool sized = true;
    if (h.command == "DU" || h.command == "DT") {
        named = ParseObjectName(params[0],
                                h.command == "DU" ? QStringLiteral("FNT") : QStringLiteral("DAT"),
                                h, &error);
        sized = ParseCount(params[1], h.size);
    } else if (h.command == "DG") {
        named = ParseObjectName(params[0], QStringLiteral("GRF"), h, &error);
        sized = ParseCount(params[1], h.size);
        h.rowBytes = RowBytes(params[2]);
    } else {
        const QByteArray format = params[1].trimmed().toUpper();
        const QByteArray extension = params[2].trimmed();
        const QString ext = extension.size() == 1 ? ExtensionOfLetter(extension[0])
                                                  : QString::fromLatin1(extension).toUpper();
        sized = ParseCount(params[3], h.size);
        h.rowBytes = RowBytes(params[4]);
        h.hex = format == "A" || format == "P";
        if (format != "A" && format != "B" && format != "C" && format != "P") {
            named = false;
            error = QStringLiteral("unknown data format \"%1\"").arg(Shown(params[1]));
        } else if (ext.isEmpty() || ext.size() > 3) {
            named = false;
            error = QStringLiteral("unknown file type \"%1\"").arg(Shown(params[2]));
        } else {
            named = ParseObjectName(params[0], ext, h, &error);
        }
    }
    if (!sized) {
        // Without a size the data cannot be told from what follows it.
        Error(QStringLiteral("%1: the size \"%2\" is not a number; nothing stored")
                  .arg(command, Shown(h.command == "DY" ? params[3] : params[1])));
        return i;
    }
    if (!named)
        Error(QStringLiteral("%1: %2; the data is skipped").arg(command, error));
    download_ = h;
    keep_ = named && sink_.OnDownloadStart(h);
    data_ = QByteArray();
    if (keep_)
        data_.resize(h.size);
    remaining_ = h.size;
    nibble_ = -1;
    afterData_ = inFormat ? Mode::Format : Mode::Top;
    mode_ = Mode::Data;
    if (remaining_ == 0)
        FinishDownload();
    return i;
}

void CommandStream::FinishDownload()
{
    mode_ = afterData_;
    if (keep_)
        sink_.OnDownloadEnd(download_, std::move(data_));
    data_ = QByteArray();
}

qsizetype CommandStream::DataStep(QByteArrayView in, bool atEnd)
{
    // An accepted download's data goes straight to where it ends up.
    char *out = keep_ ? data_.data() + (download_.size - remaining_) : nullptr;
    if (!download_.hex) {
        const qsizetype take = qsizetype(std::min<qint64>(remaining_, in.size()));
        if (out)
            memcpy(out, in.data(), size_t(take));
        remaining_ -= take;
        if (remaining_ == 0)
            FinishDownload();
        return take;
    }
    const auto *p = reinterpret_cast<const unsigned char *>(in.data());
    const qsizetype n = in.size();
    qsizetype i = 0;
    while (i < n && remaining_ > 0) {
        if (nibble_ < 0) {
            // Two digits at a time for as long as there are two digits.
            const qsizetype pairs = qsizetype(std::min<qint64>((n - i) / 2, remaining_));
            qsizetype k = 0;
            for (; k < pairs; ++k) {
                const int hi = Hex.value[p[i]];
                const int lo = Hex.value[p[i + 1]];
                if ((hi | lo) < 0)
                    break;
                if (out)
                    *out++ = char((hi << 4) | lo);
                i += 2;
            }
            remaining_ -= k;
            if (remaining_ == 0 || i >= n)
                break;
        }
        const int v = Hex.value[p[i]];
        if (v >= 0) {
            if (nibble_ < 0) {
                nibble_ = v;
            } else {
                if (out)
                    *out++ = char((nibble_ << 4) | v);
                nibble_ = -1;
                --remaining_;
            }
            ++i;
        } else if (IsBlank(char(p[i]))) {
            ++i;
        } else {
            if (keep_)
                Error(QStringLiteral("%1: the hexadecimal data ended after %2 of %3 bytes%4 at "
                                     "\"%5\"; nothing stored")
                          .arg(download_.Describe())
                          .arg(download_.size - remaining_)
                          .arg(download_.size)
                          .arg(nibble_ >= 0 ? QStringLiteral(" and one digit") : QString())
                          .arg(Shown(in.sliced(i), 8)));
            keep_ = false;
            data_ = QByteArray();
            mode_ = afterData_;
            return i > 0 ? i : Step(in, atEnd);
        }
    }
    if (remaining_ == 0)
        FinishDownload();
    return i;
}

void CommandStream::AbandonFormat(const QString &why)
{
    const bool empty = format_.size() <= 3 || format_.sliced(3).trimmed().isEmpty();
    if (!why.isEmpty() && !empty)
        Error(QStringLiteral("%1; %2 bytes discarded").arg(why).arg(format_.size()));
    format_.clear();
    mode_ = Mode::Top;
}

qsizetype CommandStream::FormatStep(QByteArrayView in, bool atEnd)
{
    // Everything up to the next tilde, ^XZ or ^XA is taken in one piece: a
    // format is mostly caret commands, and a step for each would cost more
    // than the rest of receiving it.
    const char *d = in.data();
    qsizetype plain = 0;
    for (; plain < in.size(); ++plain) {
        const char c = d[plain];
        if (c == '~' || (c == '^' && (in.size() - plain < 3 || Upper(d[plain + 1]) == 'X')))
            break;
    }
    if (plain > 0) {
        if (format_.size() + plain > MaxFormatBytes) {
            Error(QStringLiteral("a format larger than %1 MB was discarded")
                      .arg(MaxFormatBytes / (1024 * 1024)));
            format_.clear();
            mode_ = Mode::FormatOverflow;
            return plain;
        }
        format_ += in.first(plain);
        return plain;
    }
    if (in[0] == '~')
        return TildeStep(in, atEnd, true);
    if (in.size() < 3) {
        if (!atEnd)
            return 0;
        format_ += in.toByteArray();
        return in.size();
    }
    if (StartsWithUpper(in, "^XZ")) {
        format_ += in.first(3);
        const QByteArray format = std::move(format_);
        format_.clear();
        mode_ = Mode::Top;
        sink_.OnFormat(format);
        return 3;
    }
    if (StartsWithUpper(in, "^XA")) {
        AbandonFormat(QStringLiteral("a format without ^XZ was followed by another ^XA"));
        mode_ = Mode::Format;
        format_ = in.first(3).toByteArray();
        return 3;
    }
    format_ += '^';
    return 1;
}

qsizetype CommandStream::OverflowStep(QByteArrayView in, bool atEnd)
{
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '^')
            continue;
        if (in.size() - i < 3)
            return atEnd ? in.size() : i;
        if (StartsWithUpper(in.sliced(i), "^XZ")) {
            mode_ = Mode::Top;
            return i + 3;
        }
    }
    return in.size();
}

qsizetype CommandStream::DumpStep(QByteArrayView in, bool atEnd)
{
    const qsizetype tilde = in.indexOf('~');
    if (tilde != 0) {
        const qsizetype n = tilde < 0 ? in.size() : tilde;
        sink_.OnDump(in.first(n));
        return n;
    }
    if (in.size() < 3 && !atEnd)
        return 0;
    if (StartsWithUpper(in, "~JE")) {
        sink_.OnTilde("JE", QByteArray());
        return 3;
    }
    sink_.OnDump(in.first(1));
    return 1;
}

qsizetype CommandStream::EscapeStep(QByteArrayView in, bool atEnd)
{
    if (const qsizetype wait = Short(in, 3, atEnd, "an escape sequence"); wait >= 0)
        return wait;
    if (in[1] == '!' && in[2] == '?') {
        sink_.OnStatusQuery();
        return 3;
    }
    if (in[1] == '!' && in[2] == ',') {
        const qsizetype end = ParametersEnd(in, 3, atEnd);
        if (end < 0)
            return 0;
        const QByteArray what = in.sliced(3, end - 3).toByteArray();
        if (what == "R")
            sink_.OnReset();
        else
            Error(
                QStringLiteral("unknown escape sequence %1 was ignored").arg(Shown(in.first(end))));
        return end;
    }
    Error(QStringLiteral("unknown escape sequence %1 was ignored").arg(Shown(in.first(2))));
    return 2;
}

qsizetype CommandStream::AddressStep(QByteArrayView in, bool atEnd)
{
    static const QByteArray prefix("\x1F\x1B\x1F\x91\x00", 5);
    const qsizetype have = std::min(in.size(), prefix.size());
    for (qsizetype k = 1; k < have; ++k) {
        if (in[k] != prefix[k]) {
            Error(
                QStringLiteral("unknown byte sequence %1 was ignored").arg(Shown(in.first(k + 1))));
            return k;
        }
    }
    if (const qsizetype wait = Short(in, prefix.size() + 2, atEnd, "a network command"); wait >= 0)
        return wait;
    const QByteArrayView kind = in.sliced(5, 2);
    const QByteArrayView body = in.sliced(7);
    qsizetype length = 0;
    Decode result = Decode::Invalid;
    if (kind == "IP") {
        std::array<quint8, 4> octets {};
        result = DecodeAddress(body, atEnd, octets, length);
        if (result == Decode::Complete)
            sink_.OnNewAddress(octets);
    } else if (kind == "ID") {
        std::array<quint8, 6> id {};
        result = DecodeEthernetId(body, atEnd, id, length);
        if (result == Decode::Complete)
            sink_.OnNewEthernetId(id);
    } else {
        Error(QStringLiteral("unknown network command %1 was ignored").arg(Shown(in.first(7))));
        return 7;
    }
    if (result == Decode::NeedMore)
        return 0;
    if (result == Decode::Invalid) {
        const qsizetype shown = std::min<qsizetype>(body.size(), 8);
        Error(QStringLiteral("network command %1 with bytes no address can have (%2) was ignored")
                  .arg(QString::fromLatin1(kind.toByteArray()), Shown(body.first(shown))));
        return 7;
    }
    return 7 + length;
}
