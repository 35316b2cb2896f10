#pragma once

// The label renderer: printer command text in, one picture per printed label
// out, black on white at the printer's resolution, with warnings for whatever
// it could not draw. No widgets: the preview window, the virtual printer and
// the command-line program all draw through this.
//
// Text needs a QGuiApplication (a program without a display creates one on
// the offscreen platform).

#include "preview/keptsettings.h"
#include "preview/settingrule.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

struct RenderOptions
{
    int dotsPerMm = 8; // 8 (203 dpi) or 12 (300 dpi)
    // The media the printer holds, in dots: the page's width until a format
    // sets ^PW, its length on gap and mark media (and on continuous media
    // until ^LL); empty means a fresh virtual printer's, 104 x 152 mm.
    QSize defaultLabelSize;
    // Fonts already in printer memory, by the name the printer knows them
    // under ("E:ARIAL.TTF"), as the font file's bytes.
    QHash<QString, QByteArray> fonts;
    // Graphics already in printer memory ("R:LOGO.GRF"), black dots set.
    QHash<QString, QImage> graphics;
    // Pictures made at most per call; labels past it are counted, not drawn.
    int maxLabels = 100;
    // An interactive preview stops reading and drawing after this long and
    // warns that the labels are incomplete; 0 draws everything, however long
    // it takes.
    int timeLimitMs = 0;
    // When set, each picture is handed over as soon as it is drawn instead of
    // collected in the result, and every label is drawn (maxLabels does not
    // apply). Returning false stops the drawing.
    std::function<bool(const QImage &label)> deliver;
};

struct RenderWarning
{
    QString text;
    int line = 0; // 1-based line of the command in the input
    int column = 0; // 1-based byte within that line
    // The pictures lack part of what the printer would print (ink beyond the
    // label's edges, labels or fields not drawn).
    bool incomplete = false;
};

// A printer setting the commands carried; it changes no picture but the
// operator wants to see it (darkness, media type, ...).
struct RenderSetting
{
    QString command; // "^PR", "~SD", ...
    QString name; // "Print speed"
    QString value; // "3 in/s"
    int line = 0;
};

// What decided a label's page: ^PW and ^LL, or the media the printer holds.
struct PageSource
{
    bool widthFromMedia = true;
    bool lengthFromMedia = true;
};

struct RenderResult
{
    // One picture per printed label (Format_Mono: index 0 white, 1 black),
    // with the resolution set in dots per metre.
    QList<QImage> labels;
    QList<PageSource> pages; // one for each picture
    int labelsRequested = 0; // labels the commands ask for, including those not drawn
    QList<RenderWarning> warnings;
    // Some warning says a picture is incomplete (even one past the listed ones).
    bool incomplete = false;
    QList<RenderSetting> settings; // last value of each setting, in order of first appearance
};

class LabelInterpreter;

// What the virtual printer holds when a format begins.
struct FormatStart
{
    KeptSettings kept;
    LengthUnits units;
    char formatPrefix = '^';
    char controlPrefix = '~';
};

// A renderer that keeps the printer's memory between calls: label settings
// (^PW, ^LL, ^LH, ^PO, ^CF, ^BY ...), stored graphics (~DG), downloaded fonts
// (~DU, ~DY) and the settings seen. The virtual printer keeps one for its
// whole life; one-shot callers use RenderLabels().
class LabelRenderer
{
public:
    explicit LabelRenderer(const RenderOptions &options = {});
    ~LabelRenderer();
    LabelRenderer(const LabelRenderer &) = delete;
    LabelRenderer &operator=(const LabelRenderer &) = delete;

    const RenderOptions &Options() const;

    // Interprets the commands and draws every label they print. Never throws
    // for bad input: it warns and draws what it can.
    RenderResult Render(const QByteArray &commands);

    // One label of a format as the virtual printer prints it: the format
    // read from the printer's state as it began, and its serial numbers
    // counted on to its labelIndex-th label (0 for the first).
    RenderResult RenderLabel(const QByteArray &format, const FormatStart &start, qint64 labelIndex);

    // Back to the state of a printer just switched on (with the options' fonts
    // and graphics in memory).
    void Reset();

private:
    std::unique_ptr<LabelInterpreter> d;
};

// One-shot: a fresh printer, the commands, the labels.
RenderResult RenderLabels(const QByteArray &commands, const RenderOptions &options = {});

// Dots per millimetre for a resolution in dots per inch: 8 for 203, 12 for 300.
int DotsPerMmForDpi(int dpi);
