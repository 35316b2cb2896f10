// Queries over the two-way links: a pseudo-terminal given as a printer
// device answers as a USB printer would, byte by byte as the test writes
// it; each completion rule and each failure is named.
#include "commands/hostreplies.h"
#include "core/exceptions.h"
#include "link/printerlink.h"
#include "link/printerquery.h"
#include "support/pty.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {

// A printer on the other end of a pseudo-terminal: reads the request, then
// answers with the given pieces, pausing between them.
class DevicePrinter
{
public:
    DevicePrinter() { pty.SetRaw(); }
    void Answer(qsizetype requestBytes, std::vector<QByteArray> pieces, int pauseMs = 0)
    {
        worker = std::thread([this, requestBytes, pieces = std::move(pieces), pauseMs] {
            request = pty.ReadExactly(requestBytes);
            for (const QByteArray &p : pieces) {
                pty.Write(p);
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            }
        });
    }
    ~DevicePrinter()
    {
        if (worker.joinable())
            worker.join();
    }
    PtyPair pty;
    QByteArray request;
    std::thread worker;
};

QString QueryFailure(PrinterLink &link, const PrinterQuery &query)
{
    try {
        link.Query(query);
    } catch (const ETarvolinError &e) {
        return e.Message();
    }
    return QStringLiteral("(no failure)");
}

const QByteArray ReadyStatus = "\x02"
                               "030,0,0,0414,000,0,0,0,000,0,0,0\x03\r\n"
                               "\x02"
                               "001,0,0,0,1,2,6,0,00000000,1,000\x03\r\n"
                               "\x02"
                               "1234,0\x03\r\n";

TEST(LinkQuery, AFramedReplyIsCompleteAtItsLastEtxHoweverItArrives)
{
    DevicePrinter printer;
    ASSERT_TRUE(printer.pty.IsValid());
    PrinterLink link([&] { return LinkTarget::Lpt(printer.pty.SlavePath()); });
    // Split inside a frame, between frames, and before the last ETX.
    printer.Answer(3,
                   { ReadyStatus.left(7), ReadyStatus.mid(7, 40), ReadyStatus.mid(47, 20),
                     ReadyStatus.mid(67) },
                   30);
    const QByteArray reply = link.Query(HostStatusQuery());
    printer.worker.join();
    EXPECT_EQ(printer.request, "~HS");
    EXPECT_EQ(reply, ReadyStatus);
    EXPECT_EQ(ParseHostStatus(reply).labelLengthDots, 414);
}

TEST(LinkQuery, SizedAndUnframedRepliesEndByTheirOwnRule)
{
    DevicePrinter sized;
    PrinterLink status([&] { return LinkTarget::Lpt(sized.pty.SlavePath()); });
    sized.Answer(3, { QByteArray("\x05\r\n") });
    EXPECT_EQ(status.Query(StatusByteQuery()).left(1), "\x05");
    sized.worker.join();

    // An unframed reply with pauses shorter than the quiet time is one reply.
    DevicePrinter unframed;
    PrinterLink files([&] { return LinkTarget::Lpt(unframed.pty.SlavePath()); });
    unframed.Answer(5, { "DRAM FILES: ", "FLASH FILES: ", "DEMO.FNT\r" }, 60);
    EXPECT_EQ(files.Query(FileListQuery()), "DRAM FILES: FLASH FILES: DEMO.FNT\r");
}

TEST(LinkQuery, EveryFailureNamesTheQueryAndWhatWasWrong)
{
    struct Case
    {
        const char *what;
        std::vector<QByteArray> pieces;
        const char *failure;
    };
    const Case cases[] = {
        { "silent", {}, "Host status: no answer within 0.6 s" },
        { "two of three frames",
          { ReadyStatus.left(ReadyStatus.indexOf("\x02"
                                                 "1234")) },
          "Host status: the reply was cut short: 72 bytes within 0.6 s, 2 of 3 frames" },
        { "endless",
          { QByteArray(2000, 'x') },
          "Host status: the reply is over-long (more than "
          "1,024 bytes)" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DevicePrinter printer;
        PrinterLink link([&] { return LinkTarget::Lpt(printer.pty.SlavePath()); });
        printer.Answer(3, c.pieces);
        PrinterQuery q = HostStatusQuery();
        q.deadlineMs = 600;
        EXPECT_EQ(QueryFailure(link, q), QLatin1String(c.failure));
    }
}

TEST(LinkQuery, InterfacesThatCannotAnswerSaySo)
{
    QTemporaryDir dir;
    const struct
    {
        LinkTarget target;
        const char *failure;
    } cases[] = {
        { LinkTarget::Driver(QStringLiteral("Hall")),
          "A print queue carries data one way; connect over the network, USB or serial to read "
          "the printer" },
        { LinkTarget::File(dir.filePath(QStringLiteral("out"))),
          "A file carries data one way; connect over the network, USB or serial to read the "
          "printer" },
        // A device that gives nothing back to read, as a printer without a
        // return channel.
        { LinkTarget::Lpt(QStringLiteral("/dev/null")),
          "The device /dev/null does not support reading: it cannot return the printer's "
          "answer" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failure);
        PrinterLink link([&] { return c.target; });
        EXPECT_EQ(QueryFailure(link, HostStatusQuery()), QLatin1String(c.failure));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("out.bin"))));
}

TEST(LinkQuery, AnswerLeftOverFromAnEarlierQuestionIsNotTakenForTheNext)
{
    DevicePrinter printer;
    // A late answer of an earlier question waits in the device.
    ASSERT_TRUE(printer.pty.Write("\x02late,V1,8,1KB\x03\r\n"));
    PrinterLink link([&] { return LinkTarget::Lpt(printer.pty.SlavePath()); });
    printer.Answer(3,
                   { QByteArray("\x02"
                                "AT230-200dpi,V72.20.01A,8,4096KB\x03\r\n") });
    EXPECT_EQ(ParseIdentification(link.Query(IdentificationQuery())).model, "AT230-200dpi");
}

} // namespace
