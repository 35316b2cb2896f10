#include "printer/commandstream.h"

#include "printer/printermemory.h"

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
    switch (x >= 'a' && x <= 'z' ? char(x - 'a' + 'A') : x) {
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

} // namespace

QString DownloadHeader::Describe() const
{
    return QStringLiteral("~%1 %2:%3").arg(QString::fromLatin1(command), device, name);
}

bool ParseDownloadHeader(const QList<QByteArray> &params, DownloadHeader &h, bool &named,
                         QString &error)
{
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
    return sized;
}
