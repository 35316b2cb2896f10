#pragma once

#include "support/childprocess.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A private CUPS scheduler for tests, running from its own temporary
// directory and reached through its own local socket. The client library of
// this process is pointed at it while it lives.
class CupsServer
{
public:
    CupsServer();
    ~CupsServer();

    bool Started() const { return started_; }
    QString Error() const { return error_; }
    QString SocketPath() const;

    // Adds a raw queue whose device is a socket printer on 127.0.0.1:port.
    bool AddRawQueue(const QString &name, quint16 port, QString *error = nullptr);
    bool RemoveQueue(const QString &name);

    // Ends the scheduler at once, as a crash would.
    void Kill();

private:
    bool Start();

    std::unique_ptr<QTemporaryDir> dir_;
    ChildProcess cupsd_;
    bool started_ = false;
    QString error_;
};
