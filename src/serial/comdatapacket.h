#pragma once

// Cuts the bytes a port receives into packets: by start and stop strings, by
// a fixed size, or by handlers; with no packet end defined, every receive
// batch is one packet.

#include "serial/cport.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <functional>

using TComStrEvent = std::function<void(QObject *sender, const QByteArray &str)>;
// pos is in-out: -1 on entry; a handler sets the 1-based position it found.
using TCustPacketEvent = std::function<void(QObject *sender, const QByteArray &str, int &pos)>;

class TComDataPacket : public QObject
{
    Q_OBJECT
public:
    explicit TComDataPacket(QObject *owner = nullptr);
    ~TComDataPacket() override;

    // The port whose received bytes this assembler takes; none by default.
    // Becomes none by itself when that port is destroyed.
    TCustomComPort *ComPort() const { return comPort_; }
    void SetComPort(TCustomComPort *port);

    QByteArray StartString() const { return startString_; }
    void SetStartString(const QByteArray &value);
    QByteArray StopString() const { return stopString_; }
    void SetStopString(const QByteArray &value);
    // The buffer is discarded once a scan leaves this many characters or
    // more in it; 0 or less: unbounded.
    int MaxBufferSize() const { return maxBufferSize_; }
    void SetMaxBufferSize(int value) { maxBufferSize_ = value; }
    int Size() const { return size_; }
    void SetSize(int value);
    bool IncludeStrings() const { return includeStrings_; }
    void SetIncludeStrings(bool value) { includeStrings_ = value; }
    bool CaseInsensitive() const { return caseInsensitive_; }
    void SetCaseInsensitive(bool value);

    // One batch of received bytes.
    void AppendReceived(const QByteArray &text);
    // Discards what is buffered (through OnDiscard) and leaves any packet.
    void FlushBuffer();

    QByteArray Buffer() const { return buffer_; }
    bool InPacket() const { return inPacket_; }

    TComStrEvent OnPacket;
    TComStrEvent OnDiscard;
    TCustPacketEvent OnCustomStart;
    TCustPacketEvent OnCustomStop;

protected:
    virtual void ScanBuffer();
    virtual void DoDiscard(const QByteArray &str);
    virtual void DoPacket(const QByteArray &str);
    virtual void DoCustomStart(const QByteArray &str, int &pos);
    virtual void DoCustomStop(const QByteArray &str, int &pos);

private:
    void ReceiveChunk(const char *buffer, int count);
    bool HasPacketEnd() const;
    void FindStart();
    bool FindStop(); // true when a packet was completed
    QByteArray StripDelimiters(QByteArray packet) const;
    int PositionOf(const QByteArray &sub, const QByteArray &text) const;
    void CheckBufferLimit();

    TComLink link_;
    QPointer<TCustomComPort> comPort_;
    QByteArray startString_;
    QByteArray stopString_;
    int maxBufferSize_ = 1024;
    int size_ = 0;
    bool includeStrings_ = false;
    bool caseInsensitive_ = false;
    bool inPacket_ = false;
    QByteArray buffer_;
};
