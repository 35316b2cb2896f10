#include "serial/comdatapacket.h"

#include <algorithm>

TComDataPacket::TComDataPacket(QObject *owner)
    : QObject(owner)
{
    link_.OnLinkRxBuf = [this](QObject *, const char *buffer, int count) {
        ReceiveChunk(buffer, count);
    };
}

TComDataPacket::~TComDataPacket()
{
    try {
        SetComPort(nullptr);
    } catch (...) {
        // The link was detached behind our back; nothing is left to undo.
    }
}

void TComDataPacket::SetComPort(TCustomComPort *port)
{
    if (port == comPort_)
        return;
    if (comPort_)
        comPort_->DetachLink(&link_);
    comPort_ = port;
    if (comPort_)
        comPort_->AttachLink(&link_);
}

void TComDataPacket::SetStartString(const QByteArray &value)
{
    if (value == startString_)
        return;
    startString_ = value;
    FlushBuffer();
}

void TComDataPacket::SetStopString(const QByteArray &value)
{
    if (value == stopString_)
        return;
    stopString_ = value;
    FlushBuffer();
}

void TComDataPacket::SetSize(int value)
{
    if (value == size_)
        return;
    size_ = value;
    FlushBuffer();
}

void TComDataPacket::SetCaseInsensitive(bool value)
{
    if (value == caseInsensitive_)
        return;
    caseInsensitive_ = value;
    FlushBuffer();
}

void TComDataPacket::ReceiveChunk(const char *buffer, int count)
{
    AppendReceived(QByteArray(buffer, count));
}

bool TComDataPacket::HasPacketEnd() const
{
    return size_ > 0 || !stopString_.isEmpty() || OnCustomStop;
}

void TComDataPacket::AppendReceived(const QByteArray &text)
{
    if (!HasPacketEnd()) {
        DoPacket(text);
        return;
    }
    buffer_ += text;
    ScanBuffer();
}

int TComDataPacket::PositionOf(const QByteArray &sub, const QByteArray &text) const
{
    if (sub.isEmpty())
        return 0;
    if (caseInsensitive_)
        return int(text.toUpper().indexOf(sub.toUpper())) + 1;
    return int(text.indexOf(sub)) + 1;
}

void TComDataPacket::ScanBuffer()
{
    try {
        for (;;) {
            if (!inPacket_)
                FindStart();
            if (!inPacket_ || !FindStop())
                break;
        }
    } catch (...) {
        CheckBufferLimit();
        throw;
    }
    CheckBufferLimit();
}

void TComDataPacket::CheckBufferLimit()
{
    if (maxBufferSize_ > 0 && buffer_.size() >= maxBufferSize_)
        FlushBuffer();
}

void TComDataPacket::FindStart()
{
    int pos = -1;
    DoCustomStart(buffer_, pos);
    if (pos == -1) {
        if (startString_.isEmpty()) {
            inPacket_ = true;
            return;
        }
        pos = PositionOf(startString_, buffer_);
    }
    if (pos <= 0)
        return;
    inPacket_ = true;
    if (pos > 1) {
        const QByteArray discarded = buffer_.left(pos - 1);
        buffer_.remove(0, pos - 1);
        DoDiscard(discarded);
    }
}

bool TComDataPacket::FindStop()
{
    int pos = -1;
    DoCustomStop(buffer_, pos);
    qsizetype length = 0;
    if (pos > 0) {
        length = pos;
    } else if (pos == -1) {
        if (size_ > 0 && buffer_.size() >= size_) {
            length = size_;
        } else {
            const qsizetype skip = startString_.size();
            const int p = PositionOf(stopString_, buffer_.mid(skip));
            if (p > 0)
                length = skip + p - 1 + stopString_.size();
        }
    }
    // A handler may name a position past the end; an empty packet would
    // never end the scan.
    length = std::min(length, buffer_.size());
    if (length <= 0)
        return false;
    inPacket_ = false;
    QByteArray packet = buffer_.left(length);
    buffer_.remove(0, length);
    if (!includeStrings_)
        packet = StripDelimiters(std::move(packet));
    DoPacket(packet);
    return true;
}

QByteArray TComDataPacket::StripDelimiters(QByteArray packet) const
{
    if (PositionOf(startString_, packet) == 1)
        packet.remove(0, startString_.size());
    const int p = PositionOf(stopString_, packet);
    if (p > 0 && p == packet.size() - stopString_.size() + 1)
        packet.chop(stopString_.size());
    return packet;
}

void TComDataPacket::FlushBuffer()
{
    if (!buffer_.isEmpty()) {
        const QByteArray discarded = buffer_;
        buffer_.clear();
        inPacket_ = false;
        DoDiscard(discarded);
    }
    buffer_.clear();
    inPacket_ = false;
}

void TComDataPacket::DoDiscard(const QByteArray &str)
{
    if (OnDiscard)
        OnDiscard(this, str);
}

void TComDataPacket::DoPacket(const QByteArray &str)
{
    if (OnPacket)
        OnPacket(this, str);
}

void TComDataPacket::DoCustomStart(const QByteArray &str, int &pos)
{
    if (OnCustomStart)
        OnCustomStart(this, str, pos);
}

void TComDataPacket::DoCustomStop(const QByteArray &str, int &pos)
{
    if (OnCustomStop)
        OnCustomStop(this, str, pos);
}
