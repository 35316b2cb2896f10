#include "files/ui/filemanagertab.h"

#include "ui/controls.h"

#include "commands/ui/setuppreview.h"
#include "files/downloadcheck.h"
#include "files/downloadcommand.h"
#include "files/fileread.h"
#include "files/fontsample.h"
#include "files/memorycommands.h"
#include "files/ui/graphicdialog.h"
#include "link/printerlink.h"
#include "preview/ui/previewwindow.h"
#include "ui/errorbox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextCursor>

namespace {

const QStringList DialogFilters { QStringLiteral("Font File (*.TTF;*.OTF)"),
                                  QStringLiteral("BIN File (*.BIN)"),
                                  QStringLiteral("Any File (*.*)") };

} // namespace

FileManagerTab::FileManagerTab(PrinterLink &link, SetupValuesSource setupValues, QWidget *parent)
    : QWidget(parent)
    , link_(link)
    , setupValues_(std::move(setupValues))
{
    setObjectName(QStringLiteral("TabSheet2"));
    CreateDownloadGroup();
    CreateMemoryControls();
    CreateFileInformationGroup();
    // None of these overlaps a visible control where it stands.
    for (QWidget *control :
         std::initializer_list<QWidget *> { Edit9, Acommandck, Hexcb, Button13, SamplePreviewButton,
                                            RadioGroup3, Button14, GroupBox13 })
        advancedView_.Reveal(control);

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            Guarded([this](const QPoint &) { TabSheet2ContextPopup(); }));
}

void FileManagerTab::CreateDownloadGroup()
{
    GroupBox4 = new QGroupBox(QStringLiteral("File Download"), this);
    GroupBox4->setObjectName(QStringLiteral("GroupBox4"));
    GroupBox4->setGeometry(8, 8, 361, 249);
    QWidget *g = GroupBox4;
    constexpr int CaptionX = 12;
    constexpr int FieldX = 112;

    Label42 = AddCaption(g, QStringLiteral("Label42"), QStringLiteral("File Type:"), CaptionX, 27);
    ComboBox17 = new QComboBox(g);
    ComboBox17->setObjectName(QStringLiteral("ComboBox17"));
    ComboBox17->addItems({ QStringLiteral("Font File(*.TTF;*.OTF)"),
                           QStringLiteral("BIN File(*.BIN)"), QStringLiteral("Data File") });
    ComboBox17->setMaxVisibleItems(20);
    ComboBox17->setCurrentIndex(0);
    ComboBox17->setGeometry(FieldX, 24, 233, 22);

    Button11 = AddButton(g, QStringLiteral("Button11"), QStringLiteral("Select File"),
                         { FieldX, 56, 97, 25 });

    DownloadGraphicButton
        = AddButton(g, QStringLiteral("DownloadGraphicButton"),
                    QStringLiteral("Download Graphic..."), { FieldX + 112, 56, 121, 25 });
    DownloadGraphicButton->setToolTip(
        QStringLiteral("Make a picture into a label graphic and store it in printer memory"));

    Label43 = AddCaption(g, QStringLiteral("Label43"), QStringLiteral("File Name:"), CaptionX, 95);
    Edit15 = AddEdit(g, QStringLiteral("Edit15"), { FieldX, 92, 233, 22 });

    Label44 = AddCaption(g, QStringLiteral("Label44"), QStringLiteral("File Size:"), CaptionX, 127);
    Edit16 = AddEdit(g, QStringLiteral("Edit16"), { FieldX, 124, 161, 22 });
    Label45 = AddCaption(g, QStringLiteral("Label45"), QStringLiteral("Bytes"), FieldX + 169, 127);

    Label46
        = AddCaption(g, QStringLiteral("Label46"), QStringLiteral("Memory Device:"), CaptionX, 159);
    ComboBox18 = new QComboBox(g);
    ComboBox18->setObjectName(QStringLiteral("ComboBox18"));
    ComboBox18->addItems({ QStringLiteral("R:"), QStringLiteral("E:"), QStringLiteral("B:"),
                           QStringLiteral("A:"), QStringLiteral("Z:") });
    ComboBox18->setCurrentIndex(1);
    ComboBox18->setGeometry(FieldX, 156, 97, 22);

    Button12 = AddButton(g, QStringLiteral("Button12"), QStringLiteral("Download"),
                         { FieldX, 196, 97, 25 });
    Button15 = AddButton(g, QStringLiteral("Button15"), QStringLiteral("File (s)"),
                         { FieldX + 112, 196, 97, 25 });

    // Options of the font sample label; not offered to the operator.
    Edit9 = AddEdit(g, QStringLiteral("Edit9"), { CaptionX, 226, 41, 22 });
    Edit9->setText(QStringLiteral("28"));
    Acommandck = new QCheckBox(QStringLiteral("A Command"), g);
    Acommandck->setObjectName(QStringLiteral("Acommandck"));
    Acommandck->setGeometry(CaptionX + 48, 228, 97, 19);
    Acommandck->setChecked(true);
    Hexcb = new QCheckBox(QStringLiteral("HEX"), g);
    Hexcb->setObjectName(QStringLiteral("Hexcb"));
    Hexcb->setGeometry(CaptionX + 152, 228, 57, 19);
    Hexcb->setChecked(true);
    Edit9->hide();
    Acommandck->hide();
    Hexcb->hide();

    connect(Button11, &QPushButton::clicked, this, Guarded([this](bool) { Button11Click(); }));
    connect(Button12, &QPushButton::clicked, this, Guarded([this](bool) { Button12Click(); }));
    connect(Button15, &QPushButton::clicked, this, Guarded([this](bool) { Button15Click(); }));
    connect(DownloadGraphicButton, &QPushButton::clicked, this,
            Guarded([this](bool) { DownloadGraphicButtonClick(); }));
}

void FileManagerTab::CreateDialogs()
{
    if (OpenDialog1)
        return;
    // The platform's own dialog cannot be driven or inspected; Qt's can.
    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setNameFilters(DialogFilters);
    connect(OpenDialog1, &QFileDialog::filterSelected, this,
            Guarded([this](const QString &filter) { ApplyDialogFilterPatterns(filter); }));
}

void FileManagerTab::CreateMemoryControls()
{
    Button13
        = AddButton(this, QStringLiteral("Button13"), QStringLiteral("Print"), { 8, 272, 97, 25 });
    Button13->hide();
    connect(Button13, &QPushButton::clicked, this, Guarded([this](bool) { Button13Click(); }));
    SamplePreviewButton = AddButton(this, QStringLiteral("SamplePreviewButton"),
                                    QStringLiteral("Preview"), { 112, 272, 97, 25 });
    SamplePreviewButton->setToolTip(QStringLiteral("Show the labels \"Print\" would print"));
    SamplePreviewButton->hide();
    connect(SamplePreviewButton, &QPushButton::clicked, this,
            Guarded([this](bool) { SamplePreviewButtonClick(); }));

    const RadioGroupControls memories = AddRadioGroup(
        this, QStringLiteral("RadioGroup3"), QStringLiteral("Memory Device"), { 8, 308, 185, 49 },
        { QStringLiteral("DRAM"), QStringLiteral("FLASH") }, { 12, 21, 80, 19 }, { 84, 0 });
    RadioGroup3 = memories.box;
    for (int i = 0; i < 2; ++i)
        RadioGroup3Items[i] = memories.Item(i);
    RadioGroup3Items[1]->setChecked(true);
    RadioGroup3->hide();

    Button14 = AddButton(this, QStringLiteral("Button14"), QStringLiteral("Format"),
                         { 208, 320, 97, 25 });
    Button14->hide();

    connect(Button14, &QPushButton::clicked, this, Guarded([this](bool) { Button14Click(); }));
}

void FileManagerTab::CreateFileInformationGroup()
{
    GroupBox13 = new QGroupBox(QStringLiteral("File Information"), this);
    GroupBox13->setObjectName(QStringLiteral("GroupBox13"));
    GroupBox13->setGeometry(384, 8, 273, 465);
    QWidget *g = GroupBox13;

    Label52
        = AddCaption(g, QStringLiteral("Label52"), QStringLiteral("DRAM FREE BYTE(KB):"), 12, 27);
    Edit18 = AddEdit(g, QStringLiteral("Edit18"), { 148, 24, 81, 22 });
    Label54 = AddCaption(g, QStringLiteral("Label54"), QStringLiteral("KB"), 236, 27);
    Label53
        = AddCaption(g, QStringLiteral("Label53"), QStringLiteral("FLASH  FREE BYTE(KB):"), 12, 57);
    Edit19 = AddEdit(g, QStringLiteral("Edit19"), { 148, 54, 81, 22 });
    Label55 = AddCaption(g, QStringLiteral("Label55"), QStringLiteral("KB"), 236, 57);

    Button16 = AddButton(g, QStringLiteral("Button16"), QStringLiteral("Free Memory"),
                         { 12, 92, 97, 25 });
    // A plain button: it has no glyph, and its caption is set at start.
    BitBtn1 = AddButton(g, QStringLiteral("BitBtn1"), QString(), { 124, 86, 105, 37 });

    FilelistMemo = new QPlainTextEdit(g);
    FilelistMemo->setObjectName(QStringLiteral("FilelistMemo"));
    FilelistMemo->setGeometry(12, 132, 249, 321);
    FilelistMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    FilelistMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FilelistMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    GroupBox13->hide();

    connect(Button16, &QPushButton::clicked, this, Guarded([this](bool) { Button16Click(); }));
    connect(BitBtn1, &QPushButton::clicked, this, Guarded([this](bool) { BitBtn1Click(); }));
}

void FileManagerTab::SetBitBtn1Caption()
{
    BitBtn1->setText(QStringLiteral("Get File(s)\r\nInformation"));
}

// Filters are counted from 1, as the file type list preselects them.
void FileManagerTab::SelectDialogFilter(int filter)
{
    if (filter < 1 || filter > DialogFilters.size())
        return;
    OpenDialog1->selectNameFilter(DialogFilters[filter - 1]);
    ApplyDialogFilterPatterns(DialogFilters[filter - 1]);
}

// Qt separates a filter's patterns by spaces only; the font filter's text
// separates them by ";". The dialog keeps the text, the list gets both patterns.
void FileManagerTab::ApplyDialogFilterPatterns(const QString &filter)
{
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("\\(([^()]*)\\)\\s*$")).match(filter);
    auto *model = OpenDialog1->findChild<QFileSystemModel *>();
    if (!match.hasMatch() || !model)
        return;
    model->setNameFilters(
        match.captured(1).split(QRegularExpression(QStringLiteral("[; ]")), Qt::SkipEmptyParts));
}

void FileManagerTab::Button11Click()
{
    CreateDialogs();
    SelectDialogFilter(ComboBox17->currentIndex() + 1);
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
        return;
    downloadPath_ = OpenDialog1->selectedFiles().constFirst();
    Edit15->setText(FileNamePart(downloadPath_));
    // Only the size is needed: a read-only file can be chosen.
    Edit16->setText(QString::number(FileSizeOf(downloadPath_)));
}

void FileManagerTab::Button12Click()
{
    // The buffer is emptied first, so a file that cannot be read sends nothing
    // stale, and a large font does not sit in memory twice.
    link_.CommandBuffer.clear();
    DownloadRequest request;
    request.fileType = ComboBox17->currentIndex();
    request.device = ComboBox18->currentIndex();
    request.fileNameText = Edit15->text();
    request.path = downloadPath_;
    link_.CommandBuffer = DownloadCommand(request);
    link_.SendToPrinter(PrinterLink::FileNaming::AsTyped);
    const QByteArray device = MemoryDevice(request.device);
    const QString name = FontNameOf(request.fileNameText) + QStringLiteral(".FNT");
    if (request.fileType == 0 && (device == "R:" || device == "E:"))
        downloadedFonts_.insert(QString::fromLatin1(device) + name, request.path);
    // A printer that answers says whether it kept the font; one that did not
    // is a failure with its reason, not a silent success.
    if (request.fileType == 0 && !link_.CommandBuffer.isEmpty() && link_.Target().TwoWay())
        VerifyDownloadStored(link_, device, name, QFileInfo(request.path).size());
}

QByteArray FileManagerTab::FontSampleCommand() const
{
    FontSampleOptions options;
    options.fileNameText = Edit15->text();
    options.characterSet = Edit9->text();
    options.selectByA = Acommandck->isChecked();
    options.hexEscapes = Hexcb->isChecked();
    return FontSampleLabel(options, setupValues_ ? setupValues_() : StartSetupValues());
}

void FileManagerTab::Button13Click()
{
    link_.CommandBuffer = FontSampleCommand();
    link_.SendToPrinter();
}

void FileManagerTab::SamplePreviewButtonClick()
{
    PreviewRequest request = PreviewRequestFor(setupValues_ ? setupValues_() : StartSetupValues());
    request.source = QStringLiteral("Font sample");
    request.commands = FontSampleCommand();
    request.fontFiles = downloadedFonts_;
    PreviewWindow::Show(this, request);
}

void FileManagerTab::Button15Click()
{
    link_.CommandBuffer = DirectoryLabelCommand(ComboBox18->currentIndex());
    link_.SendToPrinter();
}

void FileManagerTab::Button14Click()
{
    link_.CommandBuffer = FormatCommand(RadioGroup3Items[0]->isChecked() ? FormatMemory::Dram
                                                                         : FormatMemory::Flash);
    link_.SendToPrinter();
}

void FileManagerTab::Button16Click()
{
    link_.CommandBuffer = FreeMemoryRequest();
    const FreeMemoryFigures figures
        = ParseFreeMemory(link_.SerialExchange(FreeMemoryExchangeOptions()));
    Edit18->setText(figures.dram);
    Edit19->setText(figures.flash);
}

void FileManagerTab::BitBtn1Click()
{
    link_.CommandBuffer = FileListRequest();
    FilelistMemo->setPlainText(
        ReplyText(FileListLayout(link_.SerialExchange(FileListExchangeOptions()))));
}

void FileManagerTab::cpdataPacket(const QByteArray &packet)
{
    Edit18->setText(QStringLiteral("Str1"));
    QTextCursor end(FilelistMemo->document());
    end.movePosition(QTextCursor::End);
    end.insertText(ReplyText(packet));
}

void FileManagerTab::DownloadGraphicButtonClick()
{
    GraphicDialog dialog(GraphicDialog::Purpose::Download, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    link_.CommandBuffer = dialog.Commands();
    link_.SendToPrinter();
}

void FileManagerTab::TabSheet2ContextPopup() { }
