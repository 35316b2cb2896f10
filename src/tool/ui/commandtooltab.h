#pragma once

#include "preview/ui/previewwindow.h"
#include "tool/commandfile.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class PrinterLink;
class ProgressObserver;
class QButtonGroup;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QAction;
class QPlainTextEdit;
class QPushButton;

// The "Command Tool" tab: ten editor pages of raw command text, loaded from
// and saved to files, and sending of a page's text or of any file unchanged.
class CommandToolTab : public QWidget
{
    Q_OBJECT
public:
    static constexpr int PageCount = 10;

    CommandToolTab(PrinterLink &link, QWidget *parent = nullptr);

    // Start-up: the first page on view, the other nine hidden.
    void ShowFirstPage();

    // Page number 1..10 on view, 0 when none is.
    int VisiblePage() const;

    void RadioGroup4Click();
    void Button25Click(); // Select File
    void Button19Click(); // Send File
    void Button20Click(); // Send Text
    void Button21Click(); // Load File
    void Button22Click(); // Save File
    void PreviewButtonClick(); // the visible page's text, as "Send Text" would send it
    void InsertGraphicClick(); // a picture as a ^GF field at the page's cursor

    // Resolution, unit, label size and fonts for previews (from the other tabs).
    using PreviewContext = std::function<PreviewRequest()>;
    // What watches a long load (the window's progress dialog); none: loads
    // run unwatched.
    using ProgressSource = std::function<std::unique_ptr<ProgressObserver>()>;
    void SetProgressSource(ProgressSource source) { progressSource_ = std::move(source); }
    void SetPreviewContext(PreviewContext context) { previewContext_ = std::move(context); }
    // Shows page (1..10) and selects its line (1-based), the cursor at the
    // byte column as the page encodes it.
    void SelectLine(int page, int line, int column);

    QGroupBox *RadioGroup4 = nullptr;
    std::array<QPlainTextEdit *, PageCount> Memo {};
    QLabel *Label61 = nullptr;
    QLineEdit *Edit8 = nullptr;
    QPushButton *Button25 = nullptr;
    QPushButton *Button19 = nullptr;
    QPushButton *Button20 = nullptr;
    QPushButton *Button21 = nullptr;
    QPushButton *Button22 = nullptr;
    QPushButton *PreviewButton = nullptr;
    // In every page's context menu and on Ctrl+G: a picture as a ^GF field
    // at the cursor.
    QAction *InsertGraphicAction = nullptr;
    // The encoding of the page on view, beside the page selector.
    QLabel *EncodingLabel = nullptr;
    // Made once the window is up (or when first needed): building a file
    // dialog costs more than the rest of the tab.
    QFileDialog *OpenDialog2 = nullptr;
    QFileDialog *SaveDialog2 = nullptr;
    void CreateDialogs();

private:
    QPlainTextEdit *VisibleMemo() const;
    PageText VisiblePageText() const;
    // Shows the open dialog; on confirmation returns true and remembers the
    // chosen path as the dialog's current file name.
    bool ExecuteOpenDialog();
    // True once loaded; false when cancelled or refused (the page as it was).
    bool LoadIntoVisiblePage(const QString &path);
    // A file more than a page holds: says why and offers to send it as it is.
    void OfferToSend(const QString &path, const QString &why);
    void ShowPageEncoding();
    // The visible page as it is to be saved or sent. A Latin-1 page holding
    // characters Latin-1 cannot hold is written only at the operator's word,
    // as UTF-8; nothing when the operator keeps Latin-1 or cancels.
    std::optional<PageText> PageToWrite();

    PrinterLink &link_;
    QButtonGroup *pageButtons_ = nullptr;
    std::array<PageEncoding, PageCount> pageEncoding_ {};
    QString openDialogFileName_; // last file confirmed in OpenDialog2
    QString rememberedPath_; // set by "Select File" and "Send File"
    PreviewContext previewContext_;
    ProgressSource progressSource_;
};
