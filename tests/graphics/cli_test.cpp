// tarvolin-cli graphic: a picture into label commands, written out or sent
// to the real virtual printer, which prints what the preview draws; the
// sizes it reports are those of what it writes; bad options are named.
#include "cli/cli.h"
#include "preview/labelrenderer.h"
#include "support/cliprocess.h"
#include "support/printerprocess.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString Logo(const QTemporaryDir &dir)
{
    QImage image(240, 100, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(10, 10, 80, 80);
    p.drawEllipse(QPoint(170, 50), 40, 40);
    p.end();
    const QString path = dir.filePath(QStringLiteral("logo.png"));
    image.save(path);
    return path;
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(CliGraphic, SizesReportedAreThoseOfTheDataWritten)
{
    QTemporaryDir dir;
    const QString logo = Logo(dir);
    const CliRun sizes = RunCliProgram({ "graphic", logo, "--width", "30mm", "--json" });
    ASSERT_EQ(sizes.exitCode, ExitOk) << sizes.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(sizes.out).object();
    EXPECT_EQ(o.value("width").toInt(), 240);
    EXPECT_EQ(o.value("height").toInt(), 100);
    const QJsonObject each = o.value("sizes").toObject();
    QString smallest;
    for (const char *encoding : { "hex", "rle", "b64", "z64" }) {
        const CliRun field = RunCliProgram(
            { "graphic", logo, "--width", "30mm", "--field-only", "--encoding", encoding });
        ASSERT_EQ(field.exitCode, ExitOk) << encoding;
        ASSERT_TRUE(field.out.startsWith("^GFA,3000,3000,30,")) << field.out.left(40).toStdString();
        EXPECT_EQ(field.out.size() - 18, each.value(encoding).toInteger(-1)) << encoding;
        if (smallest.isEmpty()
            || each.value(encoding).toInteger() < each.value(smallest).toInteger())
            smallest = QString::fromLatin1(encoding);
    }
    EXPECT_EQ(o.value("encoding").toString(), smallest);
    EXPECT_GE(each.value("hex").toInteger(), 3 * each.value(smallest).toInteger());
}

TEST(CliGraphic, WrittenAndSentGraphicsPrintAsThePreviewDrawsThem)
{
    QTemporaryDir dir;
    const QString logo = Logo(dir);
    const QString out = dir.filePath(QStringLiteral("out"));
    PrinterProcess printer({ "--tcp", "0", "--dpi", "300", "--out", out });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const QString to = QStringLiteral("tcp://127.0.0.1:%1").arg(printer.TcpPort());

    const QString file = dir.filePath(QStringLiteral("logo.zpl"));
    const CliRun written = RunCliProgram(
        { "graphic", logo, "--dpi", "300", "--height", "0.5in", "--invert", "-o", file });
    ASSERT_EQ(written.exitCode, ExitOk) << written.err.toStdString();
    EXPECT_TRUE(written.out.startsWith(file.toUtf8() + ": 360 x 150 dots, "))
        << written.out.toStdString();
    RenderOptions options;
    options.dotsPerMm = 12;
    options.defaultLabelSize = QSize(104 * 12, 152 * 12);
    const RenderResult previewed = RenderLabels(ReadFile(file), options);
    ASSERT_EQ(previewed.labels.size(), 1);
    EXPECT_TRUE(previewed.warnings.isEmpty());

    struct Send
    {
        QStringList args;
    };
    const Send sends[] = {
        { { "graphic", logo, "--dpi", "300", "--height", "0.5in", "--invert", "--to", to } },
        { { "graphic", logo, "--dpi", "300", "--height", "0.5in", "--invert", "--encoding", "rle",
            "--store", "e:logo", "--to", to } },
        { { "text", "^XA^FO0,0^XGE:LOGO.GRF,1,1^FS^XZ", "--to", to } },
        { { "graphic", logo, "--dpi", "300", "--height", "0.5in", "--invert", "--encoding", "b64",
            "--store", "R:LOGO2.GRF", "--to", to } },
        { { "text", "^XA^FO0,0^IMR:LOGO2.GRF^FS^XZ", "--to", to } },
    };
    for (const Send &s : sends) {
        const CliRun run = RunCliProgram(s.args);
        EXPECT_EQ(run.exitCode, ExitOk) << s.args.join(' ').toStdString() << run.out.toStdString();
    }
    for (int n = 1; n <= 3; ++n) {
        ASSERT_TRUE(
            printer.WaitForLine(QStringLiteral("label %1: ").arg(n), 20000).contains(" -> "))
            << printer.Lines().join('\n').toStdString();
        const QImage printed(
            QStringLiteral("%1/label-%2.png").arg(out).arg(n, 4, 10, QLatin1Char('0')));
        EXPECT_TRUE(printed.convertToFormat(QImage::Format_Grayscale8)
                    == previewed.labels.constFirst().convertToFormat(QImage::Format_Grayscale8))
            << "label " << n;
    }
}

TEST(CliGraphic, BadOptionsAreNamedAndNothingIsWritten)
{
    QTemporaryDir dir;
    const QString logo = Logo(dir);
    struct Case
    {
        QStringList args;
        const char *error;
    };
    const Case cases[] = {
        { { "--width", "3cm" }, "--width: '3cm' is not a length" },
        { { "--height", "2.5" }, "--height: '2.5' is not a length" },
        { { "--threshold", "300" }, "--threshold" },
        { { "--dither", "ordered" }, "--dither: 'ordered' is not one of none, floyd, atkinson" },
        { { "--rotate", "45" }, "--rotate: '45' is not 90, 180 or 270" },
        { { "--encoding", "zip" }, "--encoding: 'zip' is not one of hex, rle, b64, z64, auto" },
        { { "--store", "Z:LOGO" },
          "--store: Z: is not a memory device a graphic can be stored on" },
        { { "--store", "LOGO", "--field-only" },
          "--field-only and --store: a download is no field" },
        { { "--dpi", "600" }, "--dpi: '600' is not 203 or 300" },
    };
    for (const Case &c : cases) {
        const CliRun run = RunCliProgram(QStringList { "graphic", logo } + c.args);
        EXPECT_EQ(run.exitCode, ExitUsage) << c.args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.error)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    const CliRun missing = RunCliProgram({ "graphic", dir.filePath("none.png") });
    EXPECT_EQ(missing.exitCode, ExitUsage);
    EXPECT_TRUE(missing.err.contains("Cannot open file")) << missing.err.toStdString();
    QFile text(dir.filePath("notes.png"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    const CliRun unreadable = RunCliProgram({ "graphic", text.fileName() });
    EXPECT_EQ(unreadable.exitCode, ExitUsage);
    EXPECT_TRUE(unreadable.err.contains("is not a picture this program can read"))
        << unreadable.err.toStdString();
}

} // namespace
