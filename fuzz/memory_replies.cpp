// The printer's replies to the file list and free memory requests: the text
// shown is the reply byte for byte, the file list layout only adds line
// breaks at its labels, and the free memory figures come out of a reply laid
// out as the printer lays it out, whatever else surrounds them.
//
// Input: the DRAM figure, the FLASH figure, then any reply bytes.

#include "fuzzinput.h"

#include "files/memorycommands.h"

namespace {

QByteArray WithoutLineBreaks(QByteArray text)
{
    return text.replace("\r\n", "");
}

// A figure as the printer writes it: digits only.
QByteArray Digits(const QByteArray &line)
{
    QByteArray digits;
    for (const char c : line) {
        if (c >= '0' && c <= '9')
            digits += c;
    }
    return digits.isEmpty() ? "0" : digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray dram = Digits(input.Line());
    const QByteArray flash = Digits(input.Line());
    const QByteArray reply = input.Rest();

    const QString text = ReplyText(reply);
    const bool utf8 = text.toUtf8() == reply;
    FUZZ_CHECK(utf8 || (text.size() == reply.size() && text.toLatin1() == reply), "%s shown as %s",
               Shown(reply).constData(), Shown(text.toUtf8()).constData());

    const QByteArray laidOut = FileListLayout(reply);
    const int breaks
        = (reply.contains("DRAM FILES: ") ? 1 : 0) + (reply.contains("FLASH FILES: ") ? 2 : 0);
    FUZZ_CHECK(laidOut.size() == reply.size() + 2 * breaks
                   && WithoutLineBreaks(laidOut) == WithoutLineBreaks(reply),
               "%s laid out as %s", Shown(reply).constData(), Shown(laidOut).constData());
    if (reply.contains("DRAM FILES: "))
        FUZZ_CHECK(laidOut.contains("DRAM FILES: \r\n"), "%s", Shown(laidOut).constData());
    if (reply.contains("FLASH FILES: "))
        FUZZ_CHECK(laidOut.contains("\r\nFLASH FILES: \r\n"), "%s", Shown(laidOut).constData());

    // Arbitrary replies are read without harm; a well-formed one gives its
    // figures whatever follows its line.
    ParseFreeMemory(reply);
    const QByteArray freeMemory
        = "DRAM FREE BYTE(KB): " + dram + "FLASH FREE BYTE(KB): " + flash + "\r\n" + reply;
    const FreeMemoryFigures figures = ParseFreeMemory(freeMemory);
    FUZZ_CHECK(figures.dram == QString::fromLatin1(dram)
                   && figures.flash == QString::fromLatin1(flash),
               "%s read as %s / %s", Shown(freeMemory).constData(), qPrintable(figures.dram),
               qPrintable(figures.flash));
    return 0;
}
