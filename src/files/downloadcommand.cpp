#include "files/downloadcommand.h"

#include "core/exceptions.h"
#include "files/fileread.h"

#include <array>
#include <cstring>
#include <memory>
#include <sys/mman.h>

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

// A fresh command of many megabytes is faulted in page by page as it is
// written; in 2 MiB pages that is 512 times fewer faults.
void AdviseHugePages(char *data, qsizetype size)
{
#ifdef MADV_HUGEPAGE
    constexpr quintptr Huge = 2 * 1024 * 1024;
    const quintptr begin = (quintptr(data) + Huge - 1) & ~(Huge - 1);
    const quintptr end = (quintptr(data) + quintptr(size)) & ~(Huge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

// The command with its header and closing CR LF in place and room for the hex
// of n bytes between them, left for the caller to fill.
QByteArray CommandFrame(const QByteArray &header, qint64 n)
{
    QByteArray command(header.size() + 2 * n + CrLf.size(), Qt::Uninitialized);
    AdviseHugePages(command.data(), command.size());
    std::memcpy(command.data(), header.constData(), size_t(header.size()));
    std::memcpy(command.data() + header.size() + 2 * n, CrLf.constData(), 2);
    return command;
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
    qsizetype i = 0;
#if defined(__GNUC__) && __has_builtin(__builtin_shufflevector)
    // Sixteen bytes at a time in vector registers (SSE2 on x86-64, NEON on
    // ARM): each half-byte v becomes '0' + v, and 7 more from 10 up, which
    // lands on 'A'; then the high and low digits are interleaved.
    using Bytes = unsigned char __attribute__((vector_size(16)));
    const auto digits = [](Bytes v) {
        return v + '0' + (Bytes(v > 9) & ('A' - '0' - 10));
    };
    for (; i + 16 <= n; i += 16) {
        Bytes bytes;
        std::memcpy(&bytes, in + i, 16);
        const Bytes high = digits(bytes >> 4);
        const Bytes low = digits(bytes & 15);
        const Bytes first = __builtin_shufflevector(high, low, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5,
                                                    21, 6, 22, 7, 23);
        const Bytes second = __builtin_shufflevector(high, low, 8, 24, 9, 25, 10, 26, 11, 27, 12,
                                                     28, 13, 29, 14, 30, 15, 31);
        std::memcpy(out + 2 * i, &first, 16);
        std::memcpy(out + 2 * i + 16, &second, 16);
    }
#endif
    for (; i < n; ++i)
        std::memcpy(out + 2 * i, &HexPairs[2 * in[i]], 2);
}

QByteArray FontDownloadCommand(QByteArrayView device, const QString &fontName,
                               QByteArrayView fontData)
{
    const QByteArray header = FontHeader(device, fontName, fontData.size());
    QByteArray command = CommandFrame(header, fontData.size());
    HexEncodeUpper(reinterpret_cast<const uchar *>(fontData.data()), fontData.size(),
                   command.data() + header.size());
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

    // One pass: each piece read is encoded straight into its place in the
    // command, which is the only copy of the font's data kept.
    const QByteArray header = FontHeader(device, fontName, size);
    QByteArray command = CommandFrame(header, size);
    char *hex = command.data() + header.size();
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
        // what is sent. The shorter header moves the hex forward in place.
        const QByteArray exact = FontHeader(device, fontName, done);
        std::memmove(command.data() + exact.size(), hex, size_t(2 * done));
        std::memcpy(command.data(), exact.constData(), size_t(exact.size()));
        std::memcpy(command.data() + exact.size() + 2 * done, CrLf.constData(), 2);
        command.truncate(exact.size() + 2 * done + CrLf.size());
    }
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
