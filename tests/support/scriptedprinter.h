#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// A network printer on 127.0.0.1 that answers by script, for hostile and odd
// replies: each connection is read until it holds a request the script
// knows, then that request's answer goes out piece by piece, with the pauses
// given, and the connection is closed or read until the client closes it.
// A request the script does not know gets no answer.
class ScriptedPrinter
{
public:
    struct Piece
    {
        QByteArray bytes;
        int pauseMsBefore = 0;
    };
    struct Answer
    {
        std::vector<Piece> pieces;
        bool closeAfter = false; // close right after the last piece
    };

    ScriptedPrinter();
    ~ScriptedPrinter();
    ScriptedPrinter(const ScriptedPrinter &) = delete;
    ScriptedPrinter &operator=(const ScriptedPrinter &) = delete;

    // The answers to a request holding `request`, one per connection in
    // turn; the last is given again. Requests are matched in the order
    // their answers were set.
    void On(const QByteArray &request, std::vector<Answer> answers);
    void On(const QByteArray &request, const QByteArray &reply);

    quint16 Port() const { return port_; }
    QString Uri() const;
    // What each connection sent, in order (the last may still be growing).
    std::vector<QByteArray> Requests() const;

private:
    struct Rule
    {
        QByteArray request;
        std::vector<Answer> answers;
        size_t given = 0;
    };
    enum class Outcome { NoRequestYet, KeepReading, Close };
    void Run();
    void Serve(int connection);
    Outcome Reply(int connection, const QByteArray &received);

    int listenFd_ = -1;
    int stopPipe_[2] = { -1, -1 };
    quint16 port_ = 0;
    mutable std::mutex mutex_;
    std::vector<Rule> rules_;
    std::vector<QByteArray> requests_;
    std::atomic<bool> stopping_ { false };
    std::thread thread_;
};
