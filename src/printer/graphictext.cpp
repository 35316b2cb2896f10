// A graphic download whose hexadecimal data is compressed: its length in
// text cannot be known from the byte count, so the text runs to the next
// command and the preview's graphic reader decodes it, checking its sizes
// and CRC, into the bytes stored.
#include "printer/commandstream.h"

#include "preview/graphicdata.h"

bool CommandStream::StartGraphicText(char c)
{
    const bool compressed
        = (c >= 'G' && c <= 'Y') || (c >= 'g' && c <= 'z') || c == ',' || c == '!' || c == ':';
    if (!compressed || download_.rowBytes <= 0 || !download_.hex)
        return false;
    // The digits read so far, as text again: the reader takes the whole.
    const qint64 done = download_.size - remaining_;
    text_ = keep_ ? data_.left(qsizetype(done)).toHex().toUpper() : QByteArray();
    if (keep_ && nibble_ >= 0)
        text_ += "0123456789ABCDEF"[nibble_];
    textBytes_ = text_.size();
    data_ = QByteArray();
    graphicText_ = true;
    return true;
}

qsizetype CommandStream::GraphicTextStep(QByteArrayView in, bool atEnd)
{
    qsizetype n = 0;
    while (n < in.size() && in[n] != prefixes_->format && in[n] != prefixes_->control)
        ++n;
    // No encoding of a graphic takes more text than twice its bytes and a
    // row code a row.
    const qint64 limit
        = 2 * download_.size + 2 * (download_.size / download_.rowBytes + 1) + MaxHeaderBytes;
    if (keep_ && textBytes_ + n <= limit)
        text_ += in.first(n);
    textBytes_ += n;
    if (n == in.size() && !atEnd)
        return n;
    FinishGraphicText();
    return n > 0 ? n : Step(in, atEnd);
}

void CommandStream::FinishGraphicText()
{
    graphicText_ = false;
    const GraphicData graphic { 'A', download_.size, download_.rowBytes, std::move(text_) };
    text_ = QByteArray();
    if (!keep_) {
        mode_ = afterData_;
        return;
    }
    DecodedGraphic decoded;
    if (textBytes_ > graphic.data.size())
        decoded.problem = QStringLiteral("%1 bytes of text are more than any form of a graphic of "
                                         "%2 bytes takes")
                              .arg(textBytes_)
                              .arg(download_.size);
    else
        decoded = DecodeGraphicBytes(graphic);
    if (!decoded.problem.isEmpty()) {
        Error(QStringLiteral("%1: %2; nothing stored").arg(download_.Describe(), decoded.problem));
        keep_ = false;
        mode_ = afterData_;
        return;
    }
    data_ = std::move(decoded.bytes);
    remaining_ = 0;
    FinishDownload();
}
