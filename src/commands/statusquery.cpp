#include "commands/statusquery.h"

QByteArray StatusRequestCommand()
{
    return QByteArrayLiteral("\x1B!?");
}

ExchangeOptions StatusExchangeOptions()
{
    ExchangeOptions options;
    options.postWriteWaitMs = 20;
    options.waitBeforeClose = false;
    options.lfAfterCr = false;
    return options;
}

StatusLamps EvaluateStatusReply(const QByteArray &reply)
{
    StatusLamps lamps;
    if (reply.isEmpty()) {
        lamps.connectError = true;
        return lamps;
    }
    const auto status = static_cast<unsigned char>(reply.front());
    lamps.ready = status == 0;
    for (int bit = 0; bit < 8; ++bit)
        lamps.conditions[bit] = (status >> bit) & 1;
    return lamps;
}
