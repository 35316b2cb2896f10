#include "files/downloadcommand.h"

#include "core/exceptions.h"
#include "files/fileread.h"

#include <array>
#include <cstring>
#include <memory>

namespace {

const QByteArray CrLf = QByteArrayLiteral("\r\n");

// Two digits per byte value, looked up instead of formatted.
constexpr std::array<char, 512> HexPairs = [] {
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<char, 512> table {};
    for (int i = 0; i < 256; ++i) {
        table[2 * i] = digits[i >> 4];
        table[2 * i + 1] = digits[i & 15];
    }
    return table;
}();

QByteArray FontHeader(QByteArrayView device, const QString &fontName, qint64 size)
{
    return "~DU" + device.toByteArray() + fontName.toUtf8() + "," + QByteArray::number(size) + ","
        + CrLf;
}

// Read in pieces that stay in the processor's cache while they are encoded.
constexpr qint64 ChunkSize = 64 * 1024;

} // namespace

QString FileNamePart(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FontNameOf(const QString &fileNameText)
{
    const qsizetype dot = fileNameText.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return QString();
    QString name = fileNameText.left(dot);
    for (QChar &c : name) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return name;
}

QByteArray MemoryDevice(int position)
{
    static const char *const devices[] = { "R:", "E:", "B:", "A:", "Z:" };
    if (position < 0 || position >= int(std::size(devices)))
        return QByteArray();
    return QByteArray(devices[position]);
}

void HexEncodeUpper(const uchar *in, qsizetype n, char *out)
{
    for (qsizetype i = 0; i < n; ++i)
        std::memcpy(out + 2 * i, &HexPairs[2 * in[i]], 2);
}

QByteArray FontDownloadCommand(QByteArrayView device, const QString &fontName,
                               QByteArrayView fontData)
{
    const QByteArray header = FontHeader(device, fontName, fontData.size());
    QByteArray command(header.size() + 2 * fontData.size() + CrLf.size(), Qt::Uninitialized);
    char *out = command.data();
    std::memcpy(out, header.constData(), size_t(header.size()));
    out += header.size();
    HexEncodeUpper(reinterpret_cast<const uchar *>(fontData.data()), fontData.size(), out);
    std::memcpy(out + 2 * fontData.size(), CrLf.constData(), 2);
    return command;
}

QByteArray FontDownloadCommandFromFile(QByteArrayView device, const QString &fontName,
                                       const QString &path)
{
    ReadOnlyFile file(path);
    const qint64 size = file.Size();
    if (size > MaxFontDownloadSize) {
        throw ETarvolinError(
            QStringLiteral("File too large for the font download command: %1 bytes (at most %2)")
                .arg(size)
                .arg(MaxFontDownloadSize));
    }

    const QByteArray header = FontHeader(device, fontName, size);
    QByteArray command(header.size() + 2 * size + CrLf.size(), Qt::Uninitialized);
    char *hex = command.data() + header.size();
    std::memcpy(command.data(), header.constData(), size_t(header.size()));

    const auto chunk = std::make_unique<char[]>(ChunkSize);
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.Read(chunk.get(), std::min(ChunkSize, size - done));
        if (n == 0)
            break;
        HexEncodeUpper(reinterpret_cast<const uchar *>(chunk.get()), n, hex + 2 * done);
        done += n;
    }

    if (done < size) {
        // The file shrank while it was read: the size field must describe
        // what is sent.
        QByteArray exact = FontHeader(device, fontName, done);
        exact.reserve(exact.size() + 2 * done + CrLf.size());
        exact.append(hex, 2 * done);
        exact.append(CrLf);
        return exact;
    }
    std::memcpy(hex + 2 * size, CrLf.constData(), 2);
    return command;
}

QByteArray FileContents(const QString &path)
{
    ReadOnlyFile file(path);
    const qint64 size = file.Size();
    QByteArray contents(size, Qt::Uninitialized);
    contents.resize(file.Read(contents.data(), size));
    return contents;
}

QByteArray DownloadCommand(const DownloadRequest &request)
{
    switch (request.fileType) {
    case int(DownloadFileType::Font): {
        const QByteArray device = MemoryDevice(request.device);
        if (device.isEmpty())
            return QByteArray();
        return FontDownloadCommandFromFile(device, FontNameOf(request.fileNameText), request.path);
    }
    case int(DownloadFileType::Bin):
    case int(DownloadFileType::Data):
        return FileContents(request.path);
    default:
        return QByteArray();
    }
}
