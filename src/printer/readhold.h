#pragma once

// Why a line has stopped taking in what its client sends. The line keeps
// reading into its own receive buffer while that has room; while any reason
// holds, nothing leaves the buffer for the printer, so the buffer fills, the
// line stops reading, and the client's bytes wait where the system keeps them
// (a full TCP window; on the serial line, Xoff and then a full terminal
// buffer). The client's sending slows down as with a printer whose buffer is
// full. The reasons are set by the lines and cleared by them when they end.

#include <QByteArray>
#include <QByteArrayView>

class ReadHold
{
public:
    enum Reason : unsigned {
        // The printer takes no more for now (labels waiting to print).
        PrinterFull = 1u << 0,
        // The client has not taken the replies it asked for.
        RepliesWaiting = 1u << 1,
    };

    // The replies queued for a client beyond which its line holds; it reads
    // on once they are down to a quarter.
    explicit ReadHold(qsizetype maxRepliesBytes)
        : maxReplies_(maxRepliesBytes)
    { }
    // What is handed to the printer at a time while nothing holds: one slice
    // of questions makes a bounded amount of replies.
    static constexpr qsizetype SliceBytes = 4096;

    bool Open() const { return reasons_ == 0; }
    bool Holds(Reason reason) const { return (reasons_ & reason) != 0; }
    void Set(Reason reason, bool holds) { reasons_ = holds ? reasons_ | reason : reasons_ & ~reason; }
    void Clear() { reasons_ = 0; }

    // The replies waiting for the client, with the hysteresis above.
    void SetRepliesWaiting(qsizetype bytes)
    {
        if (bytes > maxReplies_)
            Set(RepliesWaiting, true);
        else if (bytes <= maxReplies_ / 4)
            Set(RepliesWaiting, false);
    }

    // Hands `buffer` to `feed` a slice at a time for as long as nothing
    // holds and `allowed` grants bytes (a line's pace); removes what was
    // handed over and returns how much that was.
    template<class Feed, class Allowed>
    qsizetype Deliver(QByteArray &buffer, Feed feed, Allowed allowed)
    {
        qsizetype done = 0;
        while (Open() && done < buffer.size()) {
            const qsizetype n = allowed(std::min(SliceBytes, buffer.size() - done));
            if (n <= 0)
                break;
            feed(QByteArrayView(buffer).sliced(done, n));
            done += n;
        }
        buffer.remove(0, done);
        return done;
    }

private:
    qsizetype maxReplies_;
    unsigned reasons_ = 0;
};
