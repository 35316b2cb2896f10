#include "tool/commandfile.h"

#include "core/exceptions.h"

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

PageText ReadCommandFile(const QString &path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw With(EFOpenError(path), AboutFile(file, path));
    // A device or pipe reports no size; the read below is bounded all the same.
    if (file.size() > maxBytes)
        throw ETarvolinError(QStringLiteral("Text exceeds memo capacity"));
    QByteArray bytes;
    for (;;) {
        const QByteArray chunk = file.read(qint64(1) << 20);
        if (file.error() != QFileDevice::NoError)
            throw With(EFOpenError(path), AboutFile(file, path));
        if (chunk.isEmpty())
            break;
        bytes += chunk;
        if (bytes.size() > maxBytes)
            throw ETarvolinError(QStringLiteral("Text exceeds memo capacity"));
    }
    return DecodeCommandFile(bytes);
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
