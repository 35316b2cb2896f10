#pragma once

// Looking at rendered labels in tests: black dots, their bounds, counts.

#include <QImage>
#include <QRect>

inline bool IsBlack(const QImage &label, int x, int y)
{
    return label.valid(x, y) && qGray(label.pixel(x, y)) < 128;
}

// The smallest rectangle holding every black dot inside area (the whole
// label when area is empty); empty when there is none.
inline QRect InkBounds(const QImage &label, QRect area = {})
{
    const QImage grey = label.convertToFormat(QImage::Format_Grayscale8);
    if (area.isEmpty())
        area = grey.rect();
    area &= grey.rect();
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int x = area.left(); x <= area.right(); ++x) {
            if (line[x] < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

inline qint64 BlackCount(const QImage &label, QRect area = {})
{
    const QImage grey = label.convertToFormat(QImage::Format_Grayscale8);
    if (area.isEmpty())
        area = grey.rect();
    area &= grey.rect();
    qint64 n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int x = area.left(); x <= area.right(); ++x)
            n += line[x] < 128;
    }
    return n;
}

// Same dots, whatever the storage format.
inline bool SameDots(const QImage &a, const QImage &b)
{
    return a.size() == b.size()
        && a.convertToFormat(QImage::Format_Grayscale8)
        == b.convertToFormat(QImage::Format_Grayscale8);
}
