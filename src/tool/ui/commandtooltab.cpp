#include "tool/ui/commandtooltab.h"

#include "ui/controls.h"

#include "link/printerlink.h"
#include "ui/errorbox.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

const QRect PagesRect(88, 20, 569, 366);

QFileDialog *MakeFileDialog(QWidget *parent, const QString &name, QFileDialog::AcceptMode mode)
{
    auto *dialog = new QFileDialog(parent);
    dialog->setObjectName(name);
    // Non-native, so every platform behaves alike and the dialog can be driven.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(mode);
    // Any name is accepted, existing or not; saving replaces without asking.
    dialog->setFileMode(QFileDialog::AnyFile);
    if (mode == QFileDialog::AcceptSave)
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
    // Every file is shown, with or without a dot in its name.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setNameFilter(QStringLiteral("*.* (*)"));
    return dialog;
}

QStringList MemoLines(const QPlainTextEdit *memo)
{
    // Block texts rather than toPlainText(), which turns no-break spaces
    // (Latin-1 A0) into plain spaces.
    QStringList lines;
    const QTextDocument *document = memo->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        lines << block.text();
    return lines;
}

} // namespace

CommandToolTab::CommandToolTab(PrinterLink &link, QWidget *parent)
    : QWidget(parent)
    , link_(link)
{
    setObjectName(QStringLiteral("TabSheet4"));
    pageEncoding_.fill(PageEncoding::Utf8);

    QStringList pageNumbers;
    for (int i = 0; i < PageCount; ++i)
        pageNumbers << QString::number(i + 1);
    const RadioGroupControls pages
        = AddRadioGroup(this, QStringLiteral("RadioGroup4"), QStringLiteral("Editor"),
                        { 8, 2, 65, 384 }, pageNumbers, { 12, 22, 45, 20 }, { 0, 35 });
    RadioGroup4 = pages.box;
    pageButtons_ = pages.buttons;
    pageButtons_->button(0)->setChecked(true);
    connect(pageButtons_, &QButtonGroup::idToggled, this, Guarded([this](int, bool checked) {
                if (checked)
                    RadioGroup4Click();
            }));

    for (int i = 0; i < PageCount; ++i) {
        auto *memo = new QPlainTextEdit(this);
        memo->setObjectName(QStringLiteral("Memo%1").arg(i + 1));
        memo->setGeometry(PagesRect);
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        Memo[i] = memo;
    }

    Label61 = new QLabel(QStringLiteral("File:"), this);
    Label61->setObjectName(QStringLiteral("Label61"));
    Label61->setGeometry(88, 401, 30, 16);
    QPalette blue = Label61->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label61->setPalette(blue);
    Edit8 = new QLineEdit(this);
    Edit8->setObjectName(QStringLiteral("Edit8"));
    Edit8->setGeometry(118, 398, 539, 22);

    Button25 = AddButton(this, QStringLiteral("Button25"), QStringLiteral("Select File"),
                         QRect(88, 432, 105, 25));
    Button19 = AddButton(this, QStringLiteral("Button19"), QStringLiteral("Send File"),
                         QRect(201, 432, 105, 25));
    Button20 = AddButton(this, QStringLiteral("Button20"), QStringLiteral("Send Text"),
                         QRect(328, 432, 105, 25));
    Button21 = AddButton(this, QStringLiteral("Button21"), QStringLiteral("Load File"),
                         QRect(441, 432, 105, 25));
    Button22 = AddButton(this, QStringLiteral("Button22"), QStringLiteral("Save File"),
                         QRect(552, 432, 105, 25));
    connect(Button25, &QPushButton::clicked, this, Guarded([this](bool) { Button25Click(); }));
    connect(Button19, &QPushButton::clicked, this, Guarded([this](bool) { Button19Click(); }));
    connect(Button20, &QPushButton::clicked, this, Guarded([this](bool) { Button20Click(); }));
    connect(Button21, &QPushButton::clicked, this, Guarded([this](bool) { Button21Click(); }));
    connect(Button22, &QPushButton::clicked, this, Guarded([this](bool) { Button22Click(); }));
    // Left of the row, under the page selector: the specified buttons keep their places.
    PreviewButton = AddButton(this, QStringLiteral("PreviewButton"), QStringLiteral("Preview"),
                              QRect(8, 432, 72, 25));
    PreviewButton->setToolTip(QStringLiteral("Show the labels this page prints"));
    connect(PreviewButton, &QPushButton::clicked, this,
            Guarded([this](bool) { PreviewButtonClick(); }));

    OpenDialog2 = MakeFileDialog(this, QStringLiteral("OpenDialog2"), QFileDialog::AcceptOpen);
    SaveDialog2 = MakeFileDialog(this, QStringLiteral("SaveDialog2"), QFileDialog::AcceptSave);
}

void CommandToolTab::ShowFirstPage()
{
    for (int i = 0; i < PageCount; ++i)
        Memo[i]->setVisible(i == 0);
}

int CommandToolTab::VisiblePage() const
{
    for (int i = 0; i < PageCount; ++i)
        if (!Memo[i]->isHidden())
            return i + 1;
    return 0;
}

QPlainTextEdit *CommandToolTab::VisibleMemo() const
{
    const int page = VisiblePage();
    return page > 0 ? Memo[page - 1] : nullptr;
}

PageText CommandToolTab::VisiblePageText() const
{
    PageText text;
    const int page = VisiblePage();
    if (page == 0)
        return text;
    text.lines = MemoLines(Memo[page - 1]);
    text.encoding = pageEncoding_[page - 1];
    return text;
}

void CommandToolTab::RadioGroup4Click()
{
    const int selected = pageButtons_->checkedId();
    if (selected < 0)
        return;
    for (int i = 0; i < PageCount; ++i)
        Memo[i]->setVisible(i == selected);
}

bool CommandToolTab::ExecuteOpenDialog()
{
    if (OpenDialog2->exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = OpenDialog2->selectedFiles();
    if (chosen.isEmpty())
        return false;
    openDialogFileName_ = chosen.first();
    return true;
}

void CommandToolTab::LoadIntoVisiblePage(const QString &path)
{
    const int page = VisiblePage();
    if (page == 0)
        return;
    // Read and decode before touching the page, so a refused file leaves it as it was.
    const PageText text = ReadCommandFile(path);
    Memo[page - 1]->setPlainText(text.lines.join(QLatin1Char('\n')));
    pageEncoding_[page - 1] = text.encoding;
}

void CommandToolTab::Button21Click()
{
    if (ExecuteOpenDialog())
        LoadIntoVisiblePage(openDialogFileName_);
    Edit8->setText(openDialogFileName_);
}

void CommandToolTab::Button25Click()
{
    if (ExecuteOpenDialog()) {
        rememberedPath_ = openDialogFileName_;
        LoadIntoVisiblePage(rememberedPath_);
    }
    Edit8->setText(rememberedPath_);
}

void CommandToolTab::Button22Click()
{
    if (SaveDialog2->exec() != QDialog::Accepted)
        return;
    const QStringList chosen = SaveDialog2->selectedFiles();
    if (chosen.isEmpty())
        return;
    const PageText text = VisiblePageText();
    WriteCommandFile(chosen.first(), EncodePageText(text.lines, text.encoding));
}

void CommandToolTab::Button20Click()
{
    link_.CommandBuffer = BuildSendTextCommand(VisiblePageText());
    link_.SendToPrinter();
}

void CommandToolTab::Button19Click()
{
    const QString path = Edit8->text();
    rememberedPath_ = path;
    link_.CommandBuffer.clear();
    if (!CommandFileExists(path)) {
        ShowMessage(QStringLiteral("File is no found!"));
        return;
    }
    link_.CommandBuffer = ReadWholeFile(path);
    link_.SendToPrinter();
}

void CommandToolTab::PreviewButtonClick()
{
    const int page = VisiblePage();
    if (page == 0)
        return;
    PreviewRequest request = previewContext_ ? previewContext_() : PreviewRequest();
    request.source = QStringLiteral("Command Tool, page %1").arg(page);
    request.commands = BuildSendTextCommand(VisiblePageText());
    QPointer<CommandToolTab> tab(this);
    request.selectLine = [tab, page](int line, int column) {
        if (tab)
            tab->SelectLine(page, line, column);
    };
    PreviewWindow::Show(this, request);
}

void CommandToolTab::SelectLine(int page, int line, int column)
{
    if (page < 1 || page > PageCount)
        return;
    if (QAbstractButton *item = pageButtons_->button(page - 1); item && !item->isChecked())
        item->setChecked(true);
    QPlainTextEdit *memo = Memo[page - 1];
    const QTextBlock block = memo->document()->findBlockByNumber(line - 1);
    if (!block.isValid())
        return;
    // Columns count bytes: find the character where that byte starts.
    const QString text = block.text();
    const bool utf8 = pageEncoding_[page - 1] == PageEncoding::Utf8;
    int at = 0;
    qsizetype bytes = 0;
    while (at < text.size() && bytes < column - 1) {
        bytes += utf8 ? text.mid(at, 1).toUtf8().size() : 1;
        ++at;
    }
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + at);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    memo->setTextCursor(cursor);
    memo->setFocus();
}
