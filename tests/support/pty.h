#pragma once

// A pseudo-terminal pair for tests: the code under test opens the slave path
// as its serial device, the test plays the far end (the printer) on the
// master. Every master-side operation has a time limit, so a fault under test
// fails the test instead of hanging it.
//
// The pair also holds the slave open itself (without locking it) so that the
// terminal lives on between the port's opens and closes: the master never
// sees a hang-up, and data queued while the port is closed stays queued.
//
// Usage:
//   PtyPair pty;
//   ASSERT_TRUE(pty.IsValid()) << pty.Error();
//   port.SetPort(pty.SlavePath());
//   pty.Write("reply");
//   QByteArray request = pty.ReadExactly(5, 2000);

#include <QByteArray>
#include <QString>

class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool IsValid() const { return master_ >= 0; }
    QString Error() const { return error_; }

    // The device path to hand to the code under test (/dev/pts/N).
    QString SlavePath() const { return slavePath_; }
    // For reading the slave's terminal settings (TCGETS/TCGETS2 on the master
    // act on the slave) and other direct use.
    int MasterFd() const { return master_; }

    // Puts the slave into raw mode (no echo, no line editing, no
    // translation). Done once by the constructor.
    bool SetRaw();

    // Closes the pair's own slave descriptor; from then on the master sees a
    // hang-up whenever no one else has the slave open.
    void ReleaseSlave();
    // Closes the master: the far end is gone, the slave sees a hang-up.
    void CloseMaster();

    // Bytes waiting at the slave end, not yet read by anyone (-1 once the
    // slave has been released).
    int SlaveInputQueued() const;

    // Writes every byte to the master (towards the slave); false when the
    // limit ran out first.
    bool Write(const QByteArray &data, int timeoutMs = 5000);

    // Reads until count bytes arrived or the limit ran out; returns what came.
    QByteArray ReadExactly(qsizetype count, int timeoutMs = 5000);
    // Reads whatever arrives until the line has been quiet for quietMs (or
    // timeoutMs has passed in all).
    QByteArray ReadUntilQuiet(int quietMs = 100, int timeoutMs = 5000);
    // Reads what is already there, without waiting.
    QByteArray ReadAvailable();
    // Discards everything until the line is quiet; returns the byte count.
    qsizetype Drain(int quietMs = 50, int timeoutMs = 5000);

    // True when a byte can be read from the master within timeoutMs.
    bool WaitReadable(int timeoutMs);

private:
    int master_ = -1;
    int slaveHold_ = -1;
    QString slavePath_;
    QString error_;
};

// How much a pseudo-terminal takes from the writer while nobody reads it;
// -1 when no pseudo-terminal can be had.
qint64 PtyCapacity();

// Opens a terminal device raw (no echo, no line editing, no translation, no
// Xon/Xoff of its own), so that flow control bytes arrive as they are;
// `flags` adds to O_RDWR | O_NOCTTY | O_CLOEXEC. -1 when it cannot.
int OpenRawTerminal(const QString &device, int flags = 0);
