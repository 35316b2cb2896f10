#include "link/replychannel.h"

#include "core/exceptions.h"
#include "link/netprinter.h"
#include "link/transfer.h"
#include "serial/cport.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int ReadPiece = 4096;
// A device that takes nothing for this long has stopped.
constexpr int DeviceStallMs = 10000;

class SerialChannel : public ReplyChannel
{
public:
    SerialChannel(TComPort &port, Transfer &transfer)
        : port_(port)
        , transfer_(transfer)
    {
        port_.OpenPort();
        // What an earlier answer left on the line belongs to no question.
        char stale[ReadPiece];
        while (port_.ReadBytes(stale, ReadPiece) > 0) { }
    }
    ~SerialChannel() override
    {
        try {
            port_.ClosePort();
        } catch (...) {
            // The reply, or the failure that ended it, is what counts.
        }
    }

    void Write(const QByteArray &data) override
    {
        const int sent = port_.WriteText(data);
        if (sent < data.size())
            throw With(EComPort(pcWrite, ETIMEDOUT),
                       { ErrorParticulars::Subject::SerialDevice, port_.Port(), ETIMEDOUT,
                         QStringLiteral("The printer took no more within the write time "
                                        "limit.") });
    }

    qsizetype Read(QByteArray &into, int timeoutMs) override
    {
        const int ready = transfer_.Wait(port_.Handle(), POLLIN, timeoutMs);
        if (ready == 0)
            return 0;
        if (ready < 0)
            throw EComPort(pcRead, errno);
        if (!(ready & POLLIN))
            return -1; // hung up
        char piece[ReadPiece];
        const int got = port_.ReadBytes(piece, ReadPiece);
        into.append(piece, got);
        return got;
    }

private:
    TComPort &port_;
    Transfer &transfer_;
};

class NetChannel : public ReplyChannel
{
public:
    NetChannel(std::unique_ptr<NetPrinter> printer)
        : printer_(std::move(printer))
    { }
    void Write(const QByteArray &data) override { printer_->Write(data); }
    qsizetype Read(QByteArray &into, int timeoutMs) override
    {
        return printer_->Receive(into, timeoutMs);
    }

private:
    std::unique_ptr<NetPrinter> printer_;
};

class DeviceChannel : public ReplyChannel
{
public:
    DeviceChannel(const QString &path, Transfer &transfer)
        : path_(path)
        , transfer_(transfer)
    {
        const QByteArray native = QFile::encodeName(path);
        do {
            fd_ = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0)
            Fail(errno);
        // What an earlier answer left in the device belongs to no question.
        char stale[ReadPiece];
        while (::read(fd_, stale, sizeof stale) > 0) { }
    }
    ~DeviceChannel() override { ::close(fd_); }
    DeviceChannel(const DeviceChannel &) = delete;
    DeviceChannel &operator=(const DeviceChannel &) = delete;

    void Write(const QByteArray &data) override
    {
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(fd_, data.constData() + done, size_t(data.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                Fail(errno);
            const int ready = transfer_.Wait(fd_, POLLOUT, DeviceStallMs);
            if (ready == 0)
                Fail(ETIMEDOUT);
            if (ready < 0)
                Fail(errno);
        }
    }

    qsizetype Read(QByteArray &into, int timeoutMs) override
    {
        // A printer device without a return channel refuses the read itself;
        // its poll would only ever time out.
        for (bool waited = false;; waited = true) {
            char piece[ReadPiece];
            const ssize_t n = ::read(fd_, piece, sizeof piece);
            if (n > 0) {
                into.append(piece, n);
                everRead_ = true;
                return n;
            }
            if (n == 0) {
                if (!everRead_)
                    CannotRead(0);
                return -1;
            }
            if (errno == EINTR)
                continue;
            if (errno == EIO && everRead_)
                return -1; // the other end went away
            if (errno != EAGAIN)
                CannotRead(errno);
            if (waited)
                return 0;
            const int ready = transfer_.Wait(fd_, POLLIN, timeoutMs);
            if (ready == 0)
                return 0;
            if (ready < 0)
                Fail(errno);
        }
    }

private:
    [[noreturn]] void Fail(int err) const
    {
        throw With(EInOutError::FromErrno(err),
                   { ErrorParticulars::Subject::ParallelDevice, path_, err, {} });
    }
    [[noreturn]] void CannotRead(int err) const
    {
        throw With(ETarvolinError(QStringLiteral("The device %1 does not support reading: it "
                                                 "cannot return the printer's answer")
                                      .arg(path_)),
                   { ErrorParticulars::Subject::ParallelDevice, path_, err, {} });
    }

    QString path_;
    Transfer &transfer_;
    int fd_ = -1;
    bool everRead_ = false;
};

} // namespace

std::unique_ptr<ReplyChannel> OpenSerialChannel(TComPort &port, Transfer &transfer)
{
    return std::make_unique<SerialChannel>(port, transfer);
}

std::unique_ptr<ReplyChannel> OpenNetChannel(std::unique_ptr<NetPrinter> printer, Transfer &)
{
    return std::make_unique<NetChannel>(std::move(printer));
}

std::unique_ptr<ReplyChannel> OpenDeviceChannel(const QString &path, Transfer &transfer)
{
    return std::make_unique<DeviceChannel>(path, transfer);
}
