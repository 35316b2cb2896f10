// The font download command: its hexadecimal text decodes to the file's bytes,
// whatever they are, its header names the device, the font and the size, and
// the command read from a file is the command built from the same bytes in
// memory. The hex encoder is also run at every alignment, since it works in
// wide blocks.
//
// Input: the file-name field's text, the "Memory Device:" position, then the
// font's bytes.

#include "fuzzinput.h"

#include "files/downloadcommand.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray Hex(QByteArrayView bytes)
{
    QByteArray hex(2 * bytes.size(), Qt::Uninitialized);
    HexEncodeUpper(reinterpret_cast<const uchar *>(bytes.data()), bytes.size(), hex.data());
    return hex;
}

bool IsUpperHex(QByteArrayView text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QString fileName = input.TextLine();
    const int position = int(input.Number(-1, 6));
    const QByteArray font = input.Rest();

    const QString name = FontNameOf(fileName);
    FUZZ_CHECK(!name.contains(QLatin1Char('.')), "font name %s", qPrintable(name));
    for (const QChar c : name)
        FUZZ_CHECK(c < QLatin1Char('a') || c > QLatin1Char('z'), "font name %s", qPrintable(name));

    // Every start and length within the data, so the wide blocks meet every
    // alignment and every tail length.
    const QByteArray hex = Hex(font);
    FUZZ_CHECK(hex.size() == 2 * font.size() && IsUpperHex(hex), "hex %s", Shown(hex).constData());
    FUZZ_CHECK(QByteArray::fromHex(hex) == font, "hex %s of %s", Shown(hex).constData(),
               Shown(font).constData());
    for (qsizetype start = 1; start < std::min<qsizetype>(font.size(), 40); ++start) {
        FUZZ_CHECK(Hex(QByteArrayView(font).sliced(start)) == hex.mid(2 * start),
                   "hex from %lld of %s", (long long)start, Shown(font).constData());
    }

    const QByteArray device = MemoryDevice(position);
    if (device.isEmpty())
        return 0;
    const QByteArray command = FontDownloadCommand(device, name, font);
    const QByteArray header
        = "~DU" + device + name.toUtf8() + "," + QByteArray::number(font.size()) + ",\r\n";
    FUZZ_CHECK(command.startsWith(header) && command.endsWith("\r\n")
                   && command.size() == header.size() + 2 * font.size() + 2,
               "command %s", Shown(command).constData());
    FUZZ_CHECK(command.mid(header.size(), 2 * font.size()) == hex, "command %s",
               Shown(command).constData());

    // The same from a file: what "Download" reads.
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("font.ttf"));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(font) == font.size(), "write %s",
               qPrintable(path));
    file.close();
    const QByteArray fromFile = FontDownloadCommandFromFile(device, name, path);
    FUZZ_CHECK(fromFile == command, "from the file %s", Shown(fromFile).constData());
    return 0;
}
