#include "preview/commandtable.h"
#include "preview/labelrenderer.h"

#include "preview/labelimage.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

RenderResult Render(const QByteArray &commands, int dotsPerMm = 8)
{
    RenderOptions options;
    options.dotsPerMm = dotsPerMm;
    return RenderLabels(commands, options);
}

QStringList WarningTexts(const RenderResult &result)
{
    QStringList texts;
    for (const RenderWarning &w : result.warnings)
        texts << QStringLiteral("%1:%2 %3").arg(w.line).arg(w.column).arg(w.text);
    return texts;
}

QString SettingValue(const RenderResult &result, const QString &command)
{
    for (const RenderSetting &s : result.settings) {
        if (s.command == command)
            return s.name + QStringLiteral(": ") + s.value;
    }
    return QStringLiteral("(not listed)");
}

TEST(LabelInterpreter, EveryCommandHasOneEntry)
{
    qsizetype count = 0;
    const CommandEntry *table = CommandTable(count);
    QSet<QByteArray> seen;
    for (qsizetype i = 0; i < count; ++i) {
        const QByteArray key
            = (table[i].kind == LabelCommand::Kind::Format ? "^" : "~") + QByteArray(table[i].name);
        EXPECT_FALSE(seen.contains(key)) << key.constData() << " twice";
        seen.insert(key);
        EXPECT_EQ(FindCommand(table[i].kind, table[i].name), &table[i]) << key.constData();
        if (table[i].handler == &LabelInterpreter::ListedSetting) {
            EXPECT_TRUE(table[i].setting && *table[i].setting) << key.constData();
        }
    }
    EXPECT_EQ(FindCommand(LabelCommand::Kind::Format, "QQ"), nullptr);
}

TEST(LabelInterpreter, SettingsAreListedWithTheirValuesNotWarnedAbout)
{
    struct Case
    {
        QByteArray commands;
        QString command;
        QString listed;
    };
    const Case cases[] = {
        { "^XA^MCY^XZ", "^MC", "Map clear: Y" },
        { "^XA^JMA^XZ", "^JM", "Dots per millimetre: A" },
        { "^XA^CVN^XZ", "^CV", "Code validation: N" },
        { "~JSN", "~JS", "Backfeed sequence: N" },
        { "^XA^MFN,N^XZ", "^MF", "Media feed at power-up, head close: N,N" },
        { "^XA^SZ2^XZ", "^SZ", "Label language version: 2" },
        { "^XA^PA0,1,1,0^XZ", "^PA", "Advanced text properties: 0,1,1,0" },
        { "~JO", "~JO", "Dispensing mode: " },
        { "^XA^XB^XZ", "^XB", "Suppress backfeed: " },
        // Outside a format too, and the last value wins.
        { "^MCN^XA^MCY^XZ", "^MC", "Map clear: Y" },
        { "^XA^PR4^XZ", "^PR", "Print speed: 4 in/s" },
        { "~SD20", "~SD", "Darkness: 20" },
    };
    for (const Case &c : cases) {
        const RenderResult result = Render(c.commands);
        EXPECT_EQ(SettingValue(result, c.command), c.listed) << c.commands.constData();
        EXPECT_EQ(WarningTexts(result), QStringList()) << c.commands.constData();
    }
}

TEST(LabelInterpreter, PrinterCommandsChangeNoPictureAndWarnNothing)
{
    const QByteArray label = "^XA^PW100^LL50^FO10,10^GB20,20,20^FS^XZ";
    const RenderResult plain = Render(label);
    const RenderResult mixed
        = Render("~HS~JA" + label.left(label.size() - 3) + "^HH^WDR:*.*^XZ~WC~HI~JR");
    ASSERT_EQ(mixed.labels.size(), 1);
    EXPECT_TRUE(SameDots(mixed.labels.first(), plain.labels.first()));
    EXPECT_EQ(WarningTexts(mixed), QStringList());
}

} // namespace
