#pragma once

// A raw TCP client of a test printer on the loopback address.

#include <QByteArray>

// Connected (blocking) socket, or -1.
int ConnectLoopback(quint16 port);

// Sends, ends its side, reads until the printer closes (bounded); the reply.
QByteArray TcpExchange(quint16 port, const QByteArray &bytes);

// Reads from a connected socket until it closes or timeoutMs pass without
// bytes; true when it closed.
bool ReadUntilClosed(int fd, QByteArray &reply, int timeoutMs = 5000);
