#pragma once

#include "link/linktarget.h"

#include <QList>
#include <QString>

// A printer named on the command line by a URI:
//   tcp://HOST[:PORT]              raw TCP, port 9100 unless given
//   com:///dev/ttyUSB0?baud=9600   serial; com://COM1 as the window names it
//   lpt:///dev/usb/lp0             parallel or USB printer device; lpt://LPT1
//   cups://QUEUE                   installed printer, one raw job per send
//   file:///path                   a file standing in for the printer
struct CliTarget
{
    enum class Kind { Tcp, Com, Lpt, Cups, File };

    Kind kind = Kind::File;
    QString uri; // as given, for the report
    QString host; // tcp: dotted IPv4 address or host name
    quint16 port = 9100; // tcp
    QString device; // com: port name ("COM1" or a path); lpt: name or path; file: path
    quint32 baudRate = 9600; // com
    QString queue; // cups: queue, or queue/instance

    // Targets with the same key reach the same port, device, file or printer
    // and are served one at a time.
    QString ExclusiveKey() const;
};

// Throws EUsageError naming the URI and what is wrong with it.
CliTarget ParseTargetUri(const QString &uri);

// A targets file: one URI per line, or a bare host or address (with :PORT)
// taken as tcp://; "#" starts a comment at the beginning of a line or after a
// blank; blank lines are skipped. Throws EUsageError with
// "<file>:<line>: ..." for the first bad line, or when the file cannot be read.
QList<CliTarget> ReadTargetsFile(const QString &path);

// The link target this URI names. A tcp host name is looked up here (IPv4);
// an unknown name raises ETarvolinError.
LinkTarget LinkTargetFor(const CliTarget &target);
