// The port lists' devices, found in a device and sysfs tree laid out as the
// kernel lays out a USB serial adapter and a USB printer.
#include "link/devicediscovery.h"
#include "support/qtprint.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void WriteFile(const QString &path, const QByteArray &content = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(content);
}

void Link(const QString &target, const QString &link)
{
    QDir().mkpath(QFileInfo(link).absolutePath());
    ASSERT_TRUE(QFile::link(target, link)) << link.toStdString();
}

// A USB device directory with its attributes; interface directories below it.
QString UsbDevice(const QString &sys, const QString &name, const QByteArray &vendor,
                  const QByteArray &product, QList<std::pair<const char *, QByteArray>> strings)
{
    const QString dir = sys + QStringLiteral("/devices/pci0000:00/usb1/") + name;
    WriteFile(dir + QStringLiteral("/idVendor"), vendor + "\n");
    WriteFile(dir + QStringLiteral("/idProduct"), product + "\n");
    for (const auto &[attribute, value] : strings)
        WriteFile(dir + QLatin1Char('/') + QLatin1String(attribute), value + "\n");
    return dir;
}

class Discovery : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        roots.dev = root.filePath(QStringLiteral("dev"));
        roots.sys = root.filePath(QStringLiteral("sys"));
        QDir().mkpath(roots.dev);
        QDir().mkpath(roots.sys);
    }
    QTemporaryDir root;
    DeviceRoots roots;
};

} // namespace

TEST_F(Discovery, SerialAdaptersWithWhatSysfsKnowsAndTheirStableNames)
{
    EXPECT_TRUE(SerialDevices(roots).isEmpty());

    // An FTDI-style adapter: tty/ttyUSB10 -> interface -> USB device.
    const QString ftdi = UsbDevice(
        roots.sys, QStringLiteral("1-1"), "0403", "6001",
        { { "manufacturer", "Acme" }, { "product", "USB Serial" }, { "serial", "A12345" } });
    const QString port = ftdi + QStringLiteral("/1-1:1.0/ttyUSB10");
    QDir().mkpath(port);
    Link(port, roots.sys + QStringLiteral("/class/tty/ttyUSB10/device"));
    WriteFile(roots.dev + QStringLiteral("/ttyUSB10"));
    // A modem-class adapter that says nothing but its ids.
    const QString acm = UsbDevice(roots.sys, QStringLiteral("1-2"), "2341", "0043", {});
    QDir().mkpath(acm + QStringLiteral("/1-2:1.0"));
    Link(acm + QStringLiteral("/1-2:1.0"), roots.sys + QStringLiteral("/class/tty/ttyACM0/device"));
    WriteFile(roots.dev + QStringLiteral("/ttyACM0"));
    // A second adapter sorts before ttyUSB10 although its name sorts after.
    WriteFile(roots.dev + QStringLiteral("/ttyUSB2"));
    // Not serial adapters.
    WriteFile(roots.dev + QStringLiteral("/ttyS0"));
    WriteFile(roots.dev + QStringLiteral("/tty1"));
    // The stable name, and one left dangling by an unplugged adapter.
    Link(QStringLiteral("../../ttyUSB10"),
         roots.dev + QStringLiteral("/serial/by-id/usb-Acme_USB_Serial_A12345-if00-port0"));
    Link(QStringLiteral("../../ttyUSB9"), roots.dev + QStringLiteral("/serial/by-id/usb-gone"));

    const QList<DeviceEntry> expected {
        { roots.dev + QStringLiteral("/ttyUSB2"), QString() },
        { roots.dev + QStringLiteral("/ttyUSB10"),
          QStringLiteral("Acme USB Serial, serial number A12345 (USB 0403:6001)") },
        { roots.dev + QStringLiteral("/ttyACM0"), QStringLiteral("USB 2341:0043") },
        { roots.dev + QStringLiteral("/serial/by-id/usb-Acme_USB_Serial_A12345-if00-port0"),
          QStringLiteral("Acme USB Serial, serial number A12345 (USB 0403:6001), now ")
              + QFileInfo(roots.dev + QStringLiteral("/ttyUSB10")).canonicalFilePath() },
    };
    const QList<DeviceEntry> found = SerialDevices(roots);
    ASSERT_EQ(found.size(), expected.size());
    for (qsizetype i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].path, expected[i].path) << i;
        EXPECT_EQ(found[i].description, expected[i].description) << i;
    }
}

TEST_F(Discovery, UsbPrintersWithoutAQueue)
{
    EXPECT_TRUE(UsbPrinterDevices(roots).isEmpty());
    const QString printer = UsbDevice(roots.sys, QStringLiteral("2-1"), "0a5f", "0100",
                                      { { "manufacturer", "Label Works" }, { "product", "LW-4" } });
    QDir().mkpath(printer + QStringLiteral("/2-1:1.0/usbmisc/lp0"));
    Link(printer + QStringLiteral("/2-1:1.0"),
         roots.sys + QStringLiteral("/class/usbmisc/lp0/device"));
    WriteFile(roots.dev + QStringLiteral("/usb/lp0"));
    WriteFile(roots.dev + QStringLiteral("/usb/lp1"));
    WriteFile(roots.dev + QStringLiteral("/usb/hiddev0"));

    const QList<DeviceEntry> found = UsbPrinterDevices(roots);
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0].path, roots.dev + QStringLiteral("/usb/lp0"));
    EXPECT_EQ(found[0].description, QStringLiteral("Label Works LW-4 (USB 0a5f:0100)"));
    EXPECT_EQ(found[1].path, roots.dev + QStringLiteral("/usb/lp1"));
    EXPECT_EQ(found[1].description, QString());
}
