// Download Graphic... in the real window: a picture chosen, its 1-bit result
// beside it with the sizes, a bad name refused with the dialog left open,
// and the download that stores it sent through the chosen interface; the
// Command Tool's Insert Graphic... puts a ^GF field at the cursor.
#include "files/ui/filestest.h"
#include "files/ui/graphicdialog.h"
#include "preview/labelrenderer.h"
#include "tool/ui/commandtooltab.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <functional>

namespace {

QString Picture(const QTemporaryDir &dir)
{
    QImage image(160, 80, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.fillRect(10, 10, 60, 60, QColor(30, 60, 160));
    p.setBrush(QColor(200, 30, 30));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPoint(120, 40), 30, 30);
    p.end();
    const QString path = dir.filePath(QStringLiteral("mark.png"));
    image.save(path);
    return path;
}

// Works the dialog once it is up (exec() returns only when it closes).
void WhenDialogOpens(std::function<void(GraphicDialog &)> work)
{
    QTimer::singleShot(0, [work] {
        QTest::qWaitFor(
            [] { return qobject_cast<GraphicDialog *>(QApplication::activeModalWidget()); }, 10000);
        auto *dialog = qobject_cast<GraphicDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return ADD_FAILURE() << "no dialog";
        try {
            work(*dialog);
        } catch (const std::exception &e) {
            ADD_FAILURE() << e.what();
        }
        if (dialog->isVisible())
            dialog->reject();
    });
}

class GraphicDialogWindow : public FileManagerWindow
{
};

TEST_F(GraphicDialogWindow, StoresThePictureUnderTheNameGiven)
{
    const QString path = Picture(dir);
    QString sizes;
    WhenDialogOpens([&](GraphicDialog &d) {
        d.OpenPicture(path);
        EXPECT_EQ(d.Result().width, 160);
        // 40 mm at 300 dpi, the height kept in proportion.
        d.DpiBox->setCurrentIndex(1);
        d.WidthEdit->setText(QStringLiteral("40mm"));
        emit d.WidthEdit->editingFinished();
        EXPECT_EQ(d.Result().width, 472);
        EXPECT_EQ(d.Result().height, 236);
        EXPECT_FALSE(d.ResultView->pixmap().isNull());
        EXPECT_FALSE(d.OriginalView->pixmap().isNull());
        sizes = d.SizesLabel->text();
        if (qEnvironmentVariableIsSet("TARVOLIN_SHOTS"))
            d.grab().save(qEnvironmentVariable("TARVOLIN_SHOTS") + "/graphic-dialog.png");
        d.DeviceBox->setCurrentText(QStringLiteral("B:"));
        d.NameEdit->setText(QStringLiteral("bad name"));
        // Refused in the error box; the dialog stays for a better name.
        QString refusal;
        QTimer::singleShot(0, [&] {
            QTest::qWaitFor([&] { return QApplication::activeModalWidget() != &d; }, 5000);
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                refusal = box->text();
                box->accept();
            }
        });
        QTest::mouseClick(d.SendButton, Qt::LeftButton);
        EXPECT_TRUE(refusal.contains(QStringLiteral("holds \" \""))) << refusal.toStdString();
        EXPECT_TRUE(d.isVisible());
        d.NameEdit->setText(QStringLiteral("mark"));
        QTest::mouseClick(d.SendButton, Qt::LeftButton);
    });
    if (qEnvironmentVariableIsSet("TARVOLIN_SHOTS"))
        form->grab().save(qEnvironmentVariable("TARVOLIN_SHOTS") + "/file-manager.png");
    QTest::mouseClick(files->DownloadGraphicButton, Qt::LeftButton);

    EXPECT_TRUE(
        sizes.startsWith(QStringLiteral("472 x 236 dots (40.0 x 20.0 mm). Bytes: HEX 27848,")))
        << sizes.toStdString();
    const QByteArray sent = Sent();
    ASSERT_TRUE(sent.startsWith("~DGB:MARK.GRF,13924,59,")) << sent.left(60).toStdString();
    RenderOptions options;
    options.dotsPerMm = 12;
    const RenderResult printed
        = RenderLabels(sent + "^XA^PW600^LL300^FO0,0^XGB:MARK.GRF^FS^XZ", options);
    ASSERT_EQ(printed.labels.size(), 1);
    EXPECT_TRUE(printed.warnings.isEmpty());
    // The blue square and the red disc are both dark enough to print.
    const QImage &label = printed.labels.constFirst();
    EXPECT_EQ(qGray(label.pixel(100, 100)), 0);
    EXPECT_EQ(qGray(label.pixel(354, 118)), 0);
    EXPECT_EQ(qGray(label.pixel(5, 5)), 255);
}

TEST_F(GraphicDialogWindow, CommandToolInsertsAFieldAtTheCursor)
{
    const QString path = Picture(dir);
    CommandToolTab *tool = form->TabSheet4;
    form->PageControl1->setCurrentWidget(tool);
    QPlainTextEdit *memo = tool->Memo[0];
    memo->setPlainText(QStringLiteral("^XA\n^FO10,10\n^XZ"));
    QTextCursor cursor = memo->textCursor();
    cursor.setPosition(12); // after "^FO10,10"
    memo->setTextCursor(cursor);
    WhenDialogOpens([&](GraphicDialog &d) {
        EXPECT_FALSE(d.NameEdit->isVisible());
        d.OpenPicture(path);
        d.EncodingBox->setCurrentIndex(1); // HEX
        QTest::mouseClick(d.SendButton, Qt::LeftButton);
    });
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_G, Qt::ControlModifier);
    if (qEnvironmentVariableIsSet("TARVOLIN_SHOTS"))
        form->grab().save(qEnvironmentVariable("TARVOLIN_SHOTS") + "/command-tool.png");
    const QString text = memo->toPlainText();
    ASSERT_TRUE(text.startsWith(QStringLiteral("^XA\n^FO10,10^GFA,1600,1600,20,")))
        << text.left(60).toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("^FS\n^XZ")));
    const RenderResult drawn = RenderLabels(text.toLatin1());
    ASSERT_EQ(drawn.labels.size(), 1);
    EXPECT_TRUE(drawn.warnings.isEmpty());
}

} // namespace
