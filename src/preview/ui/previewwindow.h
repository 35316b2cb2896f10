#pragma once

#include "preview/labelrenderer.h"
#include "preview/ui/labelview.h"

#include <QByteArray>
#include <QHash>
#include <QWidget>

#include <functional>

class LabelView;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTreeWidget;

// What to preview and how to show it.
struct PreviewRequest
{
    QString source; // shown in the title: "Command Tool, page 2", "Pint Label"
    QByteArray commands;
    int dotsPerMm = 8;
    RulerUnit unit = RulerUnit::Mm;
    // The media Printer Configuration says the printer holds, in dots: the
    // page where ^PW / ^LL do not decide it; empty when unknown.
    QSize labelEdges;
    // Fonts the program put into printer memory: stored name -> font file here.
    QHash<QString, QString> fontFiles;
    // Called with a warning's line and column when the operator clicks it.
    std::function<void(int line, int column)> selectLine;
};

// "Label Preview": the labels a command text prints, before a label is
// wasted. Non-modal and one per main window (Show() reuses it).
class PreviewWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewWindow(QWidget *parent = nullptr);

    // The owner's preview window, created on first use, showing the request.
    static PreviewWindow *Show(QWidget *owner, const PreviewRequest &request);

    void SetRequest(const PreviewRequest &request);
    const RenderResult &Result() const { return result_; }
    int CurrentLabel() const; // 0-based
    QImage CurrentImage() const;

    // Saves the current label: one bit per dot, or eight-bit grey; the
    // printer's resolution goes into the file. Throws EFCreateError.
    void SavePng(const QString &path, bool eightBit) const;
    void SavePngClick();
    void CopyClick();

    QPushButton *fitButton = nullptr;
    QPushButton *actualSizeButton = nullptr;
    QLabel *zoomLabel = nullptr;
    QSpinBox *labelStepper = nullptr;
    QLabel *labelCount = nullptr;
    QLabel *sizeLabel = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *copyButton = nullptr;
    LabelView *view = nullptr;
    QTreeWidget *settingsList = nullptr;
    QListWidget *warningsList = nullptr;
    QLabel *noteLabel = nullptr;

private:
    void ShowLabel(int index);
    void WarningClicked(int row);

    PreviewRequest request_;
    RenderResult result_;
};
