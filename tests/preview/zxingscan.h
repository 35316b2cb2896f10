#pragma once

// Reading the two-dimensional symbols zbar and libdmtx do not know (Aztec,
// MaxiCode, PDF417) with a third independent decoder.

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include "preview/labelimage.h"

#include <QImage>
#include <QStringList>

// "Format:text" for every such symbol found; the text as UTF-8 with its
// control characters. Its finder misses Aztec symbols on a large empty
// label, so it is shown the inked part with a quiet zone.
inline QStringList Zxing(const QImage &label)
{
    const QRect ink = InkBounds(label);
    if (ink.isEmpty())
        return {};
    const QImage grey
        = label.copy(ink.adjusted(-20, -20, 20, 20)).convertToFormat(QImage::Format_Grayscale8);
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(),
                                ZXing::ImageFormat::Lum, int(grey.bytesPerLine()));
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::Aztec | ZXing::BarcodeFormat::MaxiCode
                     | ZXing::BarcodeFormat::PDF417);
    hints.setTryHarder(true);
    QStringList found;
    for (const ZXing::Result &result : ZXing::ReadBarcodes(view, hints))
        found << QString::fromLatin1(ZXing::ToString(result.format())) + QLatin1Char(':')
                + QString::fromStdString(result.text());
    return found;
}
