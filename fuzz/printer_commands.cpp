// The virtual printer fed arbitrary bytes: it does the same whatever pieces
// they arrive in (the same replies, labels, dump pages, log, files, settings,
// identity and status, whether in one piece or a few bytes at a time), and
// its memory devices never hold more than they have room for. What it keeps
// over power-off goes to a state directory; a printer started from that
// directory holds the same stored settings, identity and files.
//
// Input: a line with the size of the pieces for the second printer (1 to
// 64), then the bytes of one connection.

#include "fuzzinput.h"

#include "printer/virtualprinter.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>

namespace {

// Everything a printer did, in order, as text that two runs can compare.
class Record : public PrinterLog, public LabelOutput
{
public:
    QStringList events;

    void Info(const QString &line) override { events << QStringLiteral("info ") + line; }
    // An error shows the bytes at hand where it was found, in quotes or
    // parentheses, and those depend on how they arrived; what it says before
    // them does not.
    void Error(const QString &line) override
    {
        static const QRegularExpression shown(QStringLiteral("[\"(].*"));
        events << QStringLiteral("error ") + QString(line).remove(shown);
    }

    void Print(const PrintJob &job) override
    {
        events << QStringLiteral("print %1 x%2 (%3 dots wide): ")
                      .arg(int(job.kind))
                      .arg(job.quantity.labels)
                      .arg(job.settings.widthDots)
                + QString::fromLatin1(job.format.toHex());
    }
    qint64 CancelAll() override
    {
        events << QStringLiteral("cancel");
        return 0;
    }
    bool Printing() const override { return false; }
    bool Backlogged() const override { return false; }
    void Dump(const QByteArray &bytes) override
    {
        events << QStringLiteral("dump ") + QString::fromLatin1(bytes.toHex());
    }
};

// One folder for the whole fuzzing process, in memory where there is such a
// file system: a state is written for every input.
const QTemporaryDir &StateRoot()
{
    static const QTemporaryDir root(QDir(QStringLiteral("/dev/shm")).exists()
                                        ? QStringLiteral("/dev/shm/fuzz-printer-XXXXXX")
                                        : QDir::tempPath()
                                            + QStringLiteral("/fuzz-printer-XXXXXX"));
    return root;
}

// Small devices, so that downloads fill them.
PrinterConfig Config(const QString &stateDir)
{
    return PrinterConfig { 8, 16, 32, 0, stateDir };
}

// What a printer keeps over power-off, as comparable text.
QString Kept(const VirtualPrinter &printer)
{
    QString kept = printer.StoredSettings().Describe() + QLatin1Char('\n')
        + printer.Identity().IpText() + QLatin1Char(' ') + printer.Identity().EthernetIdText();
    for (QChar device : PrinterMemory::DeviceLetters()) {
        if (!PrinterMemory::KeepsFilesAtPowerOff(device))
            continue;
        for (const StoredFile &f : printer.Memory().Files(device))
            kept += QStringLiteral("\n%1:%2 %3 ").arg(device).arg(f.name).arg(f.rowBytes)
                + QString::fromLatin1(f.data.toHex());
    }
    return kept;
}

struct Run
{
    explicit Run(const QString &name)
        : stateDir(StateRoot().filePath(name))
    {
        QDir(stateDir).removeRecursively();
    }

    QString stateDir;
    Record record;
    VirtualPrinter printer { Config(stateDir), record, record };
    QByteArray replies;

    void Feed(const QByteArray &bytes, qsizetype piece)
    {
        QString error;
        FUZZ_CHECK(printer.LoadState(&error), "no state to load, yet: %s", qPrintable(error));
        const std::unique_ptr<PrinterSession> session
            = printer.OpenSession([this](const QByteArray &r) { replies += r; });
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            session->Feed(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
        session->EndOfInput();
        FUZZ_CHECK(!session->InCommand(), "a command still open after the end of input");
    }

    QString State() const
    {
        QString state = printer.Describe();
        for (QChar device : PrinterMemory::DeviceLetters()) {
            for (const StoredFile &f : printer.Memory().Files(device))
                state += QStringLiteral("\n%1:%2 %3 ").arg(device).arg(f.name).arg(f.rowBytes)
                    + QString::fromLatin1(f.data.toHex());
        }
        return state;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const qsizetype piece = qsizetype(input.Number(1, 64));
    const QByteArray bytes = input.Rest();

    Run whole(QStringLiteral("whole"));
    whole.Feed(bytes, std::max<qsizetype>(1, bytes.size()));
    Run pieces(QStringLiteral("pieces"));
    pieces.Feed(bytes, piece);

    FUZZ_CHECK(whole.replies == pieces.replies, "%s answered %s whole, %s in pieces of %lld",
               Shown(bytes).constData(), Shown(whole.replies).constData(),
               Shown(pieces.replies).constData(), (long long)piece);
    const qsizetype events = std::max(whole.record.events.size(), pieces.record.events.size());
    for (qsizetype i = 0; i < events; ++i) {
        FUZZ_CHECK(whole.record.events.value(i) == pieces.record.events.value(i),
                   "%s: event %lld is\n%s\nwhole, and\n%s\nin pieces of %lld",
                   Shown(bytes).constData(), (long long)i, qPrintable(whole.record.events.value(i)),
                   qPrintable(pieces.record.events.value(i)), (long long)piece);
    }
    FUZZ_CHECK(whole.State() == pieces.State(), "%s: the printer is\n%s\nwhole, and\n%s\nin pieces",
               Shown(bytes).constData(), qPrintable(whole.State()), qPrintable(pieces.State()));

    Record restartRecord;
    VirtualPrinter restarted(Config(whole.stateDir), restartRecord, restartRecord);
    QString error;
    FUZZ_CHECK(restarted.LoadState(&error), "%s: the state it kept does not load: %s",
               Shown(bytes).constData(), qPrintable(error));
    FUZZ_CHECK(Kept(restarted) == Kept(whole.printer),
               "%s: the printer kept\n%s\nand started again with\n%s", Shown(bytes).constData(),
               qPrintable(Kept(whole.printer)), qPrintable(Kept(restarted)));

    const PrinterMemory &memory = whole.printer.Memory();
    for (QChar device : PrinterMemory::DeviceLetters()) {
        FUZZ_CHECK(memory.UsedBytes(device) <= memory.CapacityBytes(device),
                   "%s: %lld bytes stored on %c, which holds %lld", Shown(bytes).constData(),
                   (long long)memory.UsedBytes(device), device.toLatin1(),
                   (long long)memory.CapacityBytes(device));
    }
    return 0;
}
