#pragma once

#include <QByteArray>
#include <QString>

enum class ReplyStand { Incomplete, Complete, OverLong, Foreign };

// A question to the printer and how to tell that its answer is complete.
struct PrinterQuery
{
    QString name; // names the query in messages: "Host status"
    QByteArray request;
    // STX ... ETX frames that make the whole reply; 0 for an unframed reply.
    int frames = 0;
    // An unframed reply of a known size is complete at this many bytes.
    int replyBytes = 0;
    // An unframed reply whose last line has a form of its own: whether the
    // bytes so far end on it (Complete), stop inside it (Incomplete), or are
    // not of that form at all (Foreign).
    ReplyStand (*form)(const QByteArray &reply) = nullptr;
    // An unframed reply without a form, or not of its form, ends when the
    // line has been quiet this long: a last resort, since a printer may
    // pause anywhere.
    int quietMs = 250;
    // The whole reply must be in by then.
    int deadlineMs = 5000;
    qsizetype maxBytes = 256 * 1024;
};

// Whether the bytes so far complete the reply: a framed reply at its last
// ETX, a sized one at its size, one with a form at the end of its last line.
// Another unframed reply is never complete by its bytes alone; the quiet line
// ends it.
ReplyStand StandOfReply(const PrinterQuery &query, const QByteArray &reply);
