#pragma once

// The one interpreter of the label language: it reads commands with the
// command table, keeps the printer state and the printer's memory, collects
// each format's fields and draws its labels. The label renderer, and with it
// the preview and the virtual printer, are this class seen from outside.

#include "preview/commandargs.h"
#include "preview/commandlexer.h"
#include "preview/labelfield.h"
#include "preview/labelrenderer.h"
#include "preview/printerstate.h"

#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QSet>

#include <memory>
#include <optional>

class FontStore;
struct GraphicData;
struct CommandEntry;

class LabelInterpreter
{
public:
    explicit LabelInterpreter(const RenderOptions &o);
    ~LabelInterpreter();

    void Reset();
    RenderResult Render(const QByteArray &commands);

    RenderOptions options;
    PrinterState printer_;
    // Draw only this label of each format (its serial numbers counted on
    // that far); -1: every label asked for.
    qint64 onlyLabel_ = -1;

    // Command handlers, by family; each returns false for a command it does
    // not know (the table names the handler, so that only happens for a
    // parameter form it does not take).
    using Handler = bool (LabelInterpreter::*)(const LabelCommand &, const label::Args &);
    bool FormatCommand(const LabelCommand &command, const label::Args &args);
    bool FieldCommand(const LabelCommand &command, const label::Args &args);
    bool ControlCommand(const LabelCommand &command, const label::Args &args);
    bool SettingCommand(const LabelCommand &command, const label::Args &args);
    bool ListedSetting(const LabelCommand &command, const label::Args &args);
    bool StoreCommand(const LabelCommand &command, const label::Args &args);
    bool GraphicCommand(const LabelCommand &command, const label::Args &args);
    bool BarcodeCommand(const LabelCommand &command, const label::Args &args);
    bool StoredFormatCommand(const LabelCommand &command, const label::Args &args);
    bool Ignored(const LabelCommand &command, const label::Args &args);

private:
    void Warn(const QString &text, int line, int column, bool incomplete = false);
    void Warn(const QString &text, const LabelCommand &command)
    {
        Warn(text, command.line, command.column);
    }
    // After the time to draw ran out: the labels the rest prints, counted
    // without drawing, beginning with `command`.
    void CountRest(CommandLexer &lexer, LabelCommand command);
    // A warning that the pictures lack part of the label.
    void Incomplete(const QString &text, int line, int column) { Warn(text, line, column, true); }
    bool OutOfTime() const;
    QString TimeLimitText() const; // "one second", "250 ms"
    // Hands a finished picture to the caller or keeps it in the result.
    void Deliver(const QImage &label);
    void Setting(const LabelCommand &command, const QString &name, const QString &value);
    int Clamped(const LabelCommand &command, qint64 value, int low, int high, const char *what);
    // A setting the printer keeps, read by the command table's rule into the
    // kept settings; a refusal is warned about and changes nothing.
    bool Kept(const LabelCommand &command);
    // A size that cannot be less than low: less (0 included) silently
    // means low, as on a printer; more than high is warned about.
    int AtLeast(const LabelCommand &command, qint64 value, int low, int high, const char *what);
    // Parameter i as a length in the units ^MU set, in dots; the fallback
    // (in dots) when it is not given.
    qint64 Len(const label::Args &args, int i, qint64 fallback) const;

    void Command(const LabelCommand &command);

    void FieldText(Field &field); // the data as text, for text fields
    // A field with ^FN: false when it only gives its data to another.
    bool KeepNumberedField();
    // ^XF: the stored format's commands, read where ^XF stands.
    void Recall(const LabelCommand &command, const QByteArray &body);
    void StartField();
    void EndField(const LabelCommand *at, bool implicit);
    void StartFormat(const LabelCommand &command);
    void EndFormat();
    void DrawFormat();
    QSize LabelSize();
    void DrawFields(QImage &canvas, qsizetype from, qsizetype to, qint64 labelIndex);

    bool Store(const LabelCommand &command, const QString &name, qint64 bytes);
    void StoreFont(const LabelCommand &command, const QString &name, const QByteArray &bytes);
    void StoreGraphic(const LabelCommand &command, const QString &name, const GraphicData &graphic);
    // The graphic's picture; a problem is warned about where it stands in
    // the data, and gives no picture.
    QImage ReadGraphic(const LabelCommand &command, const QString &what,
                       const GraphicData &graphic);

    QList<RenderSetting> settings_;
    std::unique_ptr<FontStore> fonts_;
    QHash<QString, QImage> graphics_;
    QHash<QString, qint64> storedSizes_;

    // One call
    RenderResult result_;
    CommandLexer *lexer_ = nullptr;
    QElapsedTimer clock_;
    bool outOfTime_ = false;
    bool stopped_ = false; // the caller took no more pictures
    qint64 distinctBytes_ = 0;
    // Warnings of one text beyond the first few are counted, not listed.
    struct WarningKind
    {
        int count = 0;
        int line = 0; // of the first not listed
        int column = 0;
    };
    QHash<QString, WarningKind> warningKinds_;

    // The open format
    bool inFormat_ = false;
    int formatLine_ = 0;
    QList<Field> fields_;
    std::optional<QPointF> commonPen_; // where the fields every label shares end
    qint64 quantity_ = 1;
    qint64 replicates_ = 1;
    bool labelReverse_ = false;
    // ^DF: the format's commands are kept under this name, not printed.
    QString storingAs_;
    QByteArray storedBody_;
    int recallDepth_ = 0;
    QHash<int, QByteArray> numberedData_; // ^FN data given before its field
    QSet<qsizetype> offLabel_; // fields already warned of for ink beyond the label

    // The open field
    Field field_;
    bool fieldContent_ = false;
    bool fieldFont_ = false; // ^A given
    bool fieldOrientation_ = false;
    bool fieldOrigin_ = false;
    bool fieldHex_ = false;
    char fieldHexIndicator_ = '_';
};
