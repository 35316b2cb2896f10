#include "preview/commandlexer.h"

#include <QList>

namespace {
char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}
} // namespace

CommandLexer::CommandLexer(const QByteArray &input)
    : input_(input)
{
    if (input_.startsWith("\xEF\xBB\xBF"))
        pos_ = lineStart_ = 3;
}

void CommandLexer::Advance()
{
    if (input_.at(pos_) == '\n') {
        ++line_;
        lineStart_ = pos_ + 1;
    }
    ++pos_;
}

bool CommandLexer::Next(LabelCommand &command)
{
    const qsizetype size = input_.size();
    while (pos_ < size && !IsPrefix(input_.at(pos_))) {
        const char c = input_.at(pos_);
        if (strayLine_ == 0 && c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\0') {
            strayLine_ = line_;
            strayColumn_ = int(pos_ - lineStart_ + 1);
        }
        Advance();
    }
    if (pos_ >= size)
        return false;

    command = LabelCommand();
    command.prefix = input_.at(pos_);
    command.kind = command.prefix == formatPrefix_ ? LabelCommand::Kind::Format
                                                   : LabelCommand::Kind::Control;
    command.line = line_;
    command.column = int(pos_ - lineStart_ + 1);
    command.offset = pos_;
    Advance();

    // The font command is one letter; its font name follows directly.
    const bool font = command.kind == LabelCommand::Kind::Format && pos_ < size
        && Upper(input_.at(pos_)) == 'A';
    const int nameLength = font ? 1 : 2;
    while (command.name.size() < nameLength && pos_ < size && !IsPrefix(input_.at(pos_))) {
        const char c = input_.at(pos_);
        Advance();
        if (c == '\r' || c == '\n')
            continue;
        command.name += Upper(c);
    }

    const bool format = command.kind == LabelCommand::Kind::Format;
    command.argsAt = pos_;
    if (command.name == "CC" || command.name == "CT" || command.name == "CD") {
        // The new character is the one parameter, whatever it is: what
        // follows is read with it.
        if (pos_ < size) {
            command.args = input_.mid(pos_, 1);
            Advance();
        }
    } else if (format && command.name == "GF")
        command.args = ReadArgsWithBinary(4, 0, 1, command.dataCut);
    else if (!format && command.name == "DY")
        command.args = ReadArgsWithBinary(5, 1, 3, command.dataCut);
    else
        command.args = ReadArgs(
            format && (command.name == "FD" || command.name == "FV" || command.name == "FX"));
    command.end = pos_;
    return true;
}

bool CommandLexer::Follow(const LabelCommand &command)
{
    if (command.name != "CC" && command.name != "CT" && command.name != "CD")
        return false;
    if (!command.args.isEmpty()) {
        const char to = command.args.at(0);
        if (command.name == "CC")
            formatPrefix_ = to;
        else if (command.name == "CT")
            controlPrefix_ = to;
        else
            delimiter_ = to;
    }
    return true;
}

QByteArray CommandLexer::ReadArgs(bool formatPrefixOnly)
{
    const qsizetype size = input_.size();
    const qsizetype start = pos_;
    qsizetype end = pos_;
    bool lineBreaks = false;
    while (end < size) {
        const char c = input_.at(end);
        if (c == formatPrefix_ || (!formatPrefixOnly && c == controlPrefix_))
            break;
        lineBreaks = lineBreaks || c == '\r' || c == '\n';
        ++end;
    }
    QByteArray args = input_.mid(start, end - start);
    if (lineBreaks) {
        for (qsizetype i = start; i < end; ++i) {
            if (input_.at(i) == '\n') {
                ++line_;
                lineStart_ = i + 1;
            }
        }
        args.removeIf([](char c) { return c == '\r' || c == '\n'; });
    }
    pos_ = end;
    return args;
}

QByteArray CommandLexer::ReadArgsWithBinary(int commasBeforeData, int typeIndex, int countIndex,
                                            bool &dataCut)
{
    const qsizetype size = input_.size();
    QByteArray header;
    int commas = 0;
    while (pos_ < size && commas < commasBeforeData && !IsPrefix(input_.at(pos_))) {
        const char c = input_.at(pos_);
        Advance();
        if (c == '\r' || c == '\n')
            continue;
        header += c;
        if (c == delimiter_)
            ++commas;
    }
    if (commas < commasBeforeData)
        return header;
    const QList<QByteArray> fields = header.split(delimiter_);
    const QByteArray type = fields.value(typeIndex).trimmed().toUpper();
    if (type != "B" && type != "C")
        return header + ReadArgs(false);

    bool ok = false;
    const qint64 count = fields.value(countIndex).trimmed().toLongLong(&ok);
    const qint64 available = size - pos_;
    qint64 take = ok && count > 0 ? count : 0;
    if (take > available) {
        take = available;
        dataCut = true;
    }
    header += input_.mid(pos_, take);
    for (qint64 i = 0; i < take; ++i)
        Advance();
    return header;
}
