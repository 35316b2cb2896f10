// The label preview through the real window: the "Preview" buttons beside
// "Pint Label" and on the Command Tool, the stepper, the warnings list.
#include "app/mainform.h"
#include "commands/setuppanel.h"
#include "commands/testlabel.h"
#include "commands/ui/printerconfigtab.h"
#include "commands/ui/setuppanelbox.h"
#include "commands/ui/setuppreview.h"
#include "files/ui/filemanagertab.h"
#include "preview/labelimage.h"
#include "preview/ui/labelview.h"
#include "preview/ui/previewwindow.h"
#include "support/samplelabels.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"
#include "tool/ui/commandtooltab.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

namespace {

class PreviewTest : public FileWindowTest
{
protected:
    PreviewWindow *Preview() const
    {
        return form->findChild<PreviewWindow *>(QString(), Qt::FindDirectChildrenOnly);
    }

    // The test label with its serial number field replaced by fixed text.
    static QImage ExpectedTestLabel(const QByteArray &serial)
    {
        SetupPanelValues values = StartSetupValues();
        QByteArray commands = TestLabelCommand(values);
        commands.replace("^SN0001,1,Y", "^FD" + serial);
        const RenderResult result = RenderLabels(commands);
        EXPECT_EQ(result.labels.size(), 1);
        return result.labels.value(0);
    }

    // Optional screenshots for the documentation: TARVOLIN_SCREENSHOTS=<dir>.
    static void Screenshot(QWidget *window, const QString &name)
    {
        const QString dir = qEnvironmentVariable("TARVOLIN_SCREENSHOTS");
        if (dir.isEmpty())
            return;
        QApplication::processEvents();
        window->grab().save(dir + QLatin1Char('/') + name);
    }
};

TEST_F(PreviewTest, PintLabelPreviewShowsTheTestLabelAndStepsItsSerialNumber)
{
    form->PageControl1->setCurrentWidget(form->TabSheet1);
    SetupPanelBox *panel = form->TabSheet1->GroupBox7;
    QPushButton *preview = Find<QPushButton>(form->TabSheet1, QStringLiteral("PreviewButton"));
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->text(), QStringLiteral("Preview"));
    EXPECT_TRUE(preview->isVisible());
    // Clear of "Pint Label", the quantity, "Pices" and the hidden BOX.
    for (QWidget *control :
         { static_cast<QWidget *>(panel->Button24), static_cast<QWidget *>(panel->Edit1),
           static_cast<QWidget *>(panel->Boxck) })
        EXPECT_FALSE(preview->geometry().intersects(control->geometry()))
            << control->objectName().toStdString();

    QTest::mouseClick(preview, Qt::LeftButton);
    PreviewWindow *window = Preview();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Label Preview - Pint Label"));
    ASSERT_EQ(window->Result().labels.size(), 1);
    const QImage label = window->CurrentImage();
    EXPECT_EQ(label.size(), QSize(608, 1600));
    // "Printer Test!" at 40,40 dots.
    const QRect title = InkBounds(label, QRect(0, 0, 608, 100));
    EXPECT_NEAR(title.left(), 40, 3);
    EXPECT_EQ(title.top(), 40);
    EXPECT_TRUE(SameDots(label, ExpectedTestLabel("0001")));
    EXPECT_EQ(window->warningsList->count(), 1); // "No warnings"
    EXPECT_EQ(window->settingsList->topLevelItemCount(), 11);
    EXPECT_FALSE(window->labelStepper->isEnabled());
    Screenshot(window, QStringLiteral("preview-test-label.png"));

    // Three labels: the same window steps the serial number.
    panel->Edit1->setText(QStringLiteral("3"));
    QTest::mouseClick(preview, Qt::LeftButton);
    EXPECT_EQ(Preview(), window);
    EXPECT_EQ(form->findChildren<PreviewWindow *>().size(), 1);
    ASSERT_EQ(window->Result().labels.size(), 3);
    EXPECT_TRUE(window->labelStepper->isEnabled());
    EXPECT_EQ(window->labelStepper->maximum(), 3);
    EXPECT_EQ(window->labelCount->text(), QStringLiteral("of 3"));
    for (int i = 1; i <= 3; ++i) {
        window->labelStepper->setValue(i);
        EXPECT_EQ(window->CurrentLabel(), i - 1);
        EXPECT_TRUE(
            SameDots(window->CurrentImage(), ExpectedTestLabel("000" + QByteArray::number(i))))
            << i;
    }

    // 300 dpi: the same bytes "Pint Label" sends, drawn at 12 dots per mm.
    panel->RadioGroup5Items[1]->click();
    QTest::mouseClick(preview, Qt::LeftButton);
    EXPECT_EQ(window->CurrentImage().size(), QSize(912, 2400));
    EXPECT_EQ(InkBounds(window->CurrentImage(), QRect(0, 0, 912, 120)).top(), 60);
}

TEST_F(PreviewTest, PintLabelPreviewOfALengthThatDoesNotParseShowsTheErrorAndNoWindow)
{
    SetupPanelBox *panel = form->TabSheet1->GroupBox7;
    panel->paperwidthe->setText(QStringLiteral("7x6"));
    ModalWatcher watcher;
    QTest::mouseClick(panel->PreviewButton, Qt::LeftButton);
    EXPECT_EQ(watcher.Texts(),
              QStringList { QStringLiteral("'7x6' is not a valid floating point value.") });
    EXPECT_EQ(Preview(), nullptr);
}

TEST_F(PreviewTest, CommandToolPreviewListsUnknownCommandsAndSelectsTheirLine)
{
    form->PageControl1->setCurrentWidget(form->TabSheet4);
    CommandToolTab *tool = form->TabSheet4;
    QPushButton *preview = Find<QPushButton>(tool, QStringLiteral("PreviewButton"));
    ASSERT_NE(preview, nullptr);
    for (QWidget *control :
         { static_cast<QWidget *>(tool->Button25), static_cast<QWidget *>(tool->Button20),
           static_cast<QWidget *>(tool->Edit8) })
        EXPECT_FALSE(preview->geometry().intersects(control->geometry()));

    tool->Memo[0]->setPlainText(QStringLiteral("^XA\n^FO10,10^GB50,50,5^FS\n  ^ZZ1,2\n^XZ"));
    QTest::mouseClick(preview, Qt::LeftButton);
    PreviewWindow *window = Preview();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Label Preview - Command Tool, page 1"));
    ASSERT_EQ(window->Result().labels.size(), 1);
    // No ^PW / ^LL: the panel's label size (76 x 200 mm at 203 dpi).
    EXPECT_EQ(window->CurrentImage().size(), QSize(608, 1600));
    EXPECT_EQ(InkBounds(window->CurrentImage()), QRect(10, 10, 50, 50));
    ASSERT_EQ(window->warningsList->count(), 1);
    EXPECT_EQ(window->warningsList->item(0)->text(),
              QStringLiteral("line 3, column 3: ^ZZ not rendered"));

    // A click on the warning selects the command in its line on page 1.
    tool->Memo[1]->setPlainText(QStringLiteral("other page"));
    QTest::mouseClick(tool->RadioGroup4->findChildren<QRadioButton *>().at(1), Qt::LeftButton);
    ASSERT_EQ(tool->VisiblePage(), 2);
    QListWidget *warnings = window->warningsList;
    QTest::mouseClick(warnings->viewport(), Qt::LeftButton, {},
                      warnings->visualItemRect(warnings->item(0)).center());
    EXPECT_EQ(tool->VisiblePage(), 1);
    EXPECT_EQ(tool->Memo[0]->textCursor().blockNumber(), 2);
    EXPECT_EQ(tool->Memo[0]->textCursor().selectedText(), QStringLiteral("^ZZ1,2"));
}

// The page is the one the printer would print: ^PW sets its width, ^LL its
// length on continuous media (or with Y), the media of Printer Configuration
// the rest; the legend says which, and no edge of another size is drawn.
TEST_F(PreviewTest, ThePageFollowsTheMediaAndSaysWhatDecidedIt)
{
    PreviewRequest request = PreviewRequestFor(StartSetupValues());
    ASSERT_EQ(request.labelEdges, QSize(608, 1600));
    const QString media = QStringLiteral("the media of Printer Configuration");
    const struct
    {
        QByteArray commands;
        QSize page;
        QString width;
        QString length;
    } cases[] = {
        { "^XA^FO10,10^GB50,50,5^FS^XZ", QSize(608, 1600), "width 608: " + media,
          "length 1600: " + media },
        { "^XA^PW400^LL300^FO10,10^GB50,50,5^FS^FO10,900^GB50,50,5^FS^XZ", QSize(400, 1600),
          "print width 400 (^PW)", "length 1600: " + media },
        { "^XA^MNN^PW400^LL300^FO10,10^GB50,50,5^FS^XZ", QSize(400, 300), "print width 400 (^PW)",
          "label length 300 (^LL)" },
        { "^XA^LL200,Y^FO10,10^GB50,50,5^FS^XZ", QSize(608, 200), "width 608: " + media,
          "label length 200 (^LL)" },
    };
    for (const auto &c : cases) {
        request.commands = c.commands;
        PreviewWindow *window = PreviewWindow::Show(form.get(), request);
        EXPECT_EQ(window->CurrentImage().size(), c.page) << c.commands.constData();
        EXPECT_EQ(window->view->WidthLegend(), c.width) << c.commands.constData();
        EXPECT_EQ(window->view->LengthLegend(), c.length) << c.commands.constData();
    }
    // A field below ^LL on gap media is on the page.
    request.commands = cases[1].commands;
    PreviewWindow *window = PreviewWindow::Show(form.get(), request);
    EXPECT_EQ(InkBounds(window->CurrentImage(), QRect(0, 880, 400, 100)), QRect(10, 900, 50, 50));
    window->resize(900, 700);
    Screenshot(window, QStringLiteral("preview-page-from-media.png"));

    // Without a panel's media, a fresh printer's.
    request.labelEdges = QSize();
    request.commands = "^XA^FO10,10^GB50,50,5^FS^XZ";
    window = PreviewWindow::Show(form.get(), request);
    EXPECT_EQ(window->CurrentImage().size(), QSize(832, 1216));
    EXPECT_EQ(window->view->WidthLegend(), QStringLiteral("width 832: a fresh printer's media"));
}

TEST_F(PreviewTest, AFieldOutsideTheLabelIsAWarningWhoseClickSelectsIt)
{
    // A 4 x 6 inch label on continuous media whose QR symbol was pushed below
    // its bottom edge.
    form->PageControl1->setCurrentWidget(form->TabSheet4);
    CommandToolTab *tool = form->TabSheet4;
    tool->Memo[0]->setPlainText(QStringLiteral("^XA^MNN^PW812^LL1218\n^FO50,50^A0N,60,60^FDTo: "
                                               "Hall 3^FS\n^FO50,1250^BQN,2,8^FDQA,PALLET-"
                                               "0042^FS\n^XZ"));
    QTest::mouseClick(Find<QPushButton>(tool, QStringLiteral("PreviewButton")), Qt::LeftButton);
    PreviewWindow *window = Preview();
    ASSERT_NE(window, nullptr);
    QListWidget *warnings = window->warningsList;
    ASSERT_EQ(warnings->count(), 1);
    const QString text = warnings->item(0)->text();
    EXPECT_TRUE(text.startsWith(QStringLiteral(
        "line 3, column 1: field wholly outside the label (812 x 1218 dots): its ink reaches ")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral(" dots past the bottom edge"))) << text.toStdString();
    QTest::mouseClick(warnings->viewport(), Qt::LeftButton, {},
                      warnings->visualItemRect(warnings->item(0)).center());
    EXPECT_EQ(tool->Memo[0]->textCursor().blockNumber(), 2);
}

TEST_F(PreviewTest, ZoomSaveAndCopy)
{
    PreviewRequest request = PreviewRequestFor(StartSetupValues());
    request.source = QStringLiteral("shipping label");
    request.commands = ShippingLabel(8);
    request.labelEdges = QSize(812, 1218);
    PreviewWindow *window = PreviewWindow::Show(form.get(), request);
    window->resize(1000, 760);
    QTest::qWait(20);
    EXPECT_TRUE(window->Result().warnings.isEmpty());
    EXPECT_TRUE(window->view->Fitted());
    const double fitted = window->view->Zoom();
    EXPECT_LT(fitted, 1.0);
    Screenshot(window, QStringLiteral("preview-shipping-label.png"));

    QTest::mouseClick(window->actualSizeButton, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(window->view->Zoom(), 1.0);
    EXPECT_FALSE(window->fitButton->isChecked());
    EXPECT_EQ(window->zoomLabel->text(), QStringLiteral("100%"));
    Screenshot(window, QStringLiteral("preview-actual-size.png"));
    // The wheel zooms around the pointer: the dot under it stays.
    const QPoint at(300, 200);
    const QPointF dot = window->view->ToDots(at);
    QWheelEvent wheel(at, window->view->viewport()->mapToGlobal(at), {}, QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(window->view->viewport(), &wheel);
    EXPECT_DOUBLE_EQ(window->view->Zoom(), 1.25);
    EXPECT_NEAR(window->view->ToDots(at).x(), dot.x(), 1);
    EXPECT_NEAR(window->view->ToDots(at).y(), dot.y(), 1);
    QTest::mouseClick(window->fitButton, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(window->view->Zoom(), fitted);

    // Saved at the printer's resolution, one bit or eight.
    for (bool eightBit : { false, true }) {
        const QString path
            = dir.filePath(eightBit ? QStringLiteral("8.png") : QStringLiteral("1.png"));
        window->SavePng(path, eightBit);
        QImageReader reader(path);
        const QImage saved = reader.read();
        ASSERT_FALSE(saved.isNull());
        EXPECT_EQ(saved.depth(), eightBit ? 8 : 1);
        EXPECT_EQ(saved.dotsPerMeterX(), 8000);
        EXPECT_EQ(saved.dotsPerMeterY(), 8000);
        EXPECT_TRUE(SameDots(saved, window->CurrentImage()));
    }
    QTest::mouseClick(window->copyButton, Qt::LeftButton);
    EXPECT_TRUE(SameDots(QGuiApplication::clipboard()->image(), window->CurrentImage()));

    // Zoomed in and scrolled to a far corner, the window gets a new label
    // (a small one): it shows it whole, not the old zoom's empty corner.
    QTest::mouseClick(window->actualSizeButton, Qt::LeftButton);
    QApplication::sendEvent(window->view->viewport(), &wheel);
    window->view->horizontalScrollBar()->setValue(window->view->horizontalScrollBar()->maximum());
    window->view->verticalScrollBar()->setValue(window->view->verticalScrollBar()->maximum());
    ASSERT_FALSE(window->view->Fitted());
    request.commands = "^XA^FO10,10^GB200,100,4^FS^XZ";
    request.labelEdges = QSize(406, 203);
    EXPECT_EQ(PreviewWindow::Show(form.get(), request), window);
    EXPECT_TRUE(window->view->Fitted());
    EXPECT_TRUE(window->fitButton->isChecked());
    EXPECT_GT(window->view->Zoom(), fitted);
    EXPECT_EQ(window->zoomLabel->text(),
              QStringLiteral("%1%").arg(std::lround(window->view->Zoom() * 100)));
    // The whole label is in view: its corners are dots on screen.
    const QRect shown = window->view->viewport()->rect();
    EXPECT_LE(window->view->ToDots(shown.topLeft()).x(), 0.5);
    EXPECT_GE(window->view->ToDots(shown.bottomRight()).x(), 405);
    EXPECT_GE(window->view->ToDots(shown.bottomRight()).y(), 202);
}

} // namespace

TEST_F(PreviewTest, FontSamplePreviewDrawsTheSampleWithTheDownloadedFont)
{
    FileManagerTab *files = form->TabSheet2;
    form->PageControl1->setCurrentWidget(files);
    QPushButton *preview = files->SamplePreviewButton;
    EXPECT_FALSE(preview->isVisible());
    form->ShowAllOperations->setChecked(true);
    ASSERT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->text(), QStringLiteral("Preview"));
    for (QWidget *control :
         { static_cast<QWidget *>(files->Button13), static_cast<QWidget *>(files->RadioGroup3),
           static_cast<QWidget *>(files->Button14), static_cast<QWidget *>(files->GroupBox4),
           static_cast<QWidget *>(files->GroupBox13) })
        EXPECT_FALSE(preview->geometry().intersects(control->geometry()))
            << control->objectName().toStdString();

    QFile serif(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"));
    ASSERT_TRUE(serif.open(QIODevice::ReadOnly));
    const QByteArray font = serif.readAll();
    const QString path = dir.filePath(QStringLiteral("Demo.ttf"));
    {
        QFile copy(path);
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        ASSERT_EQ(copy.write(font), font.size());
    }
    ModalWatcher watcher;
    watcher.AnswerFileDialogs({ path });
    QTest::mouseClick(files->Button11, Qt::LeftButton);
    ASSERT_EQ(files->Edit15->text(), QStringLiteral("Demo.ttf"));

    // Not downloaded in this session: the printer's font 0, and the preview says so.
    QTest::mouseClick(preview, Qt::LeftButton);
    PreviewWindow *window = Preview();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Label Preview - Font sample"));
    const auto warnings = [window] {
        QStringList texts;
        for (int i = 0; i < window->warningsList->count(); ++i)
            texts << window->warningsList->item(i)->text();
        return texts.join(QLatin1Char('\n'));
    };
    EXPECT_TRUE(warnings().contains(QStringLiteral("E:DEMO.FNT is not in printer memory")))
        << warnings().toStdString();
    const QImage withoutFont = window->CurrentImage();

    // Downloaded: drawn with it, exactly as the bytes "Print" sends are.
    QTest::mouseClick(files->Button12, Qt::LeftButton);
    QTest::mouseClick(preview, Qt::LeftButton);
    EXPECT_FALSE(warnings().contains(QStringLiteral("printer memory"))) << warnings().toStdString();
    QTest::mouseClick(files->Button13, Qt::LeftButton);
    RenderOptions options;
    options.fonts.insert(QStringLiteral("E:DEMO.FNT"), font);
    options.defaultLabelSize = PreviewRequestFor(form->TabSheet1->SetupValues()).labelEdges;
    const RenderResult printed = RenderLabels(Sent(), options);
    ASSERT_EQ(printed.labels.size(), 1);
    EXPECT_TRUE(SameDots(window->CurrentImage(), printed.labels.at(0)));
    EXPECT_FALSE(SameDots(window->CurrentImage(), withoutFont));
    // The file dialog was the only one shown.
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].className, "QFileDialog");
    Screenshot(window, QStringLiteral("preview-font-sample.png"));
}
