#pragma once

// Splits the bytes a printer receives into the commands it acts on: label
// formats ("^XA" ... "^XZ"), tilde commands, file downloads in hexadecimal and
// binary form, the escape sequences (status query, reset), the byte-level
// network address commands and the line commands ("CLS", "KILL").
//
// Bytes may arrive in any pieces. Nothing grows without bound: a format is at
// most MaxFormatBytes, parameters and lines at most MaxHeaderBytes, download
// data goes straight into the file (or nowhere, when the printer refuses it),
// and garbage is counted, not kept. Every fault is reported to the sink and
// the stream goes on with the next byte that can start a command.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>

// What a download command announces before its data.
struct DownloadHeader
{
    QByteArray command; // "DU", "DG", "DY" or "DT"
    QChar device = QLatin1Char('R');
    QString name; // with its extension, without the device
    qint64 size = 0; // bytes of the file
    bool hex = true; // two hexadecimal digits per byte, or the bytes themselves
    int rowBytes = 0; // a graphic's bytes per row of dots (~DG, ~DY); 0 otherwise

    // "~DU E:DEMO.FNT"
    QString Describe() const;
};

// Reads a download command's parameters (those before its data) into the
// header. False when the size is no number; named is false, with the
// reason in error, when the name, format or file type cannot be used.
bool ParseDownloadHeader(const QList<QByteArray> &params, DownloadHeader &h, bool &named,
                         QString &error);

// Received bytes as a message shows them: printable ASCII as it is, every
// other byte as <XX>, cut at `limit` bytes with "...".
QString ShownBytes(QByteArrayView bytes, qsizetype limit = 24);

class CommandSink
{
public:
    virtual ~CommandSink() = default;

    // A whole format from "^XA" to "^XZ", without the tilde commands it
    // held (those were reported as they came).
    virtual void OnFormat(const QByteArray &format) = 0;
    // "~SD15" arrives as ("SD", "15"); "~!F" as ("!F", ""). Inside a format
    // only the commands IsImmediateTilde() names are taken out and reported.
    virtual void OnTilde(const QByteArray &name, const QByteArray &params) = 0;
    // Whether to keep the data that follows; false consumes it unstored.
    virtual bool OnDownloadStart(const DownloadHeader &header) = 0;
    // All data of an accepted download arrived.
    virtual void OnDownloadEnd(const DownloadHeader &header, QByteArray data) = 0;
    // 1B "!?"
    virtual void OnStatusQuery() = 0;
    // 1B "!,R"
    virtual void OnReset() = 0;
    // 1F 1B 1F 91 00 "IP" and the four octets.
    virtual void OnNewAddress(const std::array<quint8, 4> &octets) = 0;
    // 1F 1B 1F 91 00 "ID" and the six bytes of the Ethernet ID.
    virtual void OnNewEthernetId(const std::array<quint8, 6> &id) = 0;
    // A line of text outside any format that starts with a letter ("CLS",
    // "KILL F,\"*\""), without its line end.
    virtual void OnLine(const QByteArray &line) = 0;
    // In dump mode every byte is reported here until "~JE" (reported as a
    // tilde command); the sink decides when dump mode begins and ends.
    virtual bool InDumpMode() const = 0;
    virtual void OnDump(QByteArrayView bytes) = 0;
    // A malformed, truncated or oversized command, or bytes that are none.
    virtual void OnError(const QString &message) = 0;
};

// The characters that start commands; ^CC / ~CC and ^CT / ~CT change them.
struct CommandPrefixes
{
    char format = '^';
    char control = '~';
};

class CommandStream
{
public:
    static constexpr qsizetype MaxFormatBytes = 32 * 1024 * 1024;
    static constexpr qsizetype MaxHeaderBytes = 1024;
    static constexpr qsizetype MaxNameLength = 64;

    explicit CommandStream(CommandSink &sink);
    CommandStream(const CommandStream &) = delete;
    CommandStream &operator=(const CommandStream &) = delete;

    void Feed(QByteArrayView bytes);
    // The sender is gone: what is complete is acted on, what is not is
    // reported as cut short and dropped, and the stream starts afresh.
    void EndOfInput();
    // Whether part of a command is still waiting for more bytes.
    bool InCommand() const;

    // The prefixes in force now, and those the format being reported began
    // with (the interpreter reads it with them).
    CommandPrefixes Prefixes() const { return *prefixes_; }
    // The prefixes are kept there, not in the stream: a printer's hold for
    // every connection.
    void SharePrefixes(CommandPrefixes &prefixes) { prefixes_ = &prefixes; }
    CommandPrefixes FormatPrefixes() const { return formatPrefixes_; }

    // Tilde commands a printer carries out even inside a format.
    static bool IsImmediateTilde(QByteArrayView name);

private:
    enum class Mode { Top, Format, FormatOverflow, Data, Garbage };

    qsizetype Process(QByteArrayView in, bool atEnd);
    qsizetype Step(QByteArrayView in, bool atEnd);
    qsizetype TopStep(QByteArrayView in, bool atEnd);
    qsizetype GarbageStep(QByteArrayView in, bool atEnd);
    qsizetype LineStep(QByteArrayView in, bool atEnd);
    qsizetype CaretStep(QByteArrayView in, bool atEnd);
    qsizetype TildeStep(QByteArrayView in, bool atEnd, bool inFormat);
    qsizetype DownloadStep(QByteArrayView in, bool atEnd, bool inFormat, int commas);
    qsizetype DataStep(QByteArrayView in, bool atEnd);
    // A graphic's hexadecimal data turned out compressed (repeat letters,
    // row codes, ":Z64:"...): its text is read to the next command and
    // decoded whole (graphictext.cpp).
    bool StartGraphicText(char c);
    qsizetype GraphicTextStep(QByteArrayView in, bool atEnd);
    void FinishGraphicText();
    qsizetype FormatStep(QByteArrayView in, bool atEnd);
    qsizetype OverflowStep(QByteArrayView in, bool atEnd);
    qsizetype DumpStep(QByteArrayView in, bool atEnd);
    qsizetype EscapeStep(QByteArrayView in, bool atEnd);
    qsizetype AddressStep(QByteArrayView in, bool atEnd);

    // Fewer than `need` bytes: 0 to wait for more, or at the end of the
    // input all of them, reported as cut short; -1 when there are enough.
    qsizetype Short(QByteArrayView in, qsizetype need, bool atEnd, const char *what);
    void StartGarbage();
    void EndGarbage();
    void FinishDownload();
    void AbandonFormat(const QString &why);
    void Error(const QString &message) { sink_.OnError(message); }
    // ^CCx, ~CCx, ^CTx, ~CTx: true when the command was one (and was acted on).
    bool ChangesPrefix(QByteArrayView command);
    auto Ends() const; // what ends parameters, with the prefixes in force

    CommandSink &sink_;
    QByteArray pending_; // bytes of a command that is not complete yet
    Mode mode_ = Mode::Top;
    CommandPrefixes ownPrefixes_;
    CommandPrefixes *prefixes_ = &ownPrefixes_;
    CommandPrefixes formatPrefixes_;

    QByteArray format_;

    // The download in progress.
    DownloadHeader download_;
    bool keep_ = false;
    QByteArray data_;
    qint64 remaining_ = 0;
    int nibble_ = -1;
    Mode afterData_ = Mode::Top;
    bool graphicText_ = false;
    QByteArray text_;
    qint64 textBytes_ = 0;

    // The garbage run in progress.
    qint64 garbageBytes_ = 0;
    QByteArray garbageStart_;
};
