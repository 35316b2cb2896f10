// The Command Tool's files: decoding a file and encoding the page again gives
// the file's own bytes (line breaks written CR LF, the text ending at the
// first 00), decoding that once more gives the same page, and a Latin-1 page
// that gained a character Latin-1 cannot hold is never written as anything
// else on its own.
//
// Input: the file's bytes.

#include "fuzzinput.h"

#include "core/exceptions.h"
#include "tool/commandfile.h"

namespace {

// The file as a page keeps it, worked out byte by byte: cut at the first 00,
// every CR LF, lone CR and lone LF written as CR LF.
QByteArray AsSaved(const QByteArray &file)
{
    QByteArray saved;
    for (qsizetype i = 0; i < file.size() && file[i] != '\0'; ++i) {
        if (file[i] == '\r' || file[i] == '\n') {
            saved += "\r\n";
            if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n')
                ++i;
        } else {
            saved += file[i];
        }
    }
    return saved;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const PageText page = DecodeCommandFile(file);
    FUZZ_CHECK(!page.lines.isEmpty(), "no line from %s", Shown(file).constData());

    const QByteArray saved = EncodePageText(page.lines, page.encoding);
    FUZZ_CHECK(saved == AsSaved(file), "%s saved as %s (%s)", Shown(file).constData(),
               Shown(saved).constData(), qPrintable(PageEncodingName(page.encoding)));
    FUZZ_CHECK(BuildSendTextCommand(page) == saved + "\r\n", "send text of %s",
               Shown(file).constData());

    const PageText again = DecodeCommandFile(saved);
    FUZZ_CHECK(again.lines == page.lines && again.encoding == page.encoding,
               "%s reloads differently", Shown(saved).constData());

    if (page.encoding == PageEncoding::Utf8)
        return 0;
    // The operator types a character Latin-1 cannot hold into the page.
    QStringList edited = page.lines;
    edited.last() += QStringLiteral("\u20AC");
    FUZZ_CHECK(CharactersOutsideLatin1(edited).contains(QStringLiteral("\u20AC")), "%s",
               Shown(file).constData());
    bool refused = false;
    try {
        EncodePageText(edited, PageEncoding::Latin1);
    } catch (const ETarvolinError &) {
        refused = true;
    }
    FUZZ_CHECK(refused, "a Latin-1 page of %s was written with a euro sign",
               Shown(file).constData());
    // Written as UTF-8 at the operator's word, it reloads as that text.
    const PageText asUtf8 = DecodeCommandFile(EncodePageText(edited, PageEncoding::Utf8));
    if (asUtf8.encoding == PageEncoding::Utf8)
        FUZZ_CHECK(asUtf8.lines == edited, "%s as UTF-8", Shown(file).constData());
    return 0;
}
