#pragma once

// Draws one field onto a label canvas (Format_Grayscale8, 255 white, 0 black)
// at its place: orientation, ^FO/^FT origin and justification, reverse.

#include "preview/labelfield.h"

#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class FontStore;
struct TextFace;
class QImage;
class QPainter;

// A field's drawing in its own upright frame: size, the point ^FT places
// (baseline start, or bottom left), and how to paint it.
struct FieldMark
{
    QSizeF size;
    QPointF typesetAnchor;
    std::function<void(QPainter &)> paint;
};

class FieldPainter
{
public:
    FieldPainter(FontStore &fonts, int dotsPerMm);
    ~FieldPainter();

    // Draws the field with the given text (its data, or this label's serial
    // number). Problems are appended to warnings as texts. With `outside`,
    // ink that falls beyond the canvas is described there: wholly or partly,
    // which edges and by how many dots (empty when it all lies on the label).
    void Draw(QImage &canvas, const Field &field, const QString &text, QList<QString> &warnings,
              QString *outside = nullptr);

    // Where the last field drawn ended (the end of its baseline), for a ^FT
    // without coordinates; none before the first.
    std::optional<QPointF> pen;

    // The field's drawing before placement; empty paint when there is nothing to draw.
    FieldMark Mark(const Field &field, const QString &text, QList<QString> &warnings);

private:
    TextFace Face(const Field &field, QList<QString> &warnings);
    FieldMark TextMark(const Field &field, const QString &text, QList<QString> &warnings);
    FieldMark BlockMark(const Field &field, const QString &text, QList<QString> &warnings);
    // ^GS: registered, copyright, trade mark and the two approval marks.
    FieldMark SymbolMark(const Field &field, const QString &text, QList<QString> &warnings);

    QPainter &PainterOn(QImage &canvas); // one painter for a run of fields

    FontStore &fonts_;
    int dotsPerMm_;
    QImage *canvas_ = nullptr;
    std::unique_ptr<QPainter> painter_;
};
