#pragma once

#include "core/exceptions.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class ProgressObserver;
class TComPort;
class Transfer;

// The interface the operator selected and its settings, read from the
// "Interface Select" tab at the moment of each send. The five flags are
// tested independently, in this order.
struct InterfaceSelection
{
    bool com = false;
    bool lpt = false;
    bool ethernet = false;
    bool driver = false;
    bool file = false;
    QString lptDevice; // "LPT1".."LPT4" or a device path; empty when nothing is selected
    QString ipAddress; // dotted-decimal address of the network printer
    QString printerName; // installed (CUPS) printer
    QString fileName; // text of the file name box, without ".bin"
};

// What differs between the three callers of SerialExchange.
struct ExchangeOptions
{
    int postWriteWaitMs = 20;
    bool waitBeforeClose = false; // 30 ms before ClosePort
    bool lfAfterCr = false; // insert LF after every CR received
};

// The only code that talks to a printer. A handler fills CommandBuffer,
// replacing what was there, and calls SendToPrinter() as its last step; the
// selected interface is opened, every byte written, and closed again.
//
// Each send and exchange is one operation with its own progress observer,
// which learns of every stage and may stop it (EOperationCancelled, with
// how far it got). While an operation runs, the serial port's deliveries are
// held: the observer may keep the window's event loop turning, and the
// port's rules on when received bytes reach the packet assembler stay as if
// it did not.
class PrinterLink
{
public:
    using SelectionSource = std::function<InterfaceSelection()>;
    using MessageSink = std::function<void(const QString &)>;
    // Makes the observer of one operation; it lives as long as the operation.
    // Empty, or returning none: the operation runs unwatched.
    using ProgressSource = std::function<std::unique_ptr<ProgressObserver>()>;

    PrinterLink(TComPort *port, SelectionSource selection, MessageSink message);
    ~PrinterLink();

    void SetProgressSource(ProgressSource source) { progressSource_ = std::move(source); }

    // The program-wide command buffer: bytes, 00 included, sent whole.
    QByteArray CommandBuffer;
    // The last reply collected by SerialExchange.
    QByteArray ReplyText;

    // How the File interface names its file: "<name>.bin" for every
    // operation, the name exactly as typed for "Download".
    enum class FileNaming { AppendBin, AsTyped };

    void SendToPrinter(FileNaming naming = FileNaming::AppendBin);

    // A reply longer than this, or still going after this long, is cut off.
    static constexpr qsizetype MaxReplyBytes = 64 * 1024;
    static constexpr qint64 MaxReplyMs = 60 * 1000;
    void SetReplyLimits(qsizetype bytes, qint64 ms)
    {
        maxReplyBytes_ = bytes;
        maxReplyMs_ = ms;
    }

    // Request and reply over COM. Returns nothing (and sends nothing) when COM
    // is not the selected interface, after telling the operator so.
    std::optional<QByteArray> SerialExchange(const ExchangeOptions &options);

    TComPort *Port() { return port_; }

    // What the message just told concerns (the printer and the system's
    // reason for "Connect error"); empty for a message about the selection.
    const ErrorParticulars &LastMessageParticulars() const { return messageParticulars_; }

    // The raw printing port of network printers; tests point it elsewhere.
    void SetNetworkPort(quint16 port) { networkPort_ = port; }
    // How long a network printer may take nothing before the send fails.
    void SetNetworkStallTimeout(int ms) { networkStallMs_ = ms; }

private:
    class Operation;

    void WriteToPort(const QByteArray &data, Transfer &transfer);
    void CloseQuietly();
    void Tell(const QString &message, ErrorParticulars particulars = {});
    QString PortDescription() const;
    double PortBytesPerSecond() const;

    TComPort *port_;
    SelectionSource selection_;
    MessageSink message_;
    ErrorParticulars messageParticulars_;
    ProgressSource progressSource_;
    quint16 networkPort_ = 9100;
    int networkStallMs_;
    qsizetype maxReplyBytes_ = MaxReplyBytes;
    qint64 maxReplyMs_ = MaxReplyMs;
};
