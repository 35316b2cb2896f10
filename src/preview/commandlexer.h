#pragma once

// Splits printer command text into commands: a prefix ('^' starts a format
// command, '~' a control command; both can be changed by ^CC/^CT), a name of
// two letters (one for the font command ^A, whose font letter is its first
// parameter) and the parameter text up to the next prefix. Line breaks are
// not part of any parameter, as on a printer.

#include <QByteArray>

struct LabelCommand
{
    enum class Kind { Format, Control };
    Kind kind = Kind::Format;
    char prefix = '^'; // as written
    QByteArray name; // upper case; shorter than asked when the input ended
    QByteArray args;
    int line = 1;
    int column = 1;
    bool dataCut = false; // binary data announced longer than the input holds
    // Where the command stands in the input: its prefix, its parameters and
    // their end, line breaks included (messages show what was sent).
    qsizetype offset = 0;
    qsizetype argsAt = 0;
    qsizetype end = 0;

    // "^FO" as written, for messages.
    QByteArray Written() const { return prefix + name; }
};

class CommandLexer
{
public:
    explicit CommandLexer(const QByteArray &input);

    // The next command; false at the end of the input.
    bool Next(LabelCommand &command);

    void SetFormatPrefix(char prefix) { formatPrefix_ = prefix; }
    void SetControlPrefix(char prefix) { controlPrefix_ = prefix; }
    void SetDelimiter(char delimiter) { delimiter_ = delimiter; }
    // Without: commands come without their parameters (but for the one
    // character of a prefix change), for a reader that takes them from the
    // input by where they stand.
    void KeepArgs(bool keep) { keepArgs_ = keep; }

    const QByteArray &Input() const { return input_; }
    char FormatPrefix() const { return formatPrefix_; }
    char ControlPrefix() const { return controlPrefix_; }
    char Delimiter() const { return delimiter_; }
    // Reads on with the prefix or delimiter a ^CC, ^CT or ^CD (or its tilde
    // form) sets; false for any other command.
    bool Follow(const LabelCommand &command);

    // Line and column of the first text outside any command (not blanks,
    // not line breaks, not a byte-order mark), 0 when there was none.
    int StrayLine() const { return strayLine_; }
    int StrayColumn() const { return strayColumn_; }

private:
    bool IsPrefix(char c) const { return c == formatPrefix_ || c == controlPrefix_; }
    void Advance(); // one byte, keeping line and column
    // Parameter text up to the next prefix (only the format prefix ends
    // field data and comments), line breaks dropped.
    void ReadArgs(bool formatPrefixOnly, QByteArray &args);
    // The first c at or after from, or the input's size.
    struct Found
    {
        char c = 0;
        qsizetype from = 0;
        qsizetype at = -1; // -1: none from `from` on
    };
    qsizetype Find(char c, qsizetype from, Found &found) const;
    // Parameters followed by binary data: the data starts after
    // commasBeforeData delimiters; its length is parameter countIndex when
    // parameter typeIndex says 'B' or 'C'.
    QByteArray ReadArgsWithBinary(int commasBeforeData, int typeIndex, int countIndex,
                                  bool &dataCut);

    const QByteArray input_;
    qsizetype pos_ = 0;
    int line_ = 1;
    qsizetype lineStart_ = 0;
    char formatPrefix_ = '^';
    char controlPrefix_ = '~';
    char delimiter_ = ',';
    bool keepArgs_ = true;
    Found formatAt_;
    Found controlAt_;
    int strayLine_ = 0;
    int strayColumn_ = 0;
};
