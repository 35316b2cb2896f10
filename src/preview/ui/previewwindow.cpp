#include "preview/ui/previewwindow.h"

#include "core/exceptions.h"
#include "preview/ui/labelview.h"
#include "ui/errorbox.h"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageWriter>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {
const QString Png1Bit = QStringLiteral("PNG, 1 bit per dot (*.png)");
const QString Png8Bit = QStringLiteral("PNG, 8 bit grey (*.png)");

QLabel *Heading(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}
} // namespace

PreviewWindow::PreviewWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(tr("Label Preview"));
    resize(1000, 720);

    auto *layout = new QVBoxLayout(this);
    auto *bar = new QHBoxLayout;
    layout->addLayout(bar);
    fitButton = new QPushButton(tr("Fit"), this);
    fitButton->setObjectName(QStringLiteral("fitButton"));
    fitButton->setCheckable(true);
    fitButton->setChecked(true);
    fitButton->setToolTip(tr("The whole label in the window"));
    actualSizeButton = new QPushButton(tr("1:1"), this);
    actualSizeButton->setObjectName(QStringLiteral("actualSizeButton"));
    actualSizeButton->setToolTip(tr("One screen pixel per printer dot"));
    zoomLabel = new QLabel(this);
    zoomLabel->setObjectName(QStringLiteral("zoomLabel"));
    zoomLabel->setMinimumWidth(56);
    bar->addWidget(fitButton);
    bar->addWidget(actualSizeButton);
    bar->addWidget(zoomLabel);
    bar->addSpacing(12);
    bar->addWidget(new QLabel(tr("Label"), this));
    labelStepper = new QSpinBox(this);
    labelStepper->setObjectName(QStringLiteral("labelStepper"));
    labelStepper->setRange(1, 1);
    bar->addWidget(labelStepper);
    labelCount = new QLabel(this);
    labelCount->setObjectName(QStringLiteral("labelCount"));
    bar->addWidget(labelCount);
    bar->addSpacing(12);
    sizeLabel = new QLabel(this);
    sizeLabel->setObjectName(QStringLiteral("sizeLabel"));
    bar->addWidget(sizeLabel);
    bar->addStretch(1);
    saveButton = new QPushButton(tr("Save PNG…"), this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    copyButton = new QPushButton(tr("Copy"), this);
    copyButton->setObjectName(QStringLiteral("copyButton"));
    copyButton->setToolTip(tr("Copy the label to the clipboard"));
    bar->addWidget(saveButton);
    bar->addWidget(copyButton);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(splitter, 1);
    view = new LabelView(splitter);
    auto *side = new QWidget(splitter);
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(Heading(tr("Printer settings"), side));
    settingsList = new QTreeWidget(side);
    settingsList->setObjectName(QStringLiteral("settingsList"));
    settingsList->setHeaderLabels({ tr("Command"), tr("Setting"), tr("Value") });
    settingsList->setRootIsDecorated(false);
    settingsList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    sideLayout->addWidget(settingsList, 2);
    sideLayout->addWidget(Heading(tr("Warnings"), side));
    warningsList = new QListWidget(side);
    warningsList->setObjectName(QStringLiteral("warningsList"));
    warningsList->setWordWrap(true);
    sideLayout->addWidget(warningsList, 3);
    noteLabel = new QLabel(tr("Positions, sizes and bar codes are exact in printer dots; the "
                              "shapes of the letters are close to the printer's, not the same."),
                           side);
    noteLabel->setObjectName(QStringLiteral("noteLabel"));
    noteLabel->setWordWrap(true);
    QPalette muted = noteLabel->palette();
    muted.setColor(QPalette::WindowText, QColor(90, 90, 90));
    noteLabel->setPalette(muted);
    sideLayout->addWidget(noteLabel);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({ 640, 340 });

    connect(fitButton, &QPushButton::clicked, this, Guarded([this](bool) { view->FitToWindow(); }));
    connect(actualSizeButton, &QPushButton::clicked, this,
            Guarded([this](bool) { view->ActualSize(); }));
    connect(view, &LabelView::ZoomChanged, this, [this](double zoom) {
        zoomLabel->setText(QStringLiteral("%1%").arg(std::lround(zoom * 100)));
        fitButton->setChecked(view->Fitted());
    });
    connect(labelStepper, &QSpinBox::valueChanged, this,
            Guarded([this](int value) { ShowLabel(value - 1); }));
    connect(saveButton, &QPushButton::clicked, this, Guarded([this](bool) { SavePngClick(); }));
    connect(copyButton, &QPushButton::clicked, this, Guarded([this](bool) { CopyClick(); }));
    connect(warningsList, &QListWidget::currentRowChanged, this,
            Guarded([this](int row) { WarningClicked(row); }));
    connect(warningsList, &QListWidget::itemClicked, this,
            Guarded([this](QListWidgetItem *item) { WarningClicked(warningsList->row(item)); }));
}

PreviewWindow *PreviewWindow::Show(QWidget *owner, const PreviewRequest &request)
{
    QWidget *top = owner ? owner->window() : nullptr;
    PreviewWindow *window
        = top ? top->findChild<PreviewWindow *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!window)
        window = new PreviewWindow(top);
    window->SetRequest(request);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void PreviewWindow::SetRequest(const PreviewRequest &request)
{
    request_ = request;
    RenderOptions options;
    options.dotsPerMm = request.dotsPerMm;
    // The window waits for the picture: a file that takes longer is shown
    // as far as it got, with a warning that says so.
    options.timeLimitMs = 1000;
    for (auto it = request.fontFiles.cbegin(); it != request.fontFiles.cend(); ++it) {
        QFile file(it.value());
        // A font that is gone or too large is left out; the renderer warns where it is used.
        if (file.size() <= 16 * 1024 * 1024 && file.open(QIODevice::ReadOnly))
            options.fonts.insert(it.key(), file.readAll());
    }
    if (!request.labelEdges.isEmpty())
        options.defaultLabelSize = request.labelEdges;
    result_ = RenderLabels(request.commands, options);

    setWindowTitle(request.source.isEmpty() ? tr("Label Preview")
                                            : tr("Label Preview - %1").arg(request.source));

    settingsList->clear();
    for (const RenderSetting &setting : result_.settings) {
        auto *item
            = new QTreeWidgetItem(settingsList, { setting.command, setting.name, setting.value });
        item->setToolTip(0, tr("line %1").arg(setting.line));
    }

    warningsList->blockSignals(true);
    warningsList->clear();
    for (const RenderWarning &warning : result_.warnings)
        warningsList->addItem(
            tr("line %1, column %2: %3").arg(warning.line).arg(warning.column).arg(warning.text));
    if (result_.warnings.isEmpty())
        warningsList->addItem(tr("No warnings: every command was understood."));
    warningsList->setCurrentRow(-1);
    warningsList->blockSignals(false);

    const int count = int(result_.labels.size());
    labelStepper->blockSignals(true);
    labelStepper->setRange(count > 0 ? 1 : 0, std::max(count, 1));
    labelStepper->setValue(count > 0 ? 1 : 0);
    labelStepper->setEnabled(count > 1);
    labelStepper->blockSignals(false);
    if (count == 0)
        labelCount->setText(tr("no label is printed"));
    else if (result_.labelsRequested > count)
        labelCount->setText(tr("of %1 (%2 printed)").arg(count).arg(result_.labelsRequested));
    else
        labelCount->setText(tr("of %1").arg(count));
    saveButton->setEnabled(count > 0);
    copyButton->setEnabled(count > 0);
    // A new label is seen whole first: the zoom and scroll position of the
    // last one would show some corner of it, or nothing.
    view->FitToWindow();
    ShowLabel(0);
}

int PreviewWindow::CurrentLabel() const
{
    return result_.labels.isEmpty() ? -1 : labelStepper->value() - 1;
}

QImage PreviewWindow::CurrentImage() const
{
    return result_.labels.value(CurrentLabel());
}

void PreviewWindow::ShowLabel(int index)
{
    const QImage image = result_.labels.value(index);
    const int dpi = request_.dotsPerMm == 12 ? 300 : int(std::lround(request_.dotsPerMm * 25.4));
    sizeLabel->setText(
        image.isNull()
            ? tr("%1 dpi").arg(dpi)
            : tr("%1 dpi, %2 × %3 dots").arg(dpi).arg(image.width()).arg(image.height()));
    // The page the printer would print, and what decided it: ^PW and ^LL, or
    // the media it holds (that of Printer Configuration, when known).
    view->SetLabel(image, image.size(), request_.dotsPerMm, request_.unit);
    if (image.isNull()) {
        view->SetPageLegend(QString(), QString());
        return;
    }
    const PageSource page = result_.pages.value(index);
    const QString media = request_.labelEdges.isEmpty() ? tr("a fresh printer's media")
                                                        : tr("the media of Printer Configuration");
    view->SetPageLegend(page.widthFromMedia ? tr("width %1: %2").arg(image.width()).arg(media)
                                            : tr("print width %1 (^PW)").arg(image.width()),
                        page.lengthFromMedia ? tr("length %1: %2").arg(image.height()).arg(media)
                                             : tr("label length %1 (^LL)").arg(image.height()));
}

void PreviewWindow::WarningClicked(int row)
{
    if (row < 0 || row >= result_.warnings.size() || !request_.selectLine)
        return;
    const RenderWarning &warning = result_.warnings.at(row);
    request_.selectLine(warning.line, warning.column);
}

void PreviewWindow::SavePng(const QString &path, bool eightBit) const
{
    QImage image = CurrentImage();
    if (eightBit)
        image = image.convertToFormat(QImage::Format_Grayscale8);
    const int dotsPerMetre = request_.dotsPerMm * 1000;
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    QImageWriter writer(path, "png");
    if (!writer.write(image))
        throw EFCreateError(path);
}

void PreviewWindow::SavePngClick()
{
    QFileDialog dialog(this, tr("Save PNG"));
    dialog.setObjectName(QStringLiteral("SavePngDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({ Png1Bit, Png8Bit });
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(QStringLiteral("label-%1.png").arg(CurrentLabel() + 1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    SavePng(dialog.selectedFiles().constFirst(), dialog.selectedNameFilter() == Png8Bit);
}

void PreviewWindow::CopyClick()
{
    const QImage image = CurrentImage();
    if (!image.isNull())
        QGuiApplication::clipboard()->setImage(image.convertToFormat(QImage::Format_Grayscale8));
}
