#include "printer/formatcommands.h"

#include "printer/commandstream.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace {

std::optional<qint64> ParseInteger(QByteArrayView text)
{
    const QByteArrayView t = text.trimmed();
    bool ok = false;
    const qint64 v = t.toLongLong(&ok, 10);
    if (!ok || t.size() > 12)
        return std::nullopt;
    return v;
}

QList<QByteArray> Params(const CaretCommand &c)
{
    return c.params.toByteArray().split(',');
}

// One parameter of a command, without copying: every label has a ^PQ.
QByteArrayView Param(const CaretCommand &c, int index)
{
    QByteArrayView rest = c.params;
    for (; index > 0; --index) {
        const qsizetype comma = rest.indexOf(',');
        if (comma < 0)
            return {};
        rest = rest.sliced(comma + 1);
    }
    const qsizetype comma = rest.indexOf(',');
    return comma < 0 ? rest : rest.first(comma);
}

// One integer setting with its accepted range.
bool SetInteger(const CaretCommand &c, QByteArrayView text, int low, int high, int &field,
                QString *error)
{
    const auto v = ParseInteger(text);
    if (!v || *v < low || *v > high) {
        *error = QStringLiteral("^%1%2: a value from %3 to %4 is needed; unchanged")
                     .arg(c.Name(), ShownBytes(c.params))
                     .arg(low)
                     .arg(high);
        return false;
    }
    field = int(*v);
    return true;
}

// One letter setting from a set of accepted letters.
bool SetLetter(const CaretCommand &c, QByteArrayView text, const char *accepted, char &field,
               QString *error)
{
    const QByteArray t = text.toByteArray().trimmed().toUpper();
    if (t.size() != 1 || !QByteArrayView(accepted).contains(t[0])) {
        *error = QStringLiteral("^%1%2: one of the letters %3 is needed; unchanged")
                     .arg(c.Name(), ShownBytes(c.params), QString::fromLatin1(accepted));
        return false;
    }
    field = t[0];
    return true;
}

} // namespace

namespace {

// ^CCx, ^CTx, ~CCx or ~CTx at `at`.
bool ChangesPrefixAt(QByteArrayView format, qsizetype at)
{
    return at + 3 < format.size() && (format[at + 1] | 0x20) == 'c'
        && ((format[at + 2] | 0x20) == 'c' || (format[at + 2] | 0x20) == 't');
}

// The next caret command, or control prefix change, from `from` on.
qsizetype NextCommand(QByteArrayView format, qsizetype from, char prefix, char control)
{
    const qsizetype caret = format.indexOf(prefix, from);
    for (qsizetype at = format.indexOf(control, from); at >= 0 && (caret < 0 || at < caret);
         at = format.indexOf(control, at + 1)) {
        if (ChangesPrefixAt(format, at))
            return at;
    }
    return caret;
}

} // namespace

std::vector<CaretCommand> SplitFormat(QByteArrayView format, char prefix, char control)
{
    std::vector<CaretCommand> commands;
    // Filled in place: building each command aside and copying it in costs
    // more than the splitting, and labels arrive by the hundred thousand.
    commands.reserve(16);
    qsizetype at = NextCommand(format, 0, prefix, control);
    while (at >= 0) {
        const bool caret = format[at] == prefix;
        // A prefix change: the commands after it start with the new one.
        const bool changes = ChangesPrefixAt(format, at);
        if (changes) {
            char &changed = (format[at + 2] | 0x20) == 'c' ? prefix : control;
            changed = format[at + 3];
        }
        const qsizetype next = NextCommand(format, changes ? at + 4 : at + 1, prefix, control);
        if (!caret) {
            at = next;
            continue;
        }
        const qsizetype end = next < 0 ? format.size() : next;
        CaretCommand &c = commands.emplace_back();
        c.offset = at;
        c.length = end - at;
        for (qsizetype k = 0; k < 2 && at + 1 + k < end; ++k) {
            const char letter = format[at + 1 + k];
            c.name[k] = letter >= 'a' && letter <= 'z' ? char(letter - 'a' + 'A') : letter;
        }
        if (end - at > 3)
            c.params = format.sliced(at + 3, end - at - 3);
        at = next;
    }
    return commands;
}

bool IsSettingsCommand(const CaretCommand &c)
{
    return c.Is("PR") || c.Is("PW") || c.Is("LL") || c.Is("MN") || c.Is("MM") || c.Is("MT")
        || c.Is("PO") || c.Is("LT") || c.Is("LS") || c.Is("LH");
}

bool ApplySettingsCommand(const CaretCommand &c, PrinterSettings &s, QString *error)
{
    if (!IsSettingsCommand(c))
        return false;
    const QList<QByteArray> p = Params(c);
    const QByteArray first = p.value(0).trimmed().toUpper();
    if (c.Is("PR")) {
        // Speeds by letter: A 2, B 3, C 4, D 6, E 8 inches per second.
        static const QByteArray letters = "ABCDE";
        static const int letterSpeeds[] = { 2, 3, 4, 6, 8 };
        if (first.size() == 1 && letters.contains(first[0])) {
            s.speed = letterSpeeds[letters.indexOf(first[0])];
            return true;
        }
        SetInteger(c, first, 1, 14, s.speed, error);
        return true;
    }
    if (c.Is("PW")) {
        SetInteger(c, first, 2, 32000, s.widthDots, error);
        return true;
    }
    if (c.Is("LL")) {
        SetInteger(c, first, 1, 32000, s.lengthDots, error);
        return true;
    }
    if (c.Is("MN")) {
        if (SetLetter(c, first, "NYWMAV", s.mediaSensing, error) && s.mediaSensing == 'Y')
            s.mediaSensing = 'W';
        return true;
    }
    if (c.Is("MM")) {
        if (SetLetter(c, first, "TPRACDFLUK", s.postPrint, error) && p.size() > 1) {
            const QByteArray peel = p[1].trimmed().toUpper();
            if (peel == "Y" || peel == "N")
                s.prePeel = peel == "Y";
            else
                *error = QStringLiteral("^MM%1: the pre-peel choice is Y or N; unchanged")
                             .arg(ShownBytes(c.params));
        }
        return true;
    }
    if (c.Is("MT")) {
        SetLetter(c, first, "TD", s.mediaType, error);
        return true;
    }
    if (c.Is("PO")) {
        SetLetter(c, first, "NI", s.orientation, error);
        return true;
    }
    if (c.Is("LT")) {
        SetInteger(c, first, -120, 120, s.top, error);
        return true;
    }
    if (c.Is("LS")) {
        SetInteger(c, first, -9999, 9999, s.shift, error);
        return true;
    }
    if (c.Is("LH")) {
        // A parameter left out keeps its value.
        if (!p.value(0).trimmed().isEmpty() && !SetInteger(c, p[0], 0, 32000, s.homeX, error))
            return true;
        if (p.size() > 1 && !p[1].trimmed().isEmpty())
            SetInteger(c, p[1], 0, 32000, s.homeY, error);
        return true;
    }
    return false;
}

bool ApplyDarkness(QByteArrayView params, PrinterSettings &settings, QString *error)
{
    const auto v = ParseInteger(params);
    if (!v || *v < 0 || *v > 30) {
        *error = QStringLiteral("~SD%1: a darkness from 0 to 30 is needed; unchanged")
                     .arg(ShownBytes(params));
        return false;
    }
    settings.darkness = int(*v);
    return true;
}

PrintQuantity ParseQuantity(const std::vector<CaretCommand> &commands, QString *error)
{
    PrintQuantity q;
    const auto last = std::find_if(commands.rbegin(), commands.rend(),
                                   [](const CaretCommand &c) { return c.Is("PQ"); });
    if (last == commands.rend())
        return q;
    const QByteArrayView labels = Param(*last, 0).trimmed();
    if (!labels.isEmpty()) {
        const auto v = ParseInteger(labels);
        if (!v || *v < 0 || *v > PrintQuantity::Max) {
            *error = QStringLiteral("^PQ%1: a quantity from 1 to %2 is needed")
                         .arg(ShownBytes(last->params))
                         .arg(PrintQuantity::Max);
            return q;
        }
        q.labels = std::max<qint64>(1, *v);
    }
    const auto replicates = ParseInteger(Param(*last, 2));
    if (replicates && *replicates > 0 && *replicates <= PrintQuantity::Max)
        q.replicates = *replicates;
    return q;
}

bool PrintsLabel(const std::vector<CaretCommand> &commands)
{
    return std::any_of(commands.begin(), commands.end(), [](const CaretCommand &c) {
        return c.Is("FD") || c.Is("FV") || c.Is("SN") || c.Is("GB") || c.Is("GC") || c.Is("GD")
            || c.Is("GE") || c.Is("GF") || c.Is("GS") || c.Is("XG") || c.Is("IM");
    });
}
