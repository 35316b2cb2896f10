// How the virtual printer reads a format: settings, quantity, serial numbers;
// its memory's name patterns; and the pace of its serial line.
#include "preview/fielddata.h"
#include "printer/formatcommands.h"
#include "printer/linepacer.h"
#include "printer/printermemory.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

TEST(FormatCommands, SettingsCommandsTakeOnlyWhatAPrinterTakes)
{
    const struct
    {
        QByteArray format;
        QString described; // PrinterSettings::Describe() afterwards
        int errors;
    } cases[] = {
        { "^XA^PR3,^PW608^LL1600^MNN^MMT,Y^MTD^PON^LT0^LS0^LH0,0^XZ",
          "speed 3, darkness 10, width 608, length 1600, media sensing N, post-print T (pre-peel), "
          "media type D, orientation N, top 0, shift 0, home 0,0",
          0 },
        { "^XA^PRD^MNY^MMR^POI^LT-120^LS-9999^LH12,^XZ",
          "speed 6, darkness 10, width 832, length 1216, media sensing W, post-print R, "
          "media type T, orientation I, top -120, shift -9999, home 12,0",
          0 },
        // Out of range or not a value: unchanged.
        { "^XA^PR,^PR15^PW-80^PWabc^LL0^MNQ^MM^MTX^POZ^LT160^LS10000^LH-1,5^XZ",
          PrinterSettings::Factory(8).Describe(), 12 },
    };
    for (const auto &c : cases) {
        PrinterSettings s = PrinterSettings::Factory(8);
        int errors = 0;
        for (const CaretCommand &command : SplitFormat(c.format)) {
            QString error;
            ApplySettingsCommand(command, s, &error);
            errors += !error.isEmpty();
        }
        EXPECT_EQ(s.Describe(), c.described) << c.format.toStdString();
        EXPECT_EQ(errors, c.errors) << c.format.toStdString();
    }
}

TEST(FormatCommands, QuantityAndSerialNumbers)
{
    const struct
    {
        QByteArray format;
        qint64 labels;
        qint64 replicates;
        bool error;
    } quantities[] = {
        { "^XA^FDx^XZ", 1, 1, false },
        { "^XA^PQ3,0,1,N^XZ", 3, 1, false },
        { "^XA^PQ,0,1,N^XZ", 1, 1, false },
        { "^XA^PQ6,0,2,N^XZ", 6, 2, false },
        { "^XA^PQ1^PQ99999999^XZ", 99999999, 1, false },
        { "^XA^PQ100000000^XZ", 1, 1, true },
        { "^XA^PQ2000000000^XZ", 1, 1, true },
        { "^XA^PQ-1^XZ", 1, 1, true },
        { "^XA^PQthree^XZ", 1, 1, true },
    };
    for (const auto &c : quantities) {
        QString error;
        const PrintQuantity q = ParseQuantity(SplitFormat(c.format), &error);
        EXPECT_EQ(q.labels, c.labels) << c.format.toStdString();
        EXPECT_EQ(q.replicates, c.replicates) << c.format.toStdString();
        EXPECT_EQ(!error.isEmpty(), c.error) << c.format.toStdString();
    }
}

TEST(FormatCommands, SerialNumbersCountOnFromLabelToLabel)
{
    // What ^SNstart,step,zeros prints on a label, the first being 0.
    const struct
    {
        QByteArray start;
        qint64 step;
        bool zeros;
        qint64 index;
        QByteArray value;
    } serials[] = {
        { "0001", 1, true, 2, "0003" },
        { "100", -10, false, 1, " 90" },
        { "AB0998CD", 1, true, 3, "AB1001CD" },
        { "7", 1, false, 5, "2" }, // a counter of one digit
        { "X", 1, false, 5, "X" },
    };
    for (const auto &c : serials)
        EXPECT_EQ(SerialValue(c.start, c.step, c.zeros, c.index), c.value) << c.start.constData();
}

TEST(FormatCommands, WhatPrintsALabel)
{
    EXPECT_FALSE(PrintsLabel(SplitFormat("^XA^PR3,^PW608^LL1600^XZ")));
    EXPECT_FALSE(PrintsLabel(SplitFormat("^XA^JUS^XZ")));
    EXPECT_TRUE(PrintsLabel(SplitFormat("^XA^FO1,1^FDx^FS^XZ")));
    EXPECT_TRUE(PrintsLabel(SplitFormat("^XA^FO1,1^GB10,10,1^FS^XZ")));
    EXPECT_TRUE(PrintsLabel(SplitFormat("^xa^fo1,1^fdx^fs^xz")));
}

TEST(FormatCommands, PrefixChangesInsideAFormatAreFollowed)
{
    // Each command as name and parameters, "|" between them.
    const struct
    {
        QByteArray format;
        QByteArray commands;
    } cases[] = {
        { "^XA^CC!!PW400!XZ", "XA|CC!|PW400|XZ" },
        { "^XA~CC!!PW400!XZ", "XA|PW400|XZ" },
        { "^XA~cc!!pw400!xz", "XA|PW400|XZ" },
        // After ~CT the old control prefix is text, the new one changes.
        { "^XA^CT#~CC!^PW4#CC!!XZ", "XA|CT#~CC!|PW4|XZ" },
        { "^XA~CT##CC!!PW400!XZ", "XA|PW400|XZ" },
        // A tilde that starts no prefix change is the caret command's text.
        { "^XA^FDa~b^FS~CC!!XZ", "XA|FDa~b|FS|XZ" },
        { "^XA^FD~C^XZ", "XA|FD~C|XZ" },
    };
    for (const auto &c : cases) {
        QByteArrayList names;
        for (const CaretCommand &command : SplitFormat(c.format))
            names << QByteArray(command.name) + command.params.toByteArray();
        EXPECT_EQ(names.join('|'), c.commands) << c.format.toStdString();
    }
}

TEST(PrinterMemory, NamePatterns)
{
    const struct
    {
        const char *name;
        const char *pattern;
        bool matches;
    } cases[] = {
        { "DEMO.FNT", "*", true },      { "DEMO.FNT", "*.*", true },
        { "DEMO.FNT", "*.FNT", true },  { "demo.fnt", "DEMO.FNT", true },
        { "DEMO.FNT", "D?MO.*", true }, { "DEMO.FNT", "*.GRF", false },
        { "DEMO.FNT", "DEMO", false },  { "AAB", "*AB", true },
        { "ABAB", "*A*B", true },       { "", "*", true },
    };
    for (const auto &c : cases)
        EXPECT_EQ(PrinterMemory::Matches(c.name, c.pattern), c.matches)
            << c.name << " " << c.pattern;
}

TEST(LinePacer, BytesCrossAtTenBitsEach)
{
    constexpr qint64 Ms = 1000000;
    LinePacer line(9600); // 960 bytes a second
    EXPECT_EQ(line.Take(100, 0), 0);
    EXPECT_EQ(line.Take(100, 10 * Ms), 9); // 9.6 bytes have crossed
    EXPECT_EQ(line.Take(100, 20 * Ms), 10); // the 0.6 left over counts
    EXPECT_EQ(line.NanosecondsToNext(20 * Ms), 833334); // 0.8 of a byte to go
    // A quiet second stores up no more than 20 ms of bytes.
    EXPECT_EQ(line.Take(1000, 1020 * Ms), 19);
    EXPECT_EQ(line.Take(3, 1021 * Ms), 1); // 0.2 left and 0.96 more

    LinePacer unlimited;
    EXPECT_EQ(unlimited.Take(1 << 30, 0), 1 << 30);
    EXPECT_EQ(unlimited.NanosecondsToNext(0), 0);
}
