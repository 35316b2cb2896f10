#include "tool/commandfile.h"

#include "core/exceptions.h"
#include "link/transfer.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

// Characters the editor turns into line breaks on its own; a text holding
// one would not come back as it was loaded.
bool EditorSplitsAt(QChar c)
{
    return c == QChar::ParagraphSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

// UTF-8 only when decoding and encoding again gives back the very same bytes
// and the editor keeps every character as it is.
bool DecodeUtf8Exactly(QByteArrayView bytes, QString *text)
{
    // Keep an initial byte order mark as a character, so it is saved again.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    QStringEncoder encoder(QStringConverter::Utf8);
    const QByteArray again = encoder.encode(decoded);
    if (encoder.hasError() || QByteArrayView(again) != bytes)
        return false;
    for (QChar c : std::as_const(decoded))
        if (EditorSplitsAt(c))
            return false;
    *text = std::move(decoded);
    return true;
}

QStringList SplitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    lines << text.mid(start);
    return lines;
}

// Each character of the lines for which the test holds, once, in order.
template<class Test> QString DistinctCharacters(const QStringList &lines, Test test)
{
    QString found;
    for (const QString &line : lines) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            // A character beyond the first 65536 is two QChars: keep them together.
            const qsizetype n = line.at(i).isHighSurrogate() && i + 1 < line.size() ? 2 : 1;
            const QStringView c = QStringView(line).sliced(i, n);
            if (test(c.front().unicode()) && !found.contains(c))
                found += c;
            i += n - 1;
        }
    }
    return found;
}

} // namespace

PageText DecodeCommandFile(QByteArrayView bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes = bytes.first(zero);
    PageText page;
    QString text;
    if (DecodeUtf8Exactly(bytes, &text)) {
        page.encoding = PageEncoding::Utf8;
    } else {
        text = QString::fromLatin1(bytes);
        page.encoding = PageEncoding::Latin1;
    }
    page.lines = SplitLines(text);
    return page;
}

QString PageEncodingName(PageEncoding encoding)
{
    switch (encoding) {
    case PageEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case PageEncoding::Latin1:
        return QStringLiteral("Latin-1");
    }
    return QString();
}

QString CharactersOutsideLatin1(const QStringList &lines)
{
    return DistinctCharacters(lines, [](char16_t c) { return c > 0xFF; });
}

QString CharactersChangedByUtf8(const QStringList &lines)
{
    return DistinctCharacters(lines, [](char16_t c) { return c >= 0x80 && c <= 0xFF; });
}

QByteArray EncodePageText(const QStringList &lines, PageEncoding encoding)
{
    const QString text = lines.join(QStringLiteral("\r\n"));
    switch (encoding) {
    case PageEncoding::Latin1: {
        const QString outside = CharactersOutsideLatin1(lines);
        if (!outside.isEmpty()) {
            throw ETarvolinError(
                QStringLiteral("The page holds characters Latin-1 cannot hold: %1").arg(outside));
        }
        return text.toLatin1();
    }
    case PageEncoding::Utf8:
        return text.toUtf8();
    }
    return text.toUtf8();
}

QByteArray BuildSendTextCommand(const PageText &page)
{
    return EncodePageText(page.lines, page.encoding) + "\r\n";
}

namespace {
// The file's full path and the system's words for what went wrong with it.
ErrorParticulars AboutFile(const QFileDevice &file, const QString &path)
{
    return { ErrorParticulars::Subject::File, QFileInfo(path).absoluteFilePath(), 0,
             file.errorString() };
}
} // namespace

QString DecodeForEditor(QByteArrayView bytes, PageEncoding *encoding)
{
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes = bytes.first(zero);
    QString text;
    if (DecodeUtf8Exactly(bytes, &text)) {
        *encoding = PageEncoding::Utf8;
    } else {
        text = QString::fromLatin1(bytes);
        *encoding = PageEncoding::Latin1;
    }
    // One pass in place: replacing CR LF through QString takes seconds on a
    // large file.
    QChar *d = text.data();
    const qsizetype n = text.size();
    qsizetype kept = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (d[i] != QLatin1Char('\r')) {
            d[kept++] = d[i];
            continue;
        }
        d[kept++] = QLatin1Char('\n');
        if (i + 1 < n && d[i + 1] == QLatin1Char('\n'))
            ++i;
    }
    text.truncate(kept);
    return text;
}

PageFileReader::PageFileReader(const QString &path, qint64 maxBytes, qint64 maxLineBytes)
    : path_(path)
    , maxBytes_(maxBytes)
    , maxLineBytes_(maxLineBytes)
    , file_(std::make_unique<QFile>(path))
{
    if (!file_->open(QIODevice::ReadOnly))
        throw With(EFOpenError(path), AboutFile(*file_, path));
    if (!file_->isSequential())
        size_ = file_->size();
    if (size_ > maxBytes_)
        tooMuch_ = QStringLiteral("%1 is %2 bytes; a page holds files of up to %3 bytes.")
                       .arg(path)
                       .arg(ByteCount(size_))
                       .arg(ByteCount(maxBytes_));
}

PageFileReader::~PageFileReader() = default;

bool PageFileReader::ReadSome()
{
    if (ended_ || !tooMuch_.isEmpty())
        return false;
    const QByteArray piece = file_->read(PieceBytes);
    if (file_->error() != QFileDevice::NoError)
        throw With(EFOpenError(path_), AboutFile(*file_, path_));
    if (piece.isEmpty()) {
        ended_ = true;
        return false;
    }
    // The text ends at the first 00 byte: what follows neither counts nor shows.
    const qsizetype zero = piece.indexOf('\0');
    const QByteArrayView kept = zero >= 0 ? QByteArrayView(piece).first(zero) : piece;
    for (const char c : kept) {
        if (c == '\r' || c == '\n') {
            // CR LF is one break; the LF of it starts no new line.
            if (!(c == '\n' && lastWasCr_))
                ++lines_;
            lineBytes_ = 0;
        } else if (++lineBytes_ > maxLineBytes_) {
            tooMuch_ = QStringLiteral("Line %1 of %2 is longer than %3 bytes, the longest line a "
                                      "page shows.")
                           .arg(lines_)
                           .arg(path_)
                           .arg(ByteCount(maxLineBytes_));
            return false;
        }
        lastWasCr_ = c == '\r';
    }
    bytes_ += kept;
    if (bytes_.size() > maxBytes_) {
        tooMuch_ = QStringLiteral("%1 holds more than %2 bytes, the most a page holds.")
                       .arg(path_, ByteCount(maxBytes_));
        return false;
    }
    if (zero >= 0)
        ended_ = true;
    return !ended_;
}

QString PageFileReader::TakeText(PageEncoding *encoding)
{
    const QString text = DecodeForEditor(bytes_, encoding);
    bytes_.clear();
    return text;
}

PageText ReadCommandFile(const QString &path, qint64 maxBytes)
{
    PageFileReader reader(path, maxBytes);
    while (reader.ReadSome()) { }
    if (!reader.TooMuch().isEmpty())
        throw ETarvolinError(QStringLiteral("Text exceeds memo capacity"));
    PageText page;
    page.lines = reader.TakeText(&page.encoding).split(QLatin1Char('\n'));
    return page;
}

void WriteCommandFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw With(EFCreateError(path), AboutFile(file, path));
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        throw With(EFCreateError(path), AboutFile(file, path));
    }
    if (!file.commit())
        throw With(EFCreateError(path), AboutFile(file, path));
}

bool CommandFileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QByteArray ReadWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw With(EFOpenError(path), AboutFile(file, path));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw With(EFOpenError(path), AboutFile(file, path));
    return bytes;
}
