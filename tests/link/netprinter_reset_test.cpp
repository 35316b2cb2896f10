// A printer that drops the connection with the job unread has not taken it:
// the send must fail rather than end as if all went well.
#include "core/exceptions.h"
#include "link/netprinter.h"
#include "support/tcpfarm.h"

#include <gtest/gtest.h>

TEST(NetPrinter, AResetWhileClosingIsAFailedSend)
{
    TcpFarm farm({ TcpFarm::Behaviour::Reset });
    NetPrinter printer;
    ASSERT_TRUE(printer.KVNetOpen(QStringLiteral("127.0.0.1"), farm.Port(0)));
    try {
        // The reset may come while sending or while closing.
        printer.KVNetSend(QByteArray("^XA^XZ\r\n"));
        printer.KVNetClose();
        ADD_FAILURE() << "the reset went unnoticed";
    } catch (const ETarvolinError &e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Network send error: ")))
            << e.Message().toStdString();
    }
    // The connection is gone either way: closing again does nothing.
    EXPECT_NO_THROW(printer.KVNetClose());
}
