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

QString ReadyCaption()
{
    return QStringLiteral("Ready");
}

QString ConnectErrorCaption()
{
    return QStringLiteral("Connect Error");
}

QString ConditionCaption(int bit)
{
    static const char *const captions[8]
        = { "Head Open", "Paper Jam", "Out of Paper", "Out of Ribbon",
            "Pause",     "Printing",  "Cover Open",   "Other Error" };
    return bit >= 0 && bit < 8 ? QString::fromLatin1(captions[bit]) : QString();
}

QStringList LitCaptions(const StatusLamps &lamps)
{
    QStringList lit;
    if (lamps.connectError)
        lit << ConnectErrorCaption();
    if (lamps.ready)
        lit << ReadyCaption();
    for (int bit = 0; bit < 8; ++bit)
        if (lamps.conditions[bit])
            lit << ConditionCaption(bit);
    return lit;
}
