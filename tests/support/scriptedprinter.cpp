#include "support/scriptedprinter.h"

#include "support/tcpsink.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// No connection is served longer than this.
constexpr int ConnectionLimitMs = 20000;

} // namespace

ScriptedPrinter::ScriptedPrinter()
{
    listenFd_ = ListenOnLoopback(port_);
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] { Run(); });
}

ScriptedPrinter::~ScriptedPrinter()
{
    stopping_ = true;
    const char stop = 1;
    [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &stop, 1);
    thread_.join();
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void ScriptedPrinter::On(const QByteArray &request, std::vector<Answer> answers)
{
    std::lock_guard lock(mutex_);
    rules_.push_back({ request, std::move(answers), 0 });
}

void ScriptedPrinter::On(const QByteArray &request, const QByteArray &reply)
{
    On(request, { Answer { { Piece { reply, 0 } }, false } });
}

QString ScriptedPrinter::Uri() const
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(port_);
}

std::vector<QByteArray> ScriptedPrinter::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void ScriptedPrinter::Run()
{
    for (;;) {
        const int connection = AcceptUnlessStopped(listenFd_, stopPipe_[0]);
        if (connection < 0)
            return;
        {
            std::lock_guard lock(mutex_);
            requests_.emplace_back();
        }
        Serve(connection);
        ::close(connection);
    }
}

void ScriptedPrinter::Serve(int connection)
{
    QElapsedTimer clock;
    clock.start();
    QByteArray received;
    bool answered = false;
    while (clock.elapsed() < ConnectionLimitMs && !stopping_) {
        pollfd c[2] = { { connection, POLLIN, 0 }, { stopPipe_[0], POLLIN, 0 } };
        if (::poll(c, 2, 100) < 0 && errno != EINTR)
            return;
        if (c[1].revents)
            return;
        if (!c[0].revents)
            continue;
        char buffer[4096];
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EINTR))
            return;
        if (n < 0)
            continue;
        received.append(buffer, n);
        {
            std::lock_guard lock(mutex_);
            requests_.back() = received;
        }
        if (answered)
            continue;
        switch (Reply(connection, received)) {
        case Outcome::NoRequestYet:
            break;
        case Outcome::KeepReading:
            answered = true;
            break;
        case Outcome::Close:
            return;
        }
    }
}

// Sends the answer the received bytes call for.
ScriptedPrinter::Outcome ScriptedPrinter::Reply(int connection, const QByteArray &received)
{
    Answer answer;
    {
        std::lock_guard lock(mutex_);
        Rule *rule = nullptr;
        for (Rule &r : rules_)
            if (received.contains(r.request)) {
                rule = &r;
                break;
            }
        if (!rule || rule->answers.empty())
            return Outcome::NoRequestYet;
        answer = rule->answers[std::min(rule->given, rule->answers.size() - 1)];
        ++rule->given;
    }
    for (const Piece &piece : answer.pieces) {
        if (piece.pauseMsBefore > 0) {
            pollfd stop { stopPipe_[0], POLLIN, 0 };
            if (::poll(&stop, 1, piece.pauseMsBefore) > 0)
                return Outcome::Close;
        }
        qsizetype done = 0;
        while (done < piece.bytes.size()) {
            const ssize_t n = ::send(connection, piece.bytes.constData() + done,
                                     size_t(piece.bytes.size() - done), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return Outcome::Close;
            done += n;
        }
    }
    return answer.closeAfter ? Outcome::Close : Outcome::KeepReading;
}
