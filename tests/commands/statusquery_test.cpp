#include "commands/statusquery.h"

#include <gtest/gtest.h>

TEST(StatusQuery, RequestAndExchange)
{
    EXPECT_EQ(StatusRequestCommand(), QByteArray::fromHex("1B213F"));
    const ExchangeOptions options = StatusExchangeOptions();
    EXPECT_EQ(options.postWriteWaitMs, 20);
    EXPECT_FALSE(options.waitBeforeClose);
    EXPECT_FALSE(options.lfAfterCr);
}

TEST(StatusQuery, FirstByteLightsItsLamps)
{
    struct Case
    {
        QByteArray reply;
        bool connectError;
        bool ready;
        std::array<bool, 8> conditions;
    };
    const Case cases[] = {
        { QByteArray(), true, false, {} },
        { QByteArray(1, '\0'), false, true, {} },
        { QByteArray::fromHex("05"), false, false, { 1, 0, 1, 0, 0, 0, 0, 0 } },
        { QByteArray::fromHex("FF"), false, false, { 1, 1, 1, 1, 1, 1, 1, 1 } },
        { QByteArray::fromHex("80"), false, false, { 0, 0, 0, 0, 0, 0, 0, 1 } },
        { QByteArray::fromHex("200D0A"), false, false, { 0, 0, 0, 0, 0, 1, 0, 0 } },
        { QByteArray::fromHex("0041"), false, true, {} },
        { QByteArray::fromHex("40FF"), false, false, { 0, 0, 0, 0, 0, 0, 1, 0 } },
    };
    for (const Case &c : cases) {
        const StatusLamps lamps = EvaluateStatusReply(c.reply);
        const std::string name = c.reply.toHex().toStdString();
        EXPECT_EQ(lamps.connectError, c.connectError) << name;
        EXPECT_EQ(lamps.ready, c.ready) << name;
        EXPECT_EQ(lamps.conditions, c.conditions) << name;
    }
}
