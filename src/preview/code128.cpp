#include "preview/code128.h"

#include <algorithm>

namespace {

constexpr const char *Patterns[107] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312",  "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122",  "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122",  "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123",  "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",  "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311",  "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411",  "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412",  "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",  "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211",  "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113",  "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112",
};

enum Subset { A = 0, B = 1, C = 2 };
constexpr int CodeC = 99, CodeB = 100, CodeA = 101, Fnc1 = 102, StartA = 103, Stop = 106;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int DigitsAt(const QByteArray &data, qsizetype i)
{
    int n = 0;
    while (i + n < data.size() && IsDigit(data.at(i + n)))
        ++n;
    return n;
}

class Builder
{
public:
    Code128Symbol symbol;
    Subset subset = B;

    void Start(Subset s)
    {
        subset = s;
        symbol.values.push_back(StartA + s);
    }
    void Switch(Subset s)
    {
        if (s == subset)
            return;
        symbol.values.push_back(s == A ? CodeA : s == B ? CodeB : CodeC);
        subset = s;
    }
    // One character in subset A or B; false when the subset has no such character.
    bool Character(uchar c, Subset s)
    {
        if (s == B && c >= 32 && c < 128) {
            symbol.values.push_back(c - 32);
        } else if (s == A && c >= 32 && c < 96) {
            symbol.values.push_back(c - 32);
        } else if (s == A && c < 32) {
            symbol.values.push_back(c + 64);
            return true; // a control character: not printed
        } else {
            return false;
        }
        symbol.text += QLatin1Char(char(c));
        return true;
    }
    void Pair(char tens, char ones)
    {
        symbol.values.push_back((tens - '0') * 10 + (ones - '0'));
        symbol.text += QLatin1Char(tens);
        symbol.text += QLatin1Char(ones);
    }
    void Refused(uchar c)
    {
        if (symbol.problem.isEmpty())
            symbol.problem = QStringLiteral("character %1 is not in Code 128 subset %2: left out")
                                 .arg(c < 32 || c >= 127
                                          ? QStringLiteral("0x%1").arg(c, 2, 16, QLatin1Char('0'))
                                          : QString(QLatin1Char(char(c))))
                                 .arg(QLatin1Char("ABC"[subset]));
    }
    void Finish()
    {
        int sum = symbol.values.front();
        for (size_t i = 1; i < symbol.values.size(); ++i)
            sum += int(i) * symbol.values[i];
        symbol.values.push_back(sum % 103);
        symbol.values.push_back(Stop);
    }
};

// Data as written, subset by subset, changing only where an invocation code says.
Code128Symbol Manual(const QByteArray &data)
{
    Builder b;
    qsizetype i = 0;
    Subset start = B;
    if (data.size() >= 2 && data.at(0) == '>') {
        const qsizetype at = QByteArray("9:;").indexOf(data.at(1));
        if (at >= 0) {
            start = Subset(at);
            i = 2;
        }
    }
    b.Start(start);
    while (i < data.size()) {
        const uchar c = uchar(data.at(i));
        if (c == '>' && i + 1 < data.size()) {
            const char code = data.at(i + 1);
            i += 2;
            switch (code) {
            case '<':
            case '0':
                if (b.subset != C)
                    b.Character('>', b.subset);
                continue;
            case '=':
                if (b.subset == B)
                    b.Character('~', B);
                continue;
            case '1':
                if (b.subset != C)
                    b.symbol.values.push_back(95); // DEL in B, US in A
                continue;
            case '2':
                b.symbol.values.push_back(96); // function code 3
                continue;
            case '3':
                b.symbol.values.push_back(97); // function code 2
                continue;
            case '4':
                if (b.subset != C)
                    b.symbol.values.push_back(98); // shift
                continue;
            case '5':
            case ';':
                b.Switch(C);
                continue;
            case '6':
            case ':':
                if (b.subset == B)
                    b.symbol.values.push_back(CodeB); // function code 4 in subset B
                else
                    b.Switch(B);
                continue;
            case '7':
            case '9':
                if (b.subset == A)
                    b.symbol.values.push_back(CodeA); // function code 4 in subset A
                else
                    b.Switch(A);
                continue;
            case '8':
                b.symbol.values.push_back(Fnc1);
                continue;
            default:
                i -= 1; // a lone ">": the character itself
                break;
            }
        }
        // Subset C, and digit pairs in subset A, spell code values.
        if ((b.subset == C || b.subset == A) && DigitsAt(data, i) >= 2) {
            if (b.subset == C) {
                b.Pair(data.at(i), data.at(i + 1));
            } else {
                const int value = (data.at(i) - '0') * 10 + (data.at(i + 1) - '0');
                b.symbol.values.push_back(value);
                if (value < 64)
                    b.symbol.text += QLatin1Char(char(value + 32));
            }
            i += 2;
            continue;
        }
        if (b.subset == C || !b.Character(c, b.subset))
            b.Refused(c);
        ++i;
    }
    b.Finish();
    return b.symbol;
}

// The printer's own subset choice: digit runs of four or more in subset C,
// everything else in B (A for control characters). fnc1 turns ">8" into
// function code 1; otherwise the data is taken as it stands.
void Automatic(Builder &b, const QByteArray &data, bool fnc1, bool started)
{
    qsizetype i = 0;
    while (i < data.size()) {
        if (fnc1 && data.at(i) == '>' && i + 1 < data.size() && data.at(i + 1) == '8') {
            if (!started) {
                b.Start(DigitsAt(data, i + 2) >= 4 ? C : B);
                started = true;
            }
            b.symbol.values.push_back(Fnc1);
            i += 2;
            continue;
        }
        const int digits = DigitsAt(data, i);
        const bool rest = i + digits == data.size();
        if (digits >= 4 || (b.subset == C && digits >= 2) || (rest && digits == 2 && !started)) {
            if (!started) {
                b.Start(C);
                started = true;
            } else {
                b.Switch(C);
            }
            for (int n = 0; n + 1 < digits; n += 2, i += 2)
                b.Pair(data.at(i), data.at(i + 1));
            continue;
        }
        const uchar c = uchar(data.at(i));
        const Subset s = c < 32 ? A : (c >= 96 ? B : (b.subset == A ? A : B));
        if (!started) {
            b.Start(s);
            started = true;
        } else {
            b.Switch(s);
        }
        if (!b.Character(c, s))
            b.Refused(c);
        ++i;
    }
    if (!started)
        b.Start(B);
}

int Mod10(const QByteArray &digits)
{
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i)
        sum += (digits.at(digits.size() - 1 - i) - '0') * (i % 2 == 0 ? 3 : 1);
    return (10 - sum % 10) % 10;
}

} // namespace

const char *Code128Pattern(int value)
{
    return Patterns[std::clamp(value, 0, 106)];
}

Code128Symbol EncodeCode128(const QByteArray &data, char mode)
{
    Builder b;
    switch (mode) {
    case 'A':
        Automatic(b, data, true, false);
        break;
    case 'U': {
        // Case mode: 19 digits (cut or filled up with zeros), a check digit,
        // after function code 1.
        QByteArray digits;
        for (char c : data) {
            if (IsDigit(c))
                digits += c;
        }
        digits = digits.left(19).leftJustified(19, '0');
        digits += char('0' + Mod10(digits));
        b.Start(C);
        b.symbol.values.push_back(Fnc1);
        Automatic(b, digits, false, true);
        break;
    }
    case 'D': {
        // Application identifiers: brackets and blanks only shown, function
        // code 1 in front.
        QByteArray bars;
        for (char c : data) {
            if (c != '(' && c != ')' && c != ' ')
                bars += c;
        }
        b.Start(DigitsAt(bars, 0) >= 4 ? C : B);
        b.symbol.values.push_back(Fnc1);
        Automatic(b, bars, true, true);
        break;
    }
    default:
        return Manual(data);
    }
    b.Finish();
    return b.symbol;
}
