#include "preview/commandtable.h"

#include <vector>

namespace {

using K = LabelCommand::Kind;
using R = CommandRole;
using I = LabelInterpreter;
constexpr K F = K::Format;
constexpr K C = K::Control;

// The printer's own reading of the settings it keeps: ranges in dots, the
// letters it takes, what a parameter left out does.
using P = SettingParam;
using O = SettingParam::Omitted;
constexpr P Num(int low, int high, O omitted = O::Refused, const char *refusal = nullptr)
{
    return P { P::Kind::Number, low, high, nullptr, {}, omitted, refusal };
}
constexpr P Letters(const char *letters, std::array<int, 10> values = {}, O omitted = O::Refused,
                    const char *refusal = nullptr)
{
    return P { P::Kind::Letter, 0, 0, letters, values, omitted, refusal };
}
using S = KeptSettings;
// Letters A to E stand for 2, 3, 4, 6 and 8 inches per second.
constexpr SettingRule Speed { { P { P::Kind::Number, 1, 14, "ABCDE", { 2, 3, 4, 6, 8 } }.To(
    &S::speed) } };
constexpr SettingRule PrintWidth { { Num(2, 32000).Length().To(&S::widthDots) } };
// The length, and whether it holds on gap and mark media too (not written: no).
constexpr SettingRule LabelLength { { Num(1, 32000).Length().To(&S::lengthDots),
                                      P { P::Kind::Letter,
                                          0,
                                          0,
                                          "YN",
                                          {},
                                          O::Defaulted,
                                          "the choice is Y or N; unchanged",
                                          false,
                                          'N' }
                                          .To(&S::lengthForced) } };
constexpr SettingRule MediaTracking { { Letters("NYWMAV", { 0, 'W' }).To(&S::mediaSensing) } };
constexpr SettingRule PostPrint { { Letters("TPRACDFLUK").To(&S::postPrint),
                                    Letters("YN", {}, O::KeptWhenAbsent,
                                            "the pre-peel choice is Y or N; unchanged")
                                        .To(&S::prePeel) } };
constexpr SettingRule MediaType { { Letters("TD").To(&S::mediaType) } };
constexpr SettingRule PrintOrientation { { Letters("NI").To(&S::orientation) } };
constexpr SettingRule LabelTop { { Num(-120, 120).Length().To(&S::top) } };
constexpr SettingRule LabelShift { { Num(-9999, 9999).Length().To(&S::shift) } };
constexpr SettingRule LabelHome { { Num(0, 32000, O::Kept).Length().To(&S::homeX),
                                    Num(0, 32000, O::Kept).Length().To(&S::homeY) } };
constexpr SettingRule Darkness {
    { Num(0, 30, O::Refused, "a darkness from %1 to %2 is needed; unchanged").To(&S::darkness) }
};
// Labels in all (none written: one), and how many carry each serial number
// (a count the printer cannot take is passed over).
constexpr SettingRule Quantity { { Num(0, 99999999, O::Kept, "a quantity from 1 to %2 is needed"),
                                   P {}, Num(1, 99999999, O::Kept, "") } };

// Settings only listed: the name the list shows them under; their value is
// the parameters as written.
#define LISTED(kind, name, text)                                                                   \
    {                                                                                              \
        kind, name, R::Setting, &I::ListedSetting, true, text                                      \
    }

const CommandEntry Table[] = {
    // Formats, fields and what they hold
    { F, "XA", R::State, &I::FormatCommand, true },
    { F, "XZ", R::State, &I::FormatCommand, true },
    { F, "FX", R::State, &I::FormatCommand, true },
    { F, "PQ", R::State, &I::FormatCommand, false, nullptr, &Quantity },
    { F, "CF", R::State, &I::FormatCommand },
    { F, "FW", R::State, &I::FormatCommand },
    { F, "CI", R::State, &I::FormatCommand },
    { F, "CW", R::State, &I::FormatCommand },
    { F, "BY", R::State, &I::FormatCommand },
    { F, "LR", R::State, &I::FormatCommand },
    { F, "MU", R::State, &I::FormatCommand },
    { F, "FO", R::Draws, &I::FieldCommand },
    { F, "FT", R::Draws, &I::FieldCommand },
    { F, "FS", R::Draws, &I::FieldCommand },
    { F, "FD", R::Marks, &I::FieldCommand },
    { F, "FV", R::Marks, &I::FieldCommand },
    { F, "FH", R::Draws, &I::FieldCommand },
    { F, "FR", R::Draws, &I::FieldCommand },
    { F, "A", R::Draws, &I::FieldCommand },
    { F, "FB", R::Draws, &I::FieldCommand },
    { F, "FN", R::Draws, &I::FieldCommand },
    { F, "DF", R::State, &I::StoredFormatCommand },
    { F, "XF", R::Draws, &I::StoredFormatCommand },
    { F, "TB", R::Draws, &I::FieldCommand },
    { F, "SN", R::Marks, &I::FieldCommand },
    { F, "GB", R::Marks, &I::FieldCommand },
    { F, "GC", R::Marks, &I::FieldCommand },
    { F, "GE", R::Marks, &I::FieldCommand },
    { F, "GD", R::Marks, &I::FieldCommand },
    { F, "GS", R::Marks, &I::FieldCommand },
    { F, "GF", R::Marks, &I::GraphicCommand },
    { F, "XG", R::Marks, &I::GraphicCommand },
    { F, "IM", R::Marks, &I::GraphicCommand },
    { F, "ID", R::Printer, &I::GraphicCommand },
    // Bar codes
    { F, "BC", R::Draws, &I::BarcodeCommand },
    { F, "B3", R::Draws, &I::BarcodeCommand },
    { F, "BE", R::Draws, &I::BarcodeCommand },
    { F, "BU", R::Draws, &I::BarcodeCommand },
    { F, "B2", R::Draws, &I::BarcodeCommand },
    { F, "B8", R::Draws, &I::BarcodeCommand },
    { F, "BA", R::Draws, &I::BarcodeCommand },
    { F, "BQ", R::Draws, &I::BarcodeCommand },
    { F, "BX", R::Draws, &I::BarcodeCommand },
    { F, "B7", R::Draws, &I::BarcodeCommand },
    { F, "B0", R::Draws, &I::BarcodeCommand },
    { F, "BO", R::Draws, &I::BarcodeCommand },
    { F, "BR", R::Draws, &I::BarcodeCommand },
    { F, "BD", R::Draws, &I::BarcodeCommand },
    { F, "BL", R::Draws, &I::BarcodeCommand },
    { F, "BS", R::Draws, &I::BarcodeCommand },
    { F, "BK", R::Draws, &I::BarcodeCommand },
    { F, "BB", R::Draws, &I::BarcodeCommand },
    { F, "B1", R::Draws, &I::BarcodeCommand },
    { F, "BI", R::Draws, &I::BarcodeCommand },
    { F, "BF", R::Draws, &I::BarcodeCommand },
    { F, "BM", R::Draws, &I::BarcodeCommand },
    { F, "B5", R::Draws, &I::BarcodeCommand },
    { F, "BP", R::Draws, &I::BarcodeCommand },
    { F, "BZ", R::Draws, &I::BarcodeCommand },
    { F, "BJ", R::Draws, &I::BarcodeCommand },
    { F, "B9", R::Draws, &I::BarcodeCommand },
    // Prefixes and the delimiter, as format and as control commands
    { F, "CC", R::State, &I::ControlCommand, true },
    { F, "CT", R::State, &I::ControlCommand, true },
    { F, "CD", R::State, &I::ControlCommand, true },
    { C, "CC", R::State, &I::ControlCommand },
    { C, "CT", R::State, &I::ControlCommand },
    { C, "CD", R::State, &I::ControlCommand },
    // Printer memory
    { C, "DG", R::State, &I::StoreCommand },
    { C, "DU", R::State, &I::StoreCommand },
    { C, "DT", R::State, &I::StoreCommand },
    { C, "DY", R::State, &I::StoreCommand },
    // Settings that also shape the label
    { F, "PO", R::Setting, &I::SettingCommand, true, nullptr, &PrintOrientation },
    { F, "PM", R::Setting, &I::SettingCommand, true },
    { F, "PW", R::Setting, &I::SettingCommand, true, nullptr, &PrintWidth },
    { F, "LL", R::Setting, &I::SettingCommand, true, nullptr, &LabelLength },
    { F, "LH", R::Setting, &I::SettingCommand, true, nullptr, &LabelHome },
    { F, "LT", R::Setting, &I::SettingCommand, true, nullptr, &LabelTop },
    { F, "LS", R::Setting, &I::SettingCommand, true, nullptr, &LabelShift },
    // Settings of the print mechanism
    { F, "PR", R::Setting, &I::SettingCommand, true, nullptr, &Speed },
    { F, "MD", R::Setting, &I::SettingCommand, true },
    { F, "MN", R::Setting, &I::SettingCommand, true, nullptr, &MediaTracking },
    { F, "MT", R::Setting, &I::SettingCommand, true, nullptr, &MediaType },
    { F, "MM", R::Setting, &I::SettingCommand, true, nullptr, &PostPrint },
    { F, "JU", R::Setting, &I::SettingCommand, true },
    { C, "SD", R::Setting, &I::SettingCommand, false, nullptr, &Darkness },
    { C, "TA", R::Setting, &I::SettingCommand },
    LISTED(F, "MC", "Map clear"),
    LISTED(F, "JM", "Dots per millimetre"),
    LISTED(F, "CV", "Code validation"),
    LISTED(C, "JS", "Backfeed sequence"),
    LISTED(F, "MF", "Media feed at power-up, head close"),
    LISTED(F, "DN", "Abort download"),
    LISTED(C, "DN", "Abort download"),
    LISTED(F, "SZ", "Label language version"),
    LISTED(F, "PA", "Advanced text properties"),
    LISTED(C, "JO", "Dispensing mode"),
    LISTED(F, "XB", "Suppress backfeed"),
    LISTED(F, "JZ", "Reprint after error"),
    LISTED(F, "MP", "Mode protection"),
    LISTED(F, "MW", "Head cold warning"),
    LISTED(F, "JJ", "Auxiliary port"),
    LISTED(F, "JS", "Sensor select"),
    LISTED(F, "JT", "Head test interval"),
    LISTED(F, "JW", "Ribbon tension"),
    LISTED(F, "KD", "Display format"),
    LISTED(F, "KL", "Display language"),
    LISTED(F, "KN", "Printer name"),
    LISTED(F, "KP", "Display password"),
    LISTED(F, "SC", "Serial communication"),
    LISTED(F, "SE", "Encoding table"),
    LISTED(F, "SL", "Clock mode and language"),
    LISTED(F, "SS", "Media sensors"),
    LISTED(F, "ST", "Date and time"),
    LISTED(F, "SX", "Alert"),
    LISTED(F, "MI", "Maintenance alert"),
    LISTED(F, "CM", "Memory letters"),
    LISTED(F, "CO", "Font cache"),
    LISTED(C, "JF", "Battery option"),
    LISTED(C, "JQ", "Terminate display"),
    LISTED(C, "SN", "Serial number"),
    LISTED(C, "RO", "Reset counters"),
    // The printer acts on these; nothing of the label changes
    { C, "JA", R::Printer, &I::Ignored },
    { C, "PS", R::Printer, &I::Ignored },
    { C, "PP", R::Printer, &I::Ignored },
    { F, "PP", R::Printer, &I::Ignored },
    { F, "PS", R::Printer, &I::Ignored },
    { C, "JR", R::Printer, &I::Ignored },
    { C, "JC", R::Printer, &I::Ignored },
    { C, "JL", R::Printer, &I::Ignored },
    { C, "JG", R::Printer, &I::Ignored },
    { C, "JB", R::Printer, &I::Ignored },
    { C, "JD", R::Printer, &I::Ignored },
    { C, "JE", R::Printer, &I::Ignored },
    { C, "JN", R::Printer, &I::Ignored },
    { C, "JP", R::Printer, &I::Ignored },
    { C, "JX", R::Printer, &I::Ignored },
    { C, "PH", R::Printer, &I::Ignored },
    { F, "PH", R::Printer, &I::Ignored },
    { C, "HS", R::Printer, &I::Ignored },
    { C, "HI", R::Printer, &I::Ignored },
    { C, "HM", R::Printer, &I::Ignored },
    { C, "HU", R::Printer, &I::Ignored },
    { C, "HQ", R::Printer, &I::Ignored },
    { C, "HD", R::Printer, &I::Ignored },
    { F, "HH", R::Printer, &I::Ignored, true },
    { F, "HW", R::Printer, &I::Ignored, true },
    { F, "HG", R::Printer, &I::Ignored, true },
    { F, "HF", R::Printer, &I::Ignored, true },
    { F, "HT", R::Printer, &I::Ignored, true },
    { F, "HV", R::Printer, &I::Ignored },
    { C, "WC", R::Printer, &I::Ignored },
    { F, "WD", R::Printer, &I::Ignored },
    { F, "JB", R::Printer, &I::Ignored, true },
    { F, "TO", R::Printer, &I::Ignored },
    { C, "!F", R::Printer, &I::Ignored },
    { C, "!A", R::Printer, &I::Ignored },
};

#undef LISTED

// One slot for each kind and pair of characters a name can hold (upper
// case, digits, signs; the second none for the one-letter ^A): every
// command of every format is looked up here.
constexpr int Chars = 65;
int Slot(char c)
{
    return c >= 0x20 && c < 0x60 ? c - 0x20 : -1;
}
int SlotOf(LabelCommand::Kind kind, const QByteArray &name)
{
    if (name.isEmpty() || name.size() > 2)
        return -1;
    const int first = Slot(name.at(0));
    const int second = name.size() == 1 ? Chars - 1 : Slot(name.at(1));
    if (first < 0 || second < 0)
        return -1;
    return ((kind == K::Format ? Chars : 0) + first) * Chars + second;
}

} // namespace

const CommandEntry *FindCommand(LabelCommand::Kind kind, const QByteArray &name)
{
    // Built once, read by any thread.
    static const std::vector<const CommandEntry *> index = [] {
        std::vector<const CommandEntry *> byPlace(2 * Chars * Chars, nullptr);
        for (const CommandEntry &entry : Table)
            byPlace[size_t(SlotOf(entry.kind, QByteArray(entry.name)))] = &entry;
        return byPlace;
    }();
    const int slot = SlotOf(kind, name);
    return slot < 0 ? nullptr : index[size_t(slot)];
}

const CommandEntry *CommandTable(qsizetype &count)
{
    count = qsizetype(std::size(Table));
    return Table;
}
