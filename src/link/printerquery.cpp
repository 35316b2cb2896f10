#include "link/printerquery.h"

ReplyStand StandOfReply(const PrinterQuery &query, const QByteArray &reply)
{
    if (reply.size() > query.maxBytes)
        return ReplyStand::OverLong;
    if (query.frames > 0)
        return reply.count('\x03') >= query.frames ? ReplyStand::Complete : ReplyStand::Incomplete;
    if (query.form)
        return query.form(reply);
    if (query.replyBytes > 0)
        return reply.size() >= query.replyBytes ? ReplyStand::Complete : ReplyStand::Incomplete;
    return ReplyStand::Incomplete;
}
