#pragma once

// Reading rendered bar codes back with independent decoders (zbar, libdmtx),
// so a test that a symbol scans cannot be fooled by our own encoder.

#include <QByteArray>
#include <QImage>
#include <QStringList>

#include <dmtx.h>
#include <zbar.h>

// Packed grey rows, as the decoders want them.
inline QByteArray Pixels(const QImage &grey)
{
    QByteArray pixels;
    pixels.reserve(qsizetype(grey.width()) * grey.height());
    for (int y = 0; y < grey.height(); ++y)
        pixels.append(reinterpret_cast<const char *>(grey.constScanLine(y)), grey.width());
    return pixels;
}

// "TYPE:data" for every symbol zbar finds.
inline QStringList Zbar(const QImage &grey)
{
    QByteArray pixels = Pixels(grey);
    using namespace zbar; // the C interface lives in this namespace under C++
    zbar_image_scanner_t *scanner = zbar_image_scanner_create();
    zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 1);
    zbar_image_scanner_set_config(scanner, ZBAR_UPCA, ZBAR_CFG_ENABLE, 1);
    zbar_image_t *image = zbar_image_create();
    zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image, unsigned(grey.width()), unsigned(grey.height()));
    zbar_image_set_data(image, pixels.constData(), unsigned(pixels.size()), nullptr);
    zbar_scan_image(scanner, image);
    QStringList found;
    for (const zbar_symbol_t *s = zbar_image_first_symbol(image); s; s = zbar_symbol_next(s)) {
        QString name = QString::fromLatin1(zbar_get_symbol_name(zbar_symbol_get_type(s)));
        QByteArray data = zbar_symbol_get_data(s);
        // One QR symbol of a structured append comes as the set it belongs
        // to, its data spread over members of no type.
        if (const zbar_symbol_set_t *parts = zbar_symbol_get_components(s)) {
            name = QStringLiteral("QR-Code, structured append");
            data.clear();
            for (const zbar_symbol_t *p = zbar_symbol_set_first_symbol(parts); p;
                 p = zbar_symbol_next(p))
                data += zbar_symbol_get_data(p);
        }
        found << name + QLatin1Char(':') + QString::fromUtf8(data);
    }
    zbar_image_destroy(image);
    zbar_image_scanner_destroy(scanner);
    return found;
}

inline QByteArray Dmtx(const QImage &grey)
{
    QByteArray pixels = Pixels(grey);
    DmtxImage *image = dmtxImageCreate(reinterpret_cast<unsigned char *>(pixels.data()),
                                       grey.width(), grey.height(), DmtxPack8bppK);
    DmtxDecode *decode = dmtxDecodeCreate(image, 1);
    dmtxDecodeSetProp(decode, DmtxPropFnc1, 0x1d); // FNC1 as readers pass it on
    DmtxTime timeout = dmtxTimeAdd(dmtxTimeNow(), 10000);
    QByteArray text;
    if (DmtxRegion *region = dmtxRegionFindNext(decode, &timeout)) {
        if (DmtxMessage *message = dmtxDecodeMatrixRegion(decode, region, DmtxUndefined)) {
            text = QByteArray(reinterpret_cast<const char *>(message->output),
                              qsizetype(message->outputIdx));
            dmtxMessageDestroy(&message);
        }
        dmtxRegionDestroy(&region);
    }
    dmtxDecodeDestroy(&decode);
    dmtxImageDestroy(&image);
    return text;
}
