#include "preview/commandlexer.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace {
char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// Compared by letter: every command of every format passes here.
bool Is(const QByteArray &name, char first, char second)
{
    return name.size() == 2 && name.at(0) == first && name.at(1) == second;
}
bool ChangesPrefix(const QByteArray &name)
{
    return name.size() == 2 && name.at(0) == 'C'
        && (name.at(1) == 'C' || name.at(1) == 'T' || name.at(1) == 'D');
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

    // The command's buffers are used again: a format holds many commands.
    command.name.resize(0);
    command.args.resize(0);
    command.dataCut = false;
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
    if (ChangesPrefix(command.name)) {
        // The new character is the one parameter, whatever it is: what
        // follows is read with it.
        if (pos_ < size) {
            command.args = input_.mid(pos_, 1);
            Advance();
        }
    } else if (format && Is(command.name, 'G', 'F'))
        command.args = ReadArgsWithBinary(4, 0, 1, command.dataCut);
    else if (!format && Is(command.name, 'D', 'Y'))
        command.args = ReadArgsWithBinary(5, 1, 3, command.dataCut);
    else
        ReadArgs(format
                     && (Is(command.name, 'F', 'D') || Is(command.name, 'F', 'V')
                         || Is(command.name, 'F', 'X')),
                 command.args);
    command.end = pos_;
    return true;
}

bool CommandLexer::Follow(const LabelCommand &command)
{
    if (!ChangesPrefix(command.name))
        return false;
    if (!command.args.isEmpty()) {
        const char to = command.args.at(0);
        if (command.name.at(1) == 'C')
            formatPrefix_ = to;
        else if (command.name.at(1) == 'T')
            controlPrefix_ = to;
        else
            delimiter_ = to;
    }
    return true;
}

qsizetype CommandLexer::Find(char c, qsizetype from, Found &found) const
{
    // Where it was found last is kept: a prefix that is not used in the
    // input is not looked for to its end again at every command.
    if (found.c != c || found.from > from || (found.at >= 0 && found.at < from)) {
        const void *at = std::memchr(input_.constData() + from, c, size_t(input_.size() - from));
        found = { c, from, at ? static_cast<const char *>(at) - input_.constData() : -1 };
    }
    return found.at < 0 ? input_.size() : found.at;
}

void CommandLexer::ReadArgs(bool formatPrefixOnly, QByteArray &args)
{
    const qsizetype start = pos_;
    qsizetype end = Find(formatPrefix_, start, formatAt_);
    if (!formatPrefixOnly)
        end = std::min(end, Find(controlPrefix_, start, controlAt_));
    const char *data = input_.constData();
    if (!keepArgs_) {
        for (const char *at = data + start;
             (at = static_cast<const char *>(std::memchr(at, '\n', size_t(data + end - at))));
             ++at) {
            ++line_;
            lineStart_ = at - data + 1;
        }
        pos_ = end;
        return;
    }
    const bool lineBreaks = std::memchr(data + start, '\n', size_t(end - start))
        || std::memchr(data + start, '\r', size_t(end - start));
    args.resize(0);
    if (!lineBreaks) {
        args.append(input_.constData() + start, end - start);
    } else {
        qsizetype from = start;
        for (qsizetype i = start; i < end; ++i) {
            const char c = input_.at(i);
            if (c != '\r' && c != '\n')
                continue;
            args.append(input_.constData() + from, i - from);
            from = i + 1;
            if (c == '\n') {
                ++line_;
                lineStart_ = i + 1;
            }
        }
        args.append(input_.constData() + from, end - from);
    }
    pos_ = end;
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
    if (type != "B" && type != "C") {
        QByteArray rest;
        ReadArgs(false, rest);
        return header + rest;
    }

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
