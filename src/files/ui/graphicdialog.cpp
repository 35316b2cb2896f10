#include "files/ui/graphicdialog.h"

#include "core/exceptions.h"
#include "ui/errorbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

template<class W> W *Named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel *View(const char *name)
{
    auto *view = Named(new QLabel, name);
    view->setMinimumSize(300, 220);
    view->setAlignment(Qt::AlignCenter);
    view->setFrameShape(QFrame::StyledPanel);
    view->setStyleSheet(QStringLiteral("background: white"));
    return view;
}

QGroupBox *Titled(const QString &title, QWidget *inner)
{
    auto *box = new QGroupBox(title);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(inner);
    return box;
}

} // namespace

GraphicDialog::GraphicDialog(Purpose purpose, QWidget *parent)
    : QDialog(parent)
    , purpose_(purpose)
{
    setObjectName(QStringLiteral("GraphicDialog"));
    setWindowTitle(purpose == Purpose::Download ? QStringLiteral("Download Graphic")
                                                : QStringLiteral("Insert Graphic"));
    PictureEdit = Named(new QLineEdit, "PictureEdit");
    PictureEdit->setReadOnly(true);
    ChooseButton = Named(new QPushButton(QStringLiteral("Choose...")), "ChooseButton");
    OriginalView = View("OriginalView");
    ResultView = View("ResultView");

    WidthEdit = Named(new QLineEdit, "WidthEdit");
    WidthEdit->setPlaceholderText(QStringLiteral("dots, 40mm, 1.5in"));
    HeightEdit = Named(new QLineEdit, "HeightEdit");
    HeightEdit->setPlaceholderText(QStringLiteral("from the width"));
    DpiBox = Named(new QComboBox, "DpiBox");
    DpiBox->addItems({ QStringLiteral("203 dpi"), QStringLiteral("300 dpi") });
    ThresholdSpin = Named(new QSpinBox, "ThresholdSpin");
    ThresholdSpin->setRange(0, 256);
    ThresholdSpin->setValue(128);
    AutoThresholdCheck = Named(new QCheckBox(QStringLiteral("Automatic")), "AutoThresholdCheck");
    DitherBox = Named(new QComboBox, "DitherBox");
    DitherBox->addItems({ QStringLiteral("None (threshold)"), QStringLiteral("Floyd-Steinberg"),
                          QStringLiteral("Atkinson") });
    InvertCheck = Named(new QCheckBox(QStringLiteral("Invert")), "InvertCheck");
    TrimCheck = Named(new QCheckBox(QStringLiteral("Trim white borders")), "TrimCheck");
    RotateBox = Named(new QComboBox, "RotateBox");
    RotateBox->addItems({ QStringLiteral("0"), QStringLiteral("90"), QStringLiteral("180"),
                          QStringLiteral("270") });
    EncodingBox = Named(new QComboBox, "EncodingBox");
    EncodingBox->addItem(QStringLiteral("Smallest"));
    for (GraphicEncoding e : AllEncodings())
        EncodingBox->addItem(EncodingName(e).toUpper());
    DeviceBox = Named(new QComboBox, "DeviceBox");
    DeviceBox->addItems(
        { QStringLiteral("R:"), QStringLiteral("E:"), QStringLiteral("B:"), QStringLiteral("A:") });
    DeviceBox->setCurrentIndex(1);
    NameEdit = Named(new QLineEdit(QStringLiteral("LOGO")), "NameEdit");
    SizesLabel = Named(new QLabel, "SizesLabel");
    SizesLabel->setWordWrap(true);
    SendButton = Named(new QPushButton(purpose == Purpose::Download ? QStringLiteral("Download")
                                                                    : QStringLiteral("Insert")),
                       "SendButton");
    SendButton->setDefault(true);
    CloseButton = Named(new QPushButton(QStringLiteral("Close")), "CloseButton");

    auto *pictureRow = new QHBoxLayout;
    pictureRow->addWidget(new QLabel(QStringLiteral("Picture:")));
    pictureRow->addWidget(PictureEdit, 1);
    pictureRow->addWidget(ChooseButton);
    auto *views = new QHBoxLayout;
    views->addWidget(Titled(QStringLiteral("Original"), OriginalView), 1);
    views->addWidget(Titled(QStringLiteral("Printed, at print size"), ResultView), 1);

    auto *size = new QFormLayout;
    size->addRow(QStringLiteral("Width:"), WidthEdit);
    size->addRow(QStringLiteral("Height:"), HeightEdit);
    size->addRow(QStringLiteral("Resolution:"), DpiBox);
    size->addRow(QStringLiteral("Turn (clockwise):"), RotateBox);
    auto *tone = new QFormLayout;
    auto *threshold = new QHBoxLayout;
    threshold->addWidget(ThresholdSpin);
    threshold->addWidget(AutoThresholdCheck);
    tone->addRow(QStringLiteral("Threshold:"), threshold);
    tone->addRow(QStringLiteral("Dithering:"), DitherBox);
    tone->addRow(InvertCheck);
    tone->addRow(TrimCheck);
    auto *store = new QFormLayout;
    store->addRow(QStringLiteral("Encoding:"), EncodingBox);
    if (purpose == Purpose::Download) {
        auto *where = new QHBoxLayout;
        where->addWidget(DeviceBox);
        where->addWidget(NameEdit, 1);
        store->addRow(QStringLiteral("Store as:"), where);
    } else {
        DeviceBox->hide();
        NameEdit->hide();
    }
    auto *controls = new QHBoxLayout;
    controls->addLayout(size);
    controls->addLayout(tone);
    controls->addLayout(store);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(SendButton);
    buttons->addWidget(CloseButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(pictureRow);
    layout->addLayout(views, 1);
    layout->addLayout(controls);
    layout->addWidget(SizesLabel);
    layout->addLayout(buttons);

    connect(ChooseButton, &QPushButton::clicked, this, Guarded([this](bool) { ChoosePicture(); }));
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(SendButton, &QPushButton::clicked, this, Guarded([this](bool) {
                Commands(); // a bad name is named before the dialog closes
                accept();
            }));
    auto again = Guarded([this] { Convert(); });
    for (QLineEdit *edit : { WidthEdit, HeightEdit })
        connect(edit, &QLineEdit::editingFinished, this, again);
    for (QComboBox *box : { DpiBox, DitherBox, RotateBox, EncodingBox })
        connect(box, &QComboBox::currentIndexChanged, this, again);
    for (QCheckBox *check : { AutoThresholdCheck, InvertCheck, TrimCheck })
        connect(check, &QCheckBox::toggled, this, again);
    connect(ThresholdSpin, &QSpinBox::valueChanged, this, again);
    connect(AutoThresholdCheck, &QCheckBox::toggled, ThresholdSpin, &QWidget::setDisabled);
    SendButton->setEnabled(false);
    resize(760, 560);
}

void GraphicDialog::ChoosePicture()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Choose a picture"), path_,
        QStringLiteral("Pictures (*.png *.jpg *.jpeg *.bmp *.gif *.svg);;Any File (*)"));
    if (!path.isEmpty())
        OpenPicture(path);
}

void GraphicDialog::OpenPicture(const QString &path)
{
    path_ = path;
    PictureEdit->setText(path);
    picture_ = LoadPicture(path, Options());
    Convert();
}

ConvertOptions GraphicDialog::Options() const
{
    ConvertOptions o;
    o.dpi = DpiBox->currentIndex() == 1 ? 300 : 203;
    for (auto [edit, length] : { std::pair { WidthEdit, &o.width }, { HeightEdit, &o.height } }) {
        if (!edit->text().trimmed().isEmpty() && !ParseGraphicLength(edit->text(), *length))
            throw EConvertError(
                QStringLiteral("'%1' is not a length (dots, or with mm or in: 320, 40mm, 1.5in)")
                    .arg(edit->text()));
    }
    o.threshold = AutoThresholdCheck->isChecked() ? -1 : ThresholdSpin->value();
    o.dither = DitherBox->currentIndex() == 1 ? Dither::FloydSteinberg
        : DitherBox->currentIndex() == 2      ? Dither::Atkinson
                                              : Dither::None;
    o.invert = InvertCheck->isChecked();
    o.trim = TrimCheck->isChecked();
    o.rotate = RotateBox->currentText().toInt();
    return o;
}

GraphicEncoding GraphicDialog::Encoding() const
{
    const int chosen = EncodingBox->currentIndex();
    return chosen == 0 ? SmallestEncoding(EncodingSizes(result_)) : AllEncodings().at(chosen - 1);
}

QByteArray GraphicDialog::Commands() const
{
    if (result_.IsNull())
        throw EConvertError(QStringLiteral("Choose a picture first"));
    if (purpose_ == Purpose::Insert)
        return GraphicField(result_, Encoding()) + "^FS";
    QString name;
    QString why;
    if (!StoredGraphicName(DeviceBox->currentText() + NameEdit->text(), name, why))
        throw EConvertError(why);
    return GraphicDownload(result_, Encoding(), name);
}

void GraphicDialog::Convert()
{
    if (path_.isEmpty())
        return;
    const ConvertOptions options = Options();
    // An SVG is drawn again at the size asked for; other pictures are read once.
    if (path_.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        picture_ = LoadPicture(path_, options);
    result_ = ConvertPicture(picture_, options);
    SendButton->setEnabled(!result_.IsNull());

    // Both at the size the label shows them: dots at the printer's
    // resolution, in this screen's pixels.
    const double pixelsPerDot = logicalDpiX() / double(options.dpi);
    const QSize shown(std::max(1, int(result_.width * pixelsPerDot)),
                      std::max(1, int(result_.height * pixelsPerDot)));
    QImage original = picture_.transformed(QTransform().rotate(options.rotate));
    OriginalView->setPixmap(
        QPixmap::fromImage(original.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    QImage dots = result_.ToImage().copy(0, 0, result_.width, result_.height);
    ResultView->setPixmap(
        QPixmap::fromImage(dots.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));

    QStringList sizes;
    for (const EncodingSize &s : EncodingSizes(result_))
        sizes << QStringLiteral("%1 %2").arg(EncodingName(s.encoding).toUpper()).arg(s.bytes);
    SizesLabel->setText(QStringLiteral("%1 x %2 dots (%3 x %4 mm). Bytes: %5; sent as %6.")
                            .arg(result_.width)
                            .arg(result_.height)
                            .arg(result_.width * 25.4 / options.dpi, 0, 'f', 1)
                            .arg(result_.height * 25.4 / options.dpi, 0, 'f', 1)
                            .arg(sizes.join(QStringLiteral(", ")))
                            .arg(EncodingName(Encoding()).toUpper()));
}
