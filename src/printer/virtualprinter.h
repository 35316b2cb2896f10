#pragma once

// A label printer in software: it acts on the commands a CommandStream finds
// in what each connection sends, keeps its files, settings, identity and
// status conditions, answers the queries in the shapes the program reads,
// and hands every label it prints to a LabelOutput. One VirtualPrinter
// serves any number of sessions (one per listener), one after another on
// one thread.

#include "preview/labelrenderer.h"
#include "printer/commandstream.h"
#include "printer/printeractions.h"
#include "printer/printermemory.h"
#include "printer/printersettings.h"
#include "printer/printerstatefile.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

// Where the printer's log lines go. Implementations may be called from the
// label output's thread as well.
class PrinterLog
{
public:
    virtual ~PrinterLog() = default;
    virtual void Info(const QString &line) = 0;
    virtual void Error(const QString &line) = 0;
    // False when Info lines go nowhere: lines logged for every label are
    // then not even made.
    virtual bool WantsInfo() const { return true; }
};

struct PrinterConfig
{
    int dotsPerMm = 8; // 203 dpi; 12 for 300 dpi
    qint64 dramKb = PrinterMemory::DefaultDramKb;
    qint64 flashKb = PrinterMemory::DefaultFlashKb;
    quint32 conditions = 0;
    QString stateDir; // empty: nothing outlives the process
};

// One format (or a label the printer makes up itself) to print.
struct PrintJob
{
    enum class Kind { Label, Directory, Configuration };
    Kind kind = Kind::Label;
    QByteArray format; // "^XA" ... "^XZ"; ^SN fields not yet counted on
    PrinterSettings settings; // as they stood when the format ended
    FormatStart start; // what the format is read from: the printer as it began
    int dotsPerMm = 8;
    PrintQuantity quantity;
    // The fonts and graphics in memory when the format ended; shared between
    // jobs while the memory stays the same.
    std::shared_ptr<const RenderOptions> render;
};

// What prints the labels and keeps the dump pages.
class LabelOutput
{
public:
    virtual ~LabelOutput() = default;
    virtual void Print(const PrintJob &job) = 0;
    // Drops every label not printed yet; returns how many.
    virtual qint64 CancelAll() = 0;
    // While this is true the status byte says "Printing".
    virtual bool Printing() const = 0;
    // A page of dump mode: the bytes received, to be shown as a hex dump.
    virtual void Dump(const QByteArray &bytes) = 0;
    // Whether so much waits to be printed that the printer should take in
    // no more bytes for now, as a printer whose buffer is full.
    virtual bool Backlogged() const = 0;
};

class PrinterSession;

class VirtualPrinter
{
public:
    // Bytes in dump mode are shown a page at a time.
    static constexpr qsizetype DumpPageBytes = 64 * 1024;

    VirtualPrinter(const PrinterConfig &config, PrinterLog &log, LabelOutput &output);
    ~VirtualPrinter();

    // Reads the state directory (when there is one): the stored settings
    // become the current ones, as at power-on.
    bool LoadState(QString *error);

    // A connection's own command stream; its replies go to `reply`.
    using Reply = std::function<void(const QByteArray &)>;
    std::unique_ptr<PrinterSession> OpenSession(Reply reply);

    quint32 Conditions() const { return conditions_; }
    // Clearing the last condition that stops printing prints what was held.
    void SetConditions(quint32 bits);
    bool MemoryFull() const { return memoryFull_; }
    // "Other Error" while memory is full or since a store failed or was
    // refused (until the next store succeeds).
    bool StoreError() const { return memoryFull_ || storeFailed_; }
    // The conditions, "Printing" while the output prints, and "Other Error"
    // for a store error and the conditions the byte has no bit for.
    quint8 StatusByte() const;
    // The conditions by name: those set, "printing" while it prints and
    // "other-error" for a store error.
    quint32 ShownConditions() const;
    // Paused, head or cover open, out of paper or (printing with one) of
    // ribbon, jammed or in an error the operator set: labels wait.
    bool StopsPrinting() const;
    // The formats waiting to print while the printer is stopped, and their
    // labels.
    int FormatsHeld() const { return int(held_.size()); }
    qint64 LabelsHeld() const;
    // Drops the held formats and the labels not printed yet; returns how
    // many labels.
    qint64 CancelAll();

    const PrinterSettings &Settings() const { return settings_; }
    const PrinterSettings &StoredSettings() const { return stored_; }
    const PrinterIdentity &Identity() const { return identity_; }
    const PrinterMemory &Memory() const { return memory_; }
    int DotsPerMm() const { return config_.dotsPerMm; }
    bool InDumpMode() const { return dumpMode_; }
    // False while the labels waiting to be printed fill the printer: lines
    // read nothing then.
    bool ReadyForMore() const
    {
        return !output_.Backlogged() && heldBytes_ < HeldBufferBytes
            && held_.size() < MaxHeldFormats;
    }
    // What a stopped printer keeps in its receive buffer before it stops
    // reading.
    static constexpr qsizetype HeldBufferBytes = 256 * 1024;
    static constexpr size_t MaxHeldFormats = 4096;

    // Power off and on: the DRAM is emptied, the stored settings come back,
    // labels not yet printed and dump mode end.
    void PowerCycle();
    // Several lines: identity, settings, memory, status.
    QString Describe() const;

    // "DRAM FILES: " names "FLASH FILES: " names CR.
    QByteArray FileListReply() const;
    // "DRAM FREE BYTE(KB): " n "FLASH FREE BYTE(KB): " n CR LF.
    QByteArray FreeMemoryReply() const;

private:
    friend class PrinterSession;

    friend const PrinterAction *PrinterActions(qsizetype &count);

    // A format: the commands the printer acts on, then its label printed
    // (or the format stored) and its questions (^HH) answered.
    void Format(const QByteArray &format, CommandPrefixes prefixes, const Reply &reply);
    void ActOn(FormatRun &run, CommandPrefixes prefixes);
    void Tilde(const QByteArray &name, const QByteArray &params, const Reply &reply);
    bool DownloadStart(const DownloadHeader &header);
    void DownloadEnd(const DownloadHeader &header, QByteArray data);
    void StatusQuery(const Reply &reply);
    void NewAddress(const std::array<quint8, 4> &octets);
    void NewEthernetId(const std::array<quint8, 6> &id);
    void Line(const QByteArray &line);
    void DumpBytes(QByteArrayView bytes);
    void FlushDump();

    bool Store(QChar device, const StoredFile &file, const QString &how);
    // What the renderer needs of the memory (fonts, graphics), made again
    // only after the memory has changed.
    std::shared_ptr<const RenderOptions> RenderSnapshot();
    void Delete(QChar device, const QString &pattern, const QString &what);
    void PrintGenerated(PrintJob::Kind kind, const QByteArray &format, int lengthDots);
    // To the output, or held while the printer is stopped.
    void Dispatch(PrintJob job);
    void ReleaseHeld();
    // ^DF: the format kept as a file for ^XF to recall.
    void StoreFormat(const FormatRun &run);

    // What the printer does on the commands it acts on (printeractions.cpp).
    void KeepSetting(const PrinterCommand &c);
    void ChangeUnits(const PrinterCommand &c); // ^MU
    void StoreSettings(const PrinterCommand &c); // ^JU
    void DeleteObjects(const PrinterCommand &c); // ^ID
    void KeepFormat(const PrinterCommand &c); // ^DF
    void RecallFormat(const PrinterCommand &c); // ^XF
    // ^WD: a label listing the files of a device that match a pattern.
    void PrintDirectory(const PrinterCommand &c);
    void AskForConfiguration(const PrinterCommand &c); // ^HH
    void PrintConfiguration(const PrinterCommand &c); // ~WC
    void StartDump(const PrinterCommand &c); // ~JD
    void EndDump(const PrinterCommand &c); // ~JE
    void CancelLabels(const PrinterCommand &c); // ~JA
    void ResetPrinter(const PrinterCommand &c); // ~JR
    void AnswerHostStatus(const PrinterCommand &c); // ~HS
    void AnswerHostQuery(const PrinterCommand &c); // ~HQES
    void AnswerIdentification(const PrinterCommand &c); // ~HI
    void AnswerFileList(const PrinterCommand &c); // ~!F
    void AnswerFreeMemory(const PrinterCommand &c); // ~!A

    // Makes the state directory hold what the printer keeps; when it cannot,
    // logs "<what>: not stored: <reason>", lights "Other Error" and returns
    // false: the directory keeps the state before.
    bool SaveState(const QString &what);
    // The name check every store passes; a refusal is logged and lit as a
    // failed store.
    bool NameAllowed(const QString &name, const QString &what);

    PrinterConfig config_;
    PrinterLog &log_;
    LabelOutput &output_;
    std::optional<PrinterStateFile> stateFile_;

    PrinterSettings settings_;
    PrinterSettings stored_;
    LengthUnits units_; // ^MU
    CommandPrefixes prefixes_; // ^CC, ^CT
    PrinterIdentity identity_;
    PrinterMemory memory_;
    quint32 conditions_ = 0;
    std::deque<PrintJob> held_;
    qsizetype heldBytes_ = 0;
    bool memoryFull_ = false;
    bool storeFailed_ = false;
    bool dumpMode_ = false;
    QByteArray dump_;
    std::shared_ptr<const RenderOptions> render_;
};

// The commands of one connection, in the order they arrive.
class PrinterSession : private CommandSink
{
public:
    PrinterSession(VirtualPrinter &printer, VirtualPrinter::Reply reply);

    void Feed(QByteArrayView bytes) { stream_.Feed(bytes); }
    // The connection ended (or the line went quiet with nobody on it).
    void EndOfInput();
    bool InCommand() const { return stream_.InCommand(); }

private:
    void OnFormat(const QByteArray &format) override
    {
        printer_.Format(format, stream_.FormatPrefixes(), reply_);
    }
    void OnTilde(const QByteArray &name, const QByteArray &params) override
    {
        printer_.Tilde(name, params, reply_);
    }
    bool OnDownloadStart(const DownloadHeader &h) override { return printer_.DownloadStart(h); }
    void OnDownloadEnd(const DownloadHeader &h, QByteArray data) override
    {
        printer_.DownloadEnd(h, std::move(data));
    }
    void OnStatusQuery() override { printer_.StatusQuery(reply_); }
    void OnReset() override;
    void OnNewAddress(const std::array<quint8, 4> &octets) override { printer_.NewAddress(octets); }
    void OnNewEthernetId(const std::array<quint8, 6> &id) override { printer_.NewEthernetId(id); }
    void OnLine(const QByteArray &line) override { printer_.Line(line); }
    bool InDumpMode() const override { return printer_.InDumpMode(); }
    void OnDump(QByteArrayView bytes) override { printer_.DumpBytes(bytes); }
    void OnError(const QString &message) override;

    VirtualPrinter &printer_;
    VirtualPrinter::Reply reply_;
    CommandStream stream_;
};
