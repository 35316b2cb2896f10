// One printer model: the same bytes sent to the real tarvolin-printer and
// drawn by the real `tarvolin-cli render` give the same labels, dot for dot,
// and the virtual printer prints at the width it reports.
#include "support/cliprocess.h"
#include "support/printerprocess.h"
#include "support/tcpclient.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct Case
{
    const char *name;
    QList<QByteArray> sends; // each on a connection of its own
    int labels; // printed in all
    QSize page; // of every label
    QPoint ink = QPoint(30, 30); // a dot every label has black
};

QImage Grey(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_Grayscale8);
}

bool HasInk(const QImage &grey)
{
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *line = grey.constScanLine(y);
        if (std::any_of(line, line + grey.width(), [](uchar v) { return v < 128; }))
            return true;
    }
    return false;
}

// The number before "PRINT WIDTH" in the printer's configuration reply.
int ReportedWidth(quint16 port)
{
    // Whatever the format prefix has become.
    const QByteArray reply = TcpExchange(port, "~CC^^XA^HH^XZ");
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(\\d+)\\s+PRINT WIDTH"))
                                          .match(QString::fromLatin1(reply));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

TEST(OnePrinterModel, PrinterAndRenderDrawTheSamePages)
{
    const QByteArray box = "^FO10,10^GB60,40,40^FS";
    const QList<Case> cases = {
        { "millimetres",
          { "^XA^MUM^PW50^LL30^FO1,1^GB5,5,5^FS^XZ" },
          1,
          QSize(400, 1216),
          QPoint(20, 20) },
        { "width refused below its range keeps the width",
          { "^XA^PW300^LL100^XZ", "^XA^PW1" + box + "^XZ" },
          1,
          QSize(300, 1216) },
        { "width refused above its range keeps the width",
          { "^XA^PW400^LL200^XZ", "^XA^PW99999" + box + "^XZ" },
          1,
          QSize(400, 1216) },
        { "inches",
          { "^XA^MUI^PW2^LL1^FO0.1,0.1^GB0.5,0.5,0.5^FS^XZ" },
          1,
          QSize(406, 1216),
          QPoint(50, 50) },
        { "malformed quantity prints nothing", { "^XA" + box + "^PQ2x^XZ" }, 0, QSize() },
        { "a fresh printer's page", { "^XA" + box + "^XZ" }, 1, QSize(832, 1216) },
        { "continuous media takes ^LL",
          { "^XA^MNN^PW300^LL200" + box + "^XZ" },
          1,
          QSize(300, 200) },
        { "^LL with Y holds on gap media",
          { "^XA^PW300^LL150,Y" + box + "^XZ" },
          1,
          QSize(300, 150) },
        { "a field below ^LL on gap media prints",
          { "^XA^PW300^LL100^FO10,600^GB60,40,40^FS^XZ" },
          1,
          QSize(300, 1216),
          QPoint(30, 620) },
        { "mark media is as long as measured",
          { "^XA^MNM^PW300^LL100" + box + "^XZ" },
          1,
          QSize(300, 1216) },
        { "length refused on continuous media keeps the length",
          { "^XA^MNN^PW200^LL120^XZ", "^XA^LL0" + box + "^XZ" },
          1,
          QSize(200, 120) },
        { "dots of another resolution",
          { "^XA^MUD,200,300^MNN^PW200^LL100" + box + "^XZ" },
          1,
          QSize(300, 150) },
        { "units kept across formats",
          { "^XA^MUM^MNN^XZ", "^XA^PW40^LL20^FO1,1^GB5,5,5^FS^XZ" },
          1,
          QSize(320, 160),
          QPoint(20, 20) },
        { "settings kept across formats",
          { "^XA^MNN^PW300^LL120^LH20,10^LT5^LS-4^XZ", "^XA" + box + "^XZ" },
          1,
          QSize(300, 120),
          QPoint(50, 40) },
        { "home changed inside the format moves only later fields",
          { "^XA^MNN^PW300^LL100^FO0,0^GB20,20,20^FS^LH100,0^FO0,0^GB20,20,20^FS^XZ" },
          1,
          QSize(300, 100),
          QPoint(5, 5) },
        { "inverted",
          { "^XA^MNN^PW300^LL100^POI" + box + "^XZ" },
          1,
          QSize(300, 100),
          QPoint(269, 69) },
        { "prefixes changed",
          { "^XA^MNN^PW200^LL100~CC%%FO10,10%GB40,40,40%FS%PQ2%XZ" },
          2,
          QSize(200, 100) },
        { "prefixes kept across formats",
          { "~CC+", "+XA+MNN+PW200+LL80+FO5,5+GB20,20,20+FS+XZ" },
          1,
          QSize(200, 80),
          QPoint(15, 15) },
        { "stored format recalled",
          { "^XA^DFR:T.ZPL^FS^MNN^PW300^LL100^FO10,10^A0N,30^FN1^FS^FO150,10^GB40,40,40^FS^XZ",
            "^XA^XFR:T.ZPL^FN1^FDrecalled^FS^XZ" },
          1,
          QSize(300, 100),
          QPoint(170, 30) },
        { "stored graphic",
          { "~DGR:BOX.GRF,8,1,FFFFFFFFFFFFFFFF",
            "^XA^MNN^PW100^LL60^FO10,10^XGR:BOX.GRF,2,2^FS^XZ" },
          1,
          QSize(100, 60),
          QPoint(15, 15) },
        { "inline graphic",
          { "^XA^MNN^PW200^LL100^FO10,10^GFA,8,8,1,FF00FF00FF00FF00^FS^XZ" },
          1,
          QSize(200, 100),
          QPoint(12, 10) },
        { "serial numbers",
          { "^XA^MNN^PW400^LL80^FO10,10^A0N,30^SN0098,1,Y^FS^FO200,10^FDsame^FS^PQ3^XZ" },
          3,
          QSize(400, 80),
          QPoint(-1, -1) },
        { "serial numbers in replicates",
          { "^XA^MNN^PW400^LL80^FO10,10^A0N,30^SN7,-2,N^FS^PQ4,0,2^XZ" },
          4,
          QSize(400, 80),
          QPoint(-1, -1) },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString out = dir.filePath(QStringLiteral("printed"));
        PrinterProcess printer(QStringList { QStringLiteral("--tcp"), QStringLiteral("0"),
                                             QStringLiteral("--out"), out });
        ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
        QByteArray all;
        for (const QByteArray &send : c.sends) {
            TcpExchange(printer.TcpPort(), send);
            all += send + "\r\n";
        }
        for (int n = 1; n <= c.labels; ++n)
            ASSERT_FALSE(printer.WaitForLine(QStringLiteral("label %1: ").arg(n), 20000).isEmpty())
                << printer.Lines().join(QLatin1Char('\n')).toStdString();
        const int reported = ReportedWidth(printer.TcpPort());

        QFile input(dir.filePath(QStringLiteral("input.lbl")));
        ASSERT_TRUE(input.open(QIODevice::WriteOnly));
        input.write(all);
        input.close();
        const QString drawn = dir.filePath(QStringLiteral("drawn.png"));
        const CliRun render = RunCliProgram(QStringList {
            QStringLiteral("render"), input.fileName(), QStringLiteral("-o"), drawn });
        EXPECT_EQ(render.exitCode, c.labels > 0 ? 0 : 1) << render.err.toStdString();

        const QStringList printed
            = QDir(out).entryList({ QStringLiteral("label-*.png") }, QDir::Files, QDir::Name);
        ASSERT_EQ(printed.size(), c.labels)
            << printer.Lines().join(QLatin1Char('\n')).toStdString();
        for (int i = 0; i < c.labels; ++i) {
            const QImage fromPrinter = Grey(QDir(out).filePath(printed.at(i)));
            const QString name
                = i == 0 ? drawn : dir.filePath(QStringLiteral("drawn-%1.png").arg(i + 1));
            const QImage fromRender = Grey(name);
            ASSERT_FALSE(fromRender.isNull()) << name.toStdString() << render.out.toStdString();
            EXPECT_EQ(fromPrinter.size(), c.page) << "label " << i + 1;
            EXPECT_TRUE(fromPrinter == fromRender)
                << "label " << i + 1 << ": printer " << fromPrinter.width() << "x"
                << fromPrinter.height() << ", render " << fromRender.width() << "x"
                << fromRender.height();
            EXPECT_EQ(fromPrinter.width(), reported);
            if (c.ink.x() >= 0)
                EXPECT_LT(qGray(fromPrinter.pixel(c.ink)), 128) << "label " << i + 1;
            else
                EXPECT_TRUE(HasInk(fromPrinter)) << "label " << i + 1;
        }
    }
}

// render draws on the media it is told the printer holds: its width until
// ^PW, its length on gap media; a length it cannot take is a usage error.
TEST(OnePrinterModel, RenderTakesTheMediaInDotsOrUnits)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile input(dir.filePath(QStringLiteral("input.lbl")));
    ASSERT_TRUE(input.open(QIODevice::WriteOnly));
    input.write("^XA^FO10,10^GB60,40,40^FS^XZ\r\n^XA^PW300^LL100^FO10,10^GB60,40,40^FS^XZ\r\n"
                "^XA^MNN^FO10,10^GB60,40,40^FS^XZ\r\n");
    input.close();
    const QString drawn = dir.filePath(QStringLiteral("drawn.png"));
    const struct
    {
        QStringList media;
        QList<QSize> pages; // empty: refused
    } cases[] = {
        { {}, { QSize(832, 1216), QSize(300, 1216), QSize(300, 100) } },
        { { "--width", "4in", "--length", "100mm" },
          { QSize(813, 800), QSize(300, 800), QSize(300, 100) } },
        { { "--width", "600", "--length", "400dots" },
          { QSize(600, 400), QSize(300, 400), QSize(300, 100) } },
        { { "--dpi", "300", "--length", "2in" },
          { QSize(1248, 610), QSize(300, 610), QSize(300, 100) } },
        { { "--length", "0" }, {} },
        { { "--width", "32001" }, {} },
        { { "--width", "4 feet" }, {} },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.media.join(QLatin1Char(' ')).toStdString());
        const CliRun run = RunCliProgram(
            QStringList { QStringLiteral("render"), input.fileName(), QStringLiteral("-o"), drawn }
            + c.media);
        if (c.pages.isEmpty()) {
            EXPECT_EQ(run.exitCode, 2) << run.out.toStdString();
            EXPECT_TRUE(run.err.contains("is not a length")) << run.err.toStdString();
            continue;
        }
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        for (int i = 0; i < c.pages.size(); ++i) {
            const QString name
                = i == 0 ? drawn : dir.filePath(QStringLiteral("drawn-%1.png").arg(i + 1));
            EXPECT_EQ(QImage(name).size(), c.pages.at(i)) << "label " << i + 1;
        }
    }
}

} // namespace
