#include "printer/commandstream.h"

#include "printer/addresscommand.h"
#include "printer/hextable.h"
#include "printer/printeractions.h"
#include "printer/printermemory.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace {

constexpr char Esc = 0x1B;
constexpr char Us = 0x1F;
constexpr qsizetype GarbagePreviewBytes = 16;

// Bytes that end parameters, lines and garbage: the start of another command
// (with the prefixes in force) or a line end.
struct Delimiters
{
    char caret;
    char tilde;
    bool operator()(char c) const
    {
        return c == caret || c == tilde || c == Esc || c == Us || c == '\r' || c == '\n';
    }
};

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

// The prefix, then the command's two letters in either case.
bool IsCommand(QByteArrayView in, char prefix, const char *name)
{
    return !in.isEmpty() && in[0] == prefix && StartsWithUpper(in.sliced(1), name);
}

qsizetype FindDelimiter(QByteArrayView in, qsizetype from, Delimiters delimiters)
{
    const auto it = std::find_if(in.begin() + from, in.end(), delimiters);
    return it == in.end() ? -1 : it - in.begin();
}

// Where parameters from `from` on end: at the next delimiter or, when none
// comes, at the end of the input or after MaxHeaderBytes; -1 while more
// bytes may still bring the delimiter.
qsizetype ParametersEnd(QByteArrayView in, qsizetype from, bool atEnd, Delimiters delimiters)
{
    const qsizetype end = FindDelimiter(in, from, delimiters);
    if (end >= 0)
        return end;
    if (!atEnd && in.size() <= CommandStream::MaxHeaderBytes)
        return -1;
    return std::min(in.size(), CommandStream::MaxHeaderBytes);
}

} // namespace

CommandStream::CommandStream(CommandSink &sink)
    : sink_(sink)
{ }

auto CommandStream::Ends() const
{
    return Delimiters { prefixes_->format, prefixes_->control };
}

bool CommandStream::IsImmediateTilde(QByteArrayView name)
{
    // Downloads are this stream's own; the rest the printer registers.
    return name == "DU" || name == "DG" || name == "DY" || name == "DT" || ActsInsideFormats(name);
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
                  .arg(ShownBytes(QByteArrayView(pending_).sliced(used))));
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
        if (graphicText_)
            FinishGraphicText();
        else if (keep_)
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
    if (c == prefixes_->format)
        return CaretStep(in, atEnd);
    if (c == prefixes_->control)
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
    const auto end = std::find_if(in.begin(), in.end(), Ends());
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
                .arg(ShownBytes(garbageStart_, GarbagePreviewBytes)
                     + (garbageBytes_ > garbageStart_.size() ? QStringLiteral("...") : QString())));
    garbageBytes_ = 0;
    garbageStart_.clear();
    mode_ = Mode::Top;
}

qsizetype CommandStream::LineStep(QByteArrayView in, bool atEnd)
{
    qsizetype end = FindDelimiter(in, 0, Ends());
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
    Error(QStringLiteral("%1 was cut short: %2").arg(QLatin1String(what), ShownBytes(in)));
    return in.size();
}

qsizetype CommandStream::CaretStep(QByteArrayView in, bool atEnd)
{
    if (const qsizetype wait = Short(in, 3, atEnd, "a command"); wait >= 0)
        return wait;
    if (IsCommand(in, prefixes_->format, "XA")) {
        mode_ = Mode::Format;
        formatPrefixes_ = *prefixes_;
        format_ = in.first(3).toByteArray();
        return 3;
    }
    if (IsCommand(in, prefixes_->format, "CC") || IsCommand(in, prefixes_->format, "CT")) {
        if (in.size() < 4 && !atEnd)
            return 0;
        ChangesPrefix(in.first(std::min<qsizetype>(in.size(), 4)));
        return std::min<qsizetype>(in.size(), 4);
    }
    const qsizetype end = ParametersEnd(in, 1, atEnd, Ends());
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
    if (name == "CC" || name == "CT") {
        if (in.size() < 4 && !atEnd)
            return 0;
        // The interpreter reads the format with the prefixes it began
        // with, so a change inside it stays in it.
        if (inFormat)
            format_ += in.first(std::min<qsizetype>(in.size(), 4));
        ChangesPrefix(in.first(std::min<qsizetype>(in.size(), 4)));
        return std::min<qsizetype>(in.size(), 4);
    }
    if (inFormat && !IsImmediateTilde(name)) {
        // Text that only looks like a command stays in the format.
        format_ += prefixes_->control;
        return 1;
    }
    // Questions without parameters are answered at once: the asker waits
    // for the answer before it sends anything more.
    if (!inFormat && (name == "HS" || name == "HI")) {
        sink_.OnTilde(name, QByteArray());
        return 3;
    }
    if (!inFormat && name == "HQ") {
        if (in.size() < 5 && !atEnd)
            return 0;
        if (in.size() >= 5 && Upper(in[3]) == 'E' && Upper(in[4]) == 'S') {
            sink_.OnTilde(name, QByteArrayLiteral("ES"));
            return 5;
        }
    }
    if (name == "DU" || name == "DT")
        return DownloadStep(in, atEnd, inFormat, 2);
    if (name == "DG")
        return DownloadStep(in, atEnd, inFormat, 3);
    if (name == "DY")
        return DownloadStep(in, atEnd, inFormat, 5);

    qsizetype end = FindDelimiter(in, 3, Ends());
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
        else if (Ends()(in[i]) && in[i] != '\r' && in[i] != '\n') {
            Error(QStringLiteral("%1: incomplete parameters \"%2\"; nothing stored")
                      .arg(command, ShownBytes(in.sliced(3, i - 3))));
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
    const bool sized = ParseDownloadHeader(params, h, named, error);
    if (!sized) {
        // Without a size the data cannot be told from what follows it.
        Error(QStringLiteral("%1: the size \"%2\" is not a number; nothing stored")
                  .arg(command, ShownBytes(h.command == "DY" ? params[3] : params[1])));
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
    if (graphicText_)
        return GraphicTextStep(in, atEnd);
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
                const int hi = hex::Hex.value[p[i]];
                const int lo = hex::Hex.value[p[i + 1]];
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
        const int v = hex::Hex.value[p[i]];
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
        } else if (StartGraphicText(char(p[i]))) {
            return i > 0 ? i : GraphicTextStep(in, atEnd);
        } else {
            if (keep_)
                Error(QStringLiteral("%1: the hexadecimal data ended after %2 of %3 bytes%4 at "
                                     "\"%5\"; nothing stored")
                          .arg(download_.Describe())
                          .arg(download_.size - remaining_)
                          .arg(download_.size)
                          .arg(nibble_ >= 0 ? QStringLiteral(" and one digit") : QString())
                          .arg(ShownBytes(in.sliced(i), 8)));
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
        if (c == prefixes_->control
            || (c == prefixes_->format
                && (in.size() - plain < 3 || Upper(d[plain + 1]) == 'X'
                    || (Upper(d[plain + 1]) == 'C'
                        && QByteArrayView("CTct").contains(d[plain + 2])))))
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
    if (in[0] == prefixes_->control)
        return TildeStep(in, atEnd, true);
    const bool prefixChange
        = IsCommand(in, prefixes_->format, "CC") || IsCommand(in, prefixes_->format, "CT");
    if (in.size() < (prefixChange ? 4 : 3)) {
        if (!atEnd)
            return 0;
        format_ += in.toByteArray();
        return in.size();
    }
    if (prefixChange) {
        format_ += in.first(4);
        ChangesPrefix(in.first(4));
        return 4;
    }
    if (IsCommand(in, prefixes_->format, "XZ")) {
        format_ += in.first(3);
        const QByteArray format = std::move(format_);
        format_.clear();
        mode_ = Mode::Top;
        sink_.OnFormat(format);
        return 3;
    }
    if (IsCommand(in, prefixes_->format, "XA")) {
        AbandonFormat(QStringLiteral("a format without ^XZ was followed by another ^XA"));
        mode_ = Mode::Format;
        formatPrefixes_ = *prefixes_;
        format_ = in.first(3).toByteArray();
        return 3;
    }
    format_ += prefixes_->format;
    return 1;
}

qsizetype CommandStream::OverflowStep(QByteArrayView in, bool atEnd)
{
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != prefixes_->format)
            continue;
        if (in.size() - i < 3)
            return atEnd ? in.size() : i;
        if (IsCommand(in.sliced(i), prefixes_->format, "XZ")) {
            mode_ = Mode::Top;
            return i + 3;
        }
    }
    return in.size();
}

qsizetype CommandStream::DumpStep(QByteArrayView in, bool atEnd)
{
    const qsizetype tilde = in.indexOf(prefixes_->control);
    if (tilde != 0) {
        const qsizetype n = tilde < 0 ? in.size() : tilde;
        sink_.OnDump(in.first(n));
        return n;
    }
    if (in.size() < 3 && !atEnd)
        return 0;
    if (IsCommand(in, prefixes_->control, "JE")) {
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
        const qsizetype end = ParametersEnd(in, 3, atEnd, Ends());
        if (end < 0)
            return 0;
        const QByteArray what = in.sliced(3, end - 3).toByteArray();
        if (what == "R")
            sink_.OnReset();
        else
            Error(QStringLiteral("unknown escape sequence %1 was ignored")
                      .arg(ShownBytes(in.first(end))));
        return end;
    }
    Error(QStringLiteral("unknown escape sequence %1 was ignored").arg(ShownBytes(in.first(2))));
    return 2;
}

qsizetype CommandStream::AddressStep(QByteArrayView in, bool atEnd)
{
    static const QByteArray prefix("\x1F\x1B\x1F\x91\x00", 5);
    const qsizetype have = std::min(in.size(), prefix.size());
    for (qsizetype k = 1; k < have; ++k) {
        if (in[k] != prefix[k]) {
            Error(QStringLiteral("unknown byte sequence %1 was ignored")
                      .arg(ShownBytes(in.first(k + 1))));
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
        Error(
            QStringLiteral("unknown network command %1 was ignored").arg(ShownBytes(in.first(7))));
        return 7;
    }
    if (result == Decode::NeedMore)
        return 0;
    if (result == Decode::Invalid) {
        const qsizetype shown = std::min<qsizetype>(body.size(), 8);
        Error(QStringLiteral("network command %1 with bytes no address can have (%2) was ignored")
                  .arg(QString::fromLatin1(kind.toByteArray()), ShownBytes(body.first(shown))));
        return 7;
    }
    return 7 + length;
}
