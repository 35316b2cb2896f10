// What the error box says below a failure's fixed message: the particulars
// in words and one hint, built from real failures where one can be made.
#include "core/erroradvice.h"
#include "serial/cport.h"
#include "support/pty.h"
#include "support/qtprint.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Subject = ErrorParticulars::Subject;

// The unprivileged half of the permission test runs in a child process of
// this very test program; this variable names the device it must try.
constexpr const char *DeviceVariable = "TARVOLIN_TEST_FORBIDDEN_DEVICE";

} // namespace

TEST(ErrorAdvice, SaysWhatWhyAndWhatToTry)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missingFolder = dir.filePath(QStringLiteral("gone/label.prn"));
    const QString missingFile = dir.filePath(QStringLiteral("label.prn"));

    struct Case
    {
        ErrorParticulars particulars;
        QStringList expectedLines; // each must appear, in this order
    };
    const Case cases[] = {
        { { Subject::SerialDevice, QStringLiteral("/dev/ttyUSB7"), ENOENT, {} },
          { QStringLiteral("Device: /dev/ttyUSB7"),
            QStringLiteral("System: No such file or directory"), QString(),
            QStringLiteral("There is no such device. Is the printer (or its USB serial "
                           "adapter) plugged in, and is this its port?") } },
        { { Subject::ParallelDevice, QStringLiteral("/dev/usb/lp3"), ENODEV, {} },
          { QStringLiteral("Device: /dev/usb/lp3"),
            QStringLiteral("There is no such device. Is the printer plugged in and switched on, "
                           "and is this its port?") } },
        { { Subject::File, missingFolder, ENOENT, {} },
          { QStringLiteral("File: ") + missingFolder,
            QStringLiteral("The folder %1 does not exist.")
                .arg(dir.filePath(QStringLiteral("gone"))) } },
        { { Subject::File, missingFile, ENOENT, {} },
          { QStringLiteral("File: ") + missingFile,
            QStringLiteral("Check the file's name and folder.") } },
        // A reason in words, without an errno, still explains a missing folder.
        { { Subject::File, missingFolder, 0, QStringLiteral("No such file or directory") },
          { QStringLiteral("System: No such file or directory"),
            QStringLiteral("The folder %1 does not exist.")
                .arg(dir.filePath(QStringLiteral("gone"))) } },
        { { Subject::File, dir.path(), ENOSPC, {} }, { QStringLiteral("The disk is full.") } },
        { { Subject::NetworkPrinter, QStringLiteral("192.168.1.50:9100"), ECONNREFUSED, {} },
          { QStringLiteral("Printer: 192.168.1.50:9100"),
            QStringLiteral("System: Connection refused"), QString(),
            QStringLiteral("Is the printer switched on and on the network, and is this its "
                           "address? Raw printing uses TCP port 9100.") } },
        // The advice names the port the target uses, not the usual one.
        { { Subject::NetworkPrinter, QStringLiteral("printer7:6101"), ETIMEDOUT, {} },
          { QStringLiteral("Printer: printer7:6101"),
            QStringLiteral("System: Connection timed out"), QString(),
            QStringLiteral("Is the printer switched on and on the network, and is this its "
                           "address? Raw printing uses TCP port 6101.") } },
        { { Subject::InstalledPrinter, QStringLiteral("Shipping"), 0, {} },
          { QStringLiteral("Printer queue: Shipping"), QString(),
            QStringLiteral("Is the print server running and the queue enabled? \"lpstat -p\" "
                           "lists the queues and their state.") } },
        { { Subject::Field, QStringLiteral("Label Width(mm)"), 0, {} },
          { QStringLiteral("Field: Label Width(mm)"), QString(),
            QStringLiteral("Type a number such as 76 or %1.")
                .arg(QLocale::system().toString(50.8, 'f', 1)) } },
    };
    for (const Case &c : cases) {
        const QStringList lines = ErrorAdvice(c.particulars).split(QLatin1Char('\n'));
        qsizetype from = 0;
        for (const QString &expected : c.expectedLines) {
            const qsizetype at = lines.indexOf(expected, from);
            EXPECT_GE(at, 0) << "missing line " << expected.toStdString() << " in\n"
                             << lines.join(QLatin1Char('\n')).toStdString();
            from = at < 0 ? from : at + 1;
        }
    }
    EXPECT_EQ(ErrorAdvice({}), QString());
}

TEST(ErrorAdvice, NamesTheProgramHoldingABusyDevice)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString device = dir.filePath(QStringLiteral("ttyFAKE"));
    QFile(device).open(QIODevice::WriteOnly);

    // Another program holds the device open: flock(1) keeps its descriptor
    // while the command it runs sleeps.
    QProcess holder;
    holder.start(QStringLiteral("flock"),
                 { device, QStringLiteral("sleep"), QStringLiteral("30") });
    ASSERT_TRUE(holder.waitForStarted(5000)) << "flock(1) from util-linux is needed";
    QStringList holders;
    for (int i = 0; i < 100 && holders.isEmpty(); ++i) {
        QThread::msleep(20);
        holders = ProcessesUsing(device);
    }
    const qint64 holderPid = holder.processId();
    holder.kill();
    holder.waitForFinished();
    ASSERT_FALSE(holders.isEmpty());
    EXPECT_TRUE(holders.join(QLatin1Char(' '))
                    .contains(QStringLiteral("(process %1)").arg(holderPid)))
        << holders.join(QLatin1Char(' ')).toStdString();

    // Whatever holds it, the advice says the device is in use.
    const QString advice = ErrorAdvice({ Subject::SerialDevice, device, EBUSY, {} });
    EXPECT_TRUE(advice.contains(QStringLiteral("The device is in use by another program")));
    EXPECT_TRUE(ProcessesUsing(dir.filePath(QStringLiteral("nothing"))).isEmpty());
}

// The port opened by a user who may not: the message stays the port's own,
// the advice names the device's group and how to join it. Run as root, the
// open is retried in a child process without privileges and groups.
TEST(ErrorAdvice, ForbiddenSerialDeviceNamesItsGroup)
{
    const QByteArray forced = qgetenv(DeviceVariable);
    if (!forced.isEmpty()) {
        // The unprivileged half.
        TComPort port;
        port.SetPort(QString::fromLocal8Bit(forced));
        try {
            port.OpenPort();
            FAIL() << "the port opened";
        } catch (const EComPort &e) {
            EXPECT_EQ(e.Message(),
                      QStringLiteral("Unable to open com port (win error code: %1)").arg(EACCES));
            EXPECT_EQ(e.Particulars().name, QString::fromLocal8Bit(forced));
            const QString group = OwningGroup(QString::fromLocal8Bit(forced));
            ASSERT_FALSE(group.isEmpty());
            const QString advice = ErrorAdvice(e.Particulars());
            EXPECT_TRUE(advice.contains(
                QStringLiteral("Only members of the group \"%1\" may use this device.").arg(group)))
                << advice.toStdString();
            EXPECT_TRUE(advice.contains(QStringLiteral("sudo usermod -aG %1 $USER").arg(group)));
            EXPECT_TRUE(advice.contains(QStringLiteral("log out and in again")));
        }
        return;
    }

    PtyPair pty;
    ASSERT_TRUE(pty.IsValid()) << pty.Error().toStdString();
    const QByteArray slave = QFile::encodeName(pty.SlavePath());
    if (::geteuid() != 0) {
        // An owner who may not open: mode 000 stops everyone but root.
        ASSERT_EQ(::chmod(slave.constData(), 0), 0);
        TComPort port;
        port.SetPort(pty.SlavePath());
        EXPECT_THROW(port.OpenPort(), EComPort);
        ::chmod(slave.constData(), 0620);
        return;
    }
    // As root: the device belongs to root:dialout, mode 0660, as serial ports
    // do; a child without privileges or groups tries to open it.
    const group *dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr) << "the dialout group is part of every Debian system";
    ASSERT_EQ(::chown(slave.constData(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(slave.constData(), 0660), 0);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(DeviceVariable), pty.SlavePath());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QDir::tempPath());
    child.setProcessEnvironment(env);
    child.start(
        QStringLiteral("setpriv"),
        { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
          QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
          QStringLiteral("--gtest_filter=ErrorAdvice.ForbiddenSerialDeviceNamesItsGroup") });
    ASSERT_TRUE(child.waitForFinished(30000));
    const QString output
        = QString::fromLocal8Bit(child.readAllStandardOutput() + child.readAllStandardError());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}
