#include "printer/commandstream.h"

bool CommandStream::ChangesPrefix(QByteArrayView command)
{
    if (command.size() < 4 || (command[1] | 0x20) != 'c'
        || ((command[2] | 0x20) != 'c' && (command[2] | 0x20) != 't'))
        return false;
    const char to = command[3];
    // A prefix must stay a command's start: not a letter, digit, blank or
    // the other prefix.
    const char lower = char(to | 0x20);
    const bool usable
        = to > ' ' && to < 0x7F && !(lower >= 'a' && lower <= 'z') && !(to >= '0' && to <= '9');
    const bool control = (command[2] | 0x20) == 't';
    const char other = control ? prefixes_->format : prefixes_->control;
    if (!usable || to == other) {
        Error(QStringLiteral("%1: \"%2\" cannot start commands; the prefix stays")
                  .arg(ShownBytes(command.first(3)), ShownBytes(command.sliced(3, 1))));
        return true;
    }
    (control ? prefixes_->control : prefixes_->format) = to;
    return true;
}
