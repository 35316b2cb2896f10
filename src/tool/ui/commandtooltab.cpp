#include "tool/ui/commandtooltab.h"

#include "ui/controls.h"

#include "files/ui/graphicdialog.h"
#include "link/printerlink.h"
#include "link/progress.h"
#include "ui/errorbox.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

namespace {

const QRect PagesRect(88, 20, 569, 366);
// Text put into a page at a time while loading: each piece takes the editor
// some tens of milliseconds.
constexpr qsizetype InsertChars = 128 * 1024;

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

// Characters as a message can show them: control characters (80 to 9F
// hex among the Latin-1 ones) by their code.
QString Listed(const QString &characters)
{
    QStringList shown;
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const QChar c = characters.at(i);
        if (c.isHighSurrogate() && i + 1 < characters.size()) {
            shown << characters.mid(i++, 2);
        } else if (c.isPrint()) {
            shown << QString(c);
        } else {
            shown << QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
        }
    }
    return shown.join(QLatin1Char(' '));
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

    InsertGraphicAction = new QAction(QStringLiteral("Insert Graphic..."), this);
    InsertGraphicAction->setObjectName(QStringLiteral("InsertGraphicAction"));
    InsertGraphicAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    InsertGraphicAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(InsertGraphicAction);
    connect(InsertGraphicAction, &QAction::triggered, this,
            Guarded([this](bool) { InsertGraphicClick(); }));
    for (QPlainTextEdit *memo : Memo) {
        memo->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(memo, &QWidget::customContextMenuRequested, this, [this, memo](const QPoint &at) {
            std::unique_ptr<QMenu> menu(memo->createStandardContextMenu(at));
            menu->addSeparator();
            menu->addAction(InsertGraphicAction);
            menu->exec(memo->viewport()->mapToGlobal(at));
        });
    }

    // Under the page selector, beside the pages it describes.
    EncodingLabel = new QLabel(this);
    EncodingLabel->setObjectName(QStringLiteral("EncodingLabel"));
    EncodingLabel->setGeometry(8, 392, 72, 32);
    EncodingLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    EncodingLabel->setToolTip(
        QStringLiteral("How the page on view is read from and written to files: UTF-8, or Latin-1 "
                       "(one character per byte) for a file that is not UTF-8"));
    ShowPageEncoding();
}

void CommandToolTab::CreateDialogs()
{
    if (OpenDialog2)
        return;
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
    ShowPageEncoding();
}

void CommandToolTab::ShowPageEncoding()
{
    const int page = VisiblePage();
    EncodingLabel->setText(
        page == 0 ? QString()
                  : QStringLiteral("Encoding:\n%1").arg(PageEncodingName(pageEncoding_[page - 1])));
}

std::optional<PageText> CommandToolTab::PageToWrite()
{
    PageText text = VisiblePageText();
    const int page = VisiblePage();
    const QString outside
        = text.encoding == PageEncoding::Latin1 ? CharactersOutsideLatin1(text.lines) : QString();
    if (outside.isEmpty())
        return text;

    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(),
                    QStringLiteral("Page %1 was read as Latin-1, and it now holds characters "
                                   "Latin-1 cannot hold: %2")
                        .arg(page)
                        .arg(Listed(outside)),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("EncodingQuestion"));
    const QString changed = CharactersChangedByUtf8(text.lines);
    box.setInformativeText(
        QStringLiteral("Keep Latin-1: nothing is written; replace those characters first.\n"
                       "Write as UTF-8: the page becomes UTF-8. %1\n"
                       "Cancel: nothing is written.")
            .arg(changed.isEmpty()
                     ? QStringLiteral("It holds no other characters above ASCII, so nothing else "
                                      "changes.")
                     : QStringLiteral("Its other accented and special characters (%1) change "
                                      "from one byte to two.")
                           .arg(Listed(changed))));
    QPushButton *keep = box.addButton(QStringLiteral("Keep Latin-1"), QMessageBox::RejectRole);
    QPushButton *utf8 = box.addButton(QStringLiteral("Write as UTF-8"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();

    if (box.clickedButton() == utf8) {
        pageEncoding_[page - 1] = PageEncoding::Utf8;
        ShowPageEncoding();
        text.encoding = PageEncoding::Utf8;
        return text;
    }
    if (box.clickedButton() == keep) {
        // Show the operator the first character to replace.
        QPlainTextEdit *memo = Memo[page - 1];
        const QTextCursor found
            = memo->document()->find(outside.left(outside.at(0).isHighSurrogate() ? 2 : 1));
        if (!found.isNull())
            memo->setTextCursor(found);
        memo->setFocus();
    }
    return std::nullopt;
}

bool CommandToolTab::ExecuteOpenDialog()
{
    CreateDialogs();
    if (OpenDialog2->exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = OpenDialog2->selectedFiles();
    if (chosen.isEmpty())
        return false;
    openDialogFileName_ = chosen.first();
    return true;
}

bool CommandToolTab::LoadIntoVisiblePage(const QString &path)
{
    const int page = VisiblePage();
    if (page == 0)
        return false;
    PageFileReader reader(path);
    const std::unique_ptr<ProgressObserver> watch
        = progressSource_ ? progressSource_() : nullptr;
    if (watch)
        watch->Stage(QStringLiteral("Reading %1").arg(path), reader.Size(), 0);
    while (reader.ReadSome()) {
        if (watch) {
            watch->Progress(reader.BytesRead());
            if (watch->CancelRequested())
                return false;
        }
    }
    if (!reader.TooMuch().isEmpty()) {
        OfferToSend(path, reader.TooMuch());
        return false;
    }
    PageEncoding encoding;
    const QString text = reader.TakeText(&encoding);

    // Into a document of its own, on view as it fills; the page's own waits
    // aside until the load is complete, so that Cancel gives it back.
    QPlainTextEdit *memo = Memo[page - 1];
    QPointer<QTextDocument> before = memo->document();
    before->setParent(this);
    auto *document = new QTextDocument(memo);
    document->setDocumentLayout(new QPlainTextDocumentLayout(document));
    document->setDefaultFont(before->defaultFont());
    document->setDefaultTextOption(before->defaultTextOption());
    document->setUndoRedoEnabled(false);
    memo->setDocument(document);
    if (watch)
        watch->Stage(QStringLiteral("Loading %1 into page %2").arg(path).arg(page), text.size(), 0);
    QTextCursor cursor(document);
    for (qsizetype at = 0; at < text.size(); at += InsertChars) {
        cursor.insertText(text.mid(at, InsertChars));
        if (watch) {
            watch->Progress(std::min(at + InsertChars, text.size()));
            if (watch->CancelRequested()) {
                memo->setDocument(before);
                before->setParent(memo);
                delete document;
                return false;
            }
        }
    }
    document->setUndoRedoEnabled(true);
    delete before;
    memo->moveCursor(QTextCursor::Start);
    pageEncoding_[page - 1] = encoding;
    ShowPageEncoding();
    return true;
}

void CommandToolTab::OfferToSend(const QString &path, const QString &why)
{
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(),
                    QStringLiteral("Text exceeds memo capacity."), QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("CapacityQuestion"));
    box.setInformativeText(why
                           + QStringLiteral("\nSend File sends it to the printer as it is, "
                                            "without loading it."));
    QPushButton *send = box.addButton(QStringLiteral("Send File"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    if (box.clickedButton() != send)
        return;
    Edit8->setText(path);
    Button19Click();
}

void CommandToolTab::Button21Click()
{
    if (ExecuteOpenDialog() && !LoadIntoVisiblePage(openDialogFileName_))
        return; // refused or cancelled: the file name stays as it was
    Edit8->setText(openDialogFileName_);
}

void CommandToolTab::Button25Click()
{
    if (ExecuteOpenDialog()) {
        // Remembered only once loaded: a refused file must not come back
        // into the field after a later cancel.
        if (!LoadIntoVisiblePage(openDialogFileName_))
            return;
        rememberedPath_ = openDialogFileName_;
    }
    Edit8->setText(rememberedPath_);
}

void CommandToolTab::Button22Click()
{
    CreateDialogs();
    if (SaveDialog2->exec() != QDialog::Accepted)
        return;
    const QStringList chosen = SaveDialog2->selectedFiles();
    if (chosen.isEmpty())
        return;
    if (const std::optional<PageText> page = PageToWrite())
        WriteCommandFile(chosen.first(), EncodePageText(page->lines, page->encoding));
}

void CommandToolTab::Button20Click()
{
    const std::optional<PageText> page = PageToWrite();
    if (!page)
        return;
    link_.CommandBuffer = BuildSendTextCommand(*page);
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
    // Nothing is written: a Latin-1 page that gained characters Latin-1
    // cannot hold is shown as those characters, in UTF-8.
    PageText text = VisiblePageText();
    if (!CharactersOutsideLatin1(text.lines).isEmpty())
        text.encoding = PageEncoding::Utf8;
    request.commands = BuildSendTextCommand(text);
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

void CommandToolTab::InsertGraphicClick()
{
    GraphicDialog dialog(GraphicDialog::Purpose::Insert, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (QPlainTextEdit *memo = VisibleMemo())
        memo->textCursor().insertText(QString::fromLatin1(dialog.Commands()));
}
