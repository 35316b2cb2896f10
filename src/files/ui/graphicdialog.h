#pragma once

#include "graphics/graphicencode.h"

#include <QDialog>
#include <QImage>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Download Graphic...": a picture chosen, shown beside its 1-bit result at
// print size while the threshold, dithering and size are adjusted, and
// either stored in printer memory under a name (Download) or given back as
// a ^GF field and its ^FS for a command page (Insert).
class GraphicDialog : public QDialog
{
    Q_OBJECT
public:
    enum class Purpose { Download, Insert };
    explicit GraphicDialog(Purpose purpose, QWidget *parent = nullptr);

    // Reads the picture; throws the conversion error for one it cannot read.
    void OpenPicture(const QString &path);
    const MonoBitmap &Result() const { return result_; }
    // What the dialog's controls ask for, as a plain struct.
    ConvertOptions Options() const;
    GraphicEncoding Encoding() const;
    // The download command for the name and device given (Download), or the
    // ^GF field (Insert); throws the conversion error for a bad name.
    QByteArray Commands() const;

    QLineEdit *PictureEdit;
    QPushButton *ChooseButton;
    QLabel *OriginalView;
    QLabel *ResultView;
    QLineEdit *WidthEdit;
    QLineEdit *HeightEdit;
    QComboBox *DpiBox;
    QSpinBox *ThresholdSpin;
    QCheckBox *AutoThresholdCheck;
    QComboBox *DitherBox;
    QCheckBox *InvertCheck;
    QComboBox *RotateBox;
    QCheckBox *TrimCheck;
    QComboBox *EncodingBox;
    QComboBox *DeviceBox;
    QLineEdit *NameEdit;
    QLabel *SizesLabel;
    QPushButton *SendButton;
    QPushButton *CloseButton;

private:
    void ChoosePicture();
    void Convert();

    Purpose purpose_;
    QImage picture_;
    QString path_;
    MonoBitmap result_;
};
