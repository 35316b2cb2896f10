#pragma once

#include "core/exceptions.h"
#include "link/linktarget.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class ProgressObserver;
class ReplyChannel;
class SendSource;
class TComPort;
class Transfer;
struct PrinterQuery;

// What a watched serial send shows while the printer takes nothing: for how
// long, why as far as the port can tell, and what to check.
QString SerialStallText(qint64 quietMs, bool xoff);

// What differs between the three callers of SerialExchange.
struct ExchangeOptions
{
    int postWriteWaitMs = 20;
    bool waitBeforeClose = false; // 30 ms before ClosePort
    bool lfAfterCr = false; // insert LF after every CR received
};

// The only code that talks to a printer. A handler fills CommandBuffer,
// replacing what was there, and calls SendToPrinter() as its last step: the
// target is asked for at that moment, its interface opened, every byte
// written, and closed again. Failures travel as exceptions with their
// particulars; a failure the handler is specified to show itself ("Connect
// error", "You must select COM port!!") is an EHandlerMessage.
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
    using TargetSource = std::function<LinkTarget()>;
    // Makes the observer of one operation; it lives as long as the operation.
    // Empty, or returning none: the operation runs unwatched.
    using ProgressSource = std::function<std::unique_ptr<ProgressObserver>()>;

    // `port` is the window's serial port, used for COM targets as it is set
    // up; without one the link opens a port of its own for each COM
    // operation, set up from the target.
    PrinterLink(TComPort *port, TargetSource target);
    explicit PrinterLink(TargetSource target);
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
    // The same with the bytes read from `source` as they go out, instead of
    // the command buffer: what is sent is held a piece at a time.
    void SendToPrinter(FileNaming naming, SendSource &source);

    // A reply longer than this, or still going after this long, is cut off.
    static constexpr qsizetype MaxReplyBytes = 64 * 1024;
    static constexpr qint64 MaxReplyMs = 60 * 1000;
    void SetReplyLimits(qsizetype bytes, qint64 ms)
    {
        maxReplyBytes_ = bytes;
        maxReplyMs_ = ms;
    }

    // Request and reply over COM. When COM is not the target, sends nothing
    // and raises EHandlerMessage "You must select COM port!!"; ReplyText
    // keeps its content then.
    QByteArray SerialExchange(const ExchangeOptions &options);

    // Sends the query's request over the target and collects the reply by
    // the query's own completion rule, over serial, network or a USB printer
    // device alike. A print queue or a file raises EOneWayInterface; a reply
    // that does not complete raises ETarvolinError naming the query and what
    // was wrong.
    QByteArray Query(const PrinterQuery &query);
    // How much of the last query's request went out, whatever became of its
    // reply: none when the connection did not open, part when the write
    // failed on the way.
    enum class RequestSent { None, Part, Whole };
    RequestSent LastRequestSent() const { return lastRequestSent_; }

    // The target a send made now would go to.
    LinkTarget Target() const { return target_(); }
    // The target as it is reached: the network port set here applied.
    LinkTarget ResolvedTarget() const { return Resolved(target_()); }

    TComPort *Port() { return port_; }

    // The raw printing port of network printers; tests point it elsewhere.
    void SetNetworkPort(quint16 port) { networkPort_ = port; }
    // How long a network printer may take nothing before the send fails.
    void SetNetworkStallTimeout(int ms) { networkStallMs_ = ms; }

private:
    class Operation;
    struct Backend;
    static const Backend &BackendFor(LinkTarget::Kind kind);

    void SendCom(const LinkTarget &target, FileNaming naming, SendSource &source);
    void SendLpt(const LinkTarget &target, FileNaming naming, SendSource &source);
    void SendEthernet(const LinkTarget &target, FileNaming naming, SendSource &source);
    void SendDriver(const LinkTarget &target, FileNaming naming, SendSource &source);
    void SendFile(const LinkTarget &target, FileNaming naming, SendSource &source);
    std::unique_ptr<ReplyChannel> OpenCom(const LinkTarget &target, Transfer &transfer);
    std::unique_ptr<ReplyChannel> OpenLpt(const LinkTarget &target, Transfer &transfer);
    std::unique_ptr<ReplyChannel> OpenEthernet(const LinkTarget &target, Transfer &transfer);

    // The serial port of a COM operation: the window's, or one set up from
    // the target.
    TComPort *ComPortFor(const LinkTarget &target);
    LinkTarget Resolved(LinkTarget target) const;
    void WriteToPort(const QByteArray &data, Transfer &transfer, qint64 before = 0);
    void CloseQuietly();
    QString PortDescription() const;
    double PortBytesPerSecond() const;

    TComPort *port_;
    std::unique_ptr<TComPort> ownPort_;
    TargetSource target_;
    ProgressSource progressSource_;
    quint16 networkPort_ = 0; // 0: the target's own
    int networkStallMs_;
    qsizetype maxReplyBytes_ = MaxReplyBytes;
    qint64 maxReplyMs_ = MaxReplyMs;
    RequestSent lastRequestSent_ = RequestSent::None;
};
