#include "preview/labelrenderer.h"

#include "preview/barcodescan.h"
#include "preview/labelimage.h"
#include "preview/zxingscan.h"

#include <gtest/gtest.h>

namespace {

struct Drawn
{
    QImage label;
    QList<RenderWarning> warnings;
};

Drawn Draw(const QByteArray &fields)
{
    const RenderResult result = RenderLabels("^XA^PW800^LL800\n" + fields + "^XZ");
    EXPECT_EQ(result.labels.size(), 1) << fields.constData();
    return { result.labels.value(0).convertToFormat(QImage::Format_Grayscale8), result.warnings };
}

QString Texts(const QList<RenderWarning> &warnings)
{
    QStringList texts;
    for (const RenderWarning &w : warnings)
        texts << w.text;
    return texts.join(QLatin1Char('\n'));
}

TEST(DataMatrixData, EscapeSequencesAreReadAsThePrinterReadsThem)
{
    struct Case
    {
        QByteArray field;
        QByteArray decoded; // FNC1 read as a group separator
        QString warning; // the start of the one warning, if any
    };
    const Case cases[] = {
        // FNC1 first makes a GS1 symbol; later ones separate its identifiers.
        { "^BXN,4,200,20,20,6,_^FD_1420123_19261290^FS",
          "\x1d"
          "420123\x1d"
          "9261290",
          {} },
        // A separator after an identifier of fixed length is drawn too.
        { "^BXN,5,200^FD_10112345678901231_110ABC^FS",
          "\x1d"
          "0112345678901231\x1d"
          "10ABC",
          {} },
        { "^BXN,5,200,,,,!^FD!1011234567890123110ABC!121X^FS",
          "\x1d"
          "011234567890123110ABC\x1d"
          "21X",
          {} },
        // The escape character of the seventh parameter; the underscore when left out.
        { "^BXN,5,200,,,,#^FDA_1B#d067##^FS", "A_1BC#", {} },
        { "^BXN,5,200^FDA__B_d066_M_@Z^FS", QByteArray("A_BB\r\0Z", 7), {} },
        // Macro 05 header and trailer written with control characters.
        { "^BXN,5,200^FD[)>_d03005_]ABC_d030_D^FS",
          "[)>\x1e"
          "05\x1d"
          "ABC\x1e\x04",
          {} },
        // Reader programming, then the data.
        { "^BXN,5,200^FD_3AB^FS", "AB", {} },
        // What the printer does not know is drawn as written, and said.
        { "^BXN,5,200^FDA_4B^FS", "A_4B", "Data Matrix: escape sequence \"_4\" not known" },
        { "^BXN,5,200^FDA_d999^FS", "A_d999", "Data Matrix: escape sequence \"_d999\" not known" },
        { "^BXN,5,200^FDAB_3C^FS", "ABC",
          "Data Matrix: reader programming \"_3\" only at the start" },
        // FNC1 not first: no GS1 symbol; readers pass it on as a group separator.
        { "^BXN,5,200^FDAB_1CD^FS",
          "AB\x1d"
          "CD",
          "Data Matrix: FNC1 outside GS1 data" },
        { "^BXN,5,200^FD_1A1_1B2^FS",
          "\x1d"
          "A1\x1d"
          "B2",
          "Data Matrix: FNC1 outside GS1 data" },
        // Below quality 200 the data stands as written.
        { "^BXN,5,140^FDA_1B^FS", "A_1B", "Data Matrix quality 140 drawn as ECC 200" },
    };
    for (const Case &c : cases) {
        const Drawn drawn = Draw("^FO50,50" + c.field);
        EXPECT_EQ(Dmtx(drawn.label), c.decoded) << c.field.constData();
        if (c.warning.isEmpty()) {
            EXPECT_TRUE(drawn.warnings.isEmpty())
                << c.field.constData() << ": " << Texts(drawn.warnings).toStdString();
        } else {
            ASSERT_EQ(drawn.warnings.size(), 1) << c.field.constData();
            EXPECT_TRUE(drawn.warnings.at(0).text.startsWith(c.warning))
                << drawn.warnings.at(0).text.toStdString();
            EXPECT_EQ(drawn.warnings.at(0).line, 2);
            EXPECT_EQ(drawn.warnings.at(0).column, 1);
        }
    }
}

TEST(DataMatrixData, LeftOutParametersTakeThePrintersDefaults)
{
    // Every parameter left out: quality 0 (drawn as ECC 200, and said), the
    // ^BY height shared by the rows, no escape sequences.
    const Drawn bare = Draw("^BY2,3,90^FO50,50^BX^FDA_1Tarvolin^FS");
    EXPECT_EQ(Dmtx(bare.label), "A_1Tarvolin");
    EXPECT_EQ(Texts(bare.warnings), QStringLiteral("Data Matrix quality 0 drawn as ECC 200"));
    // Eleven code words: 16 x 16 modules of 90 / 16 dots.
    EXPECT_EQ(InkBounds(bare.label), QRect(50, 50, 80, 80));

    struct Case
    {
        QByteArray field;
        QRect bounds;
    };
    const Case cases[] = {
        // The size holds the printer's code words: FNC1 one, two digits one.
        { "^BXN,5,200^FD_10112345678901231^FS", QRect(50, 50, 80, 80) }, // 9: 16 x 16
        // Hexadecimal escapes first; a byte past 127 takes two.
        { "^BXN,5,200^FH^FD_C4_D6_DC_E4_F6_FC_DF^FS", QRect(50, 50, 90, 90) }, // 14: 18 x 18
        { "^BXN,5,200^FD_3_5026A1234^FS", QRect(50, 50, 70, 70) }, // 1 + 2 + 1 + 2: 14 x 14
        // Aspect 2: the smallest rectangle that holds them.
        { "^BXN,5,200,,,,,2^FDABC^FS", QRect(50, 50, 90, 40) },
        { "^BXN,5,200,,,,,2^FDTarvolin-1234^FS", QRect(50, 50, 130, 60) }, // 11: 12 x 26
        // A rectangle asked for by its size.
        { "^BXN,5,200,36,12^FDABC^FS", QRect(50, 50, 180, 60) },
    };
    for (const Case &c : cases) {
        const Drawn drawn = Draw("^FO50,50" + c.field);
        EXPECT_EQ(InkBounds(drawn.label), c.bounds) << c.field.constData();
        EXPECT_FALSE(Dmtx(drawn.label).isEmpty()) << c.field.constData();
    }
}

TEST(QrData, ManualInputModesRoundTrip)
{
    struct Case
    {
        QByteArray data;
        QString decoded;
        bool appended = false; // one symbol of a structured append
    };
    const Case cases[] = {
        { "MM,N0123456789", "0123456789" },
        { "LM,AHELLO WORLD $%*+-./:42", "HELLO WORLD $%*+-./:42" },
        // Bytes: as many as counted, commas and small letters included.
        { "QM,B0011hello,world", "hello,world" },
        { "HM,B0004a,bc", "a,bc" },
        // Kanji: Shift JIS double-byte characters.
        { "MM,K\x93\xfa\x96\x7b\x8c\xea", QString::fromUtf8("日本語") },
        // Automatic input takes everything after the separator.
        { "MA,Mixed case, 1234 & more", "Mixed case, 1234 & more" },
        // Mixed mode: one symbol of a structured append, segments of several
        // modes; a byte segment ends at its count, commas and all.
        { "D03048F,LM,N0123456789,A12AABB,B0006qrcode", "012345678912AABBqrcode", true },
        { "D01021A,HM,B0003a,b,N42,K\x93\xfa", QString::fromUtf8("a,b42日"), true },
        { "D02020F,QA,Automatic, as ever", "Automatic, as ever", true },
    };
    for (const Case &c : cases) {
        const Drawn drawn = Draw("^FO50,50^BQN,2,4^FD" + c.data + "^FS");
        const QString type = c.appended ? "QR-Code, structured append:" : "QR-Code:";
        EXPECT_EQ(Zbar(drawn.label), QStringList { type + c.decoded }) << c.data.constData();
        EXPECT_TRUE(drawn.warnings.isEmpty())
            << c.data.constData() << ": " << Texts(drawn.warnings).toStdString();
    }
}

TEST(QrData, DataTheModeCannotHoldIsLeftOutAndSaid)
{
    struct Case
    {
        QByteArray data;
        QString decoded;
        QString warning;
        bool appended = false;
    };
    const Case cases[] = {
        { "MM,Ahttps://example.org/a", "://./",
          "QR alphanumeric input (digits, capitals, space, $ % * + - . / :) cannot hold "
          "\"httpsexampleorga\": left out" },
        { "MM,A3SPOST123|2514EE", "3SPOST1232514EE",
          "QR alphanumeric input (digits, capitals, space, $ % * + - . / :) cannot hold "
          "\"|\": left out" },
        { "MM,N12-34 x", "1234", "QR numeric input (digits) cannot hold \"- x\": left out" },
        { "MM,B0003abcdef", "abc", "QR byte input counts 3 bytes: \"def\" after them left out" },
        { "MM,B0010abc", "abc", "QR byte input counts 10 bytes, the data has 3" },
        { "MM,Babc", "abc", "QR byte input without its four-digit count: \"abc\" drawn as bytes" },
        { "MM,K\x93\xfa"
          "A",
          QString::fromUtf8("日"),
          "QR Kanji input (Shift JIS double-byte characters) cannot hold \"A\": left out" },
        { "MM,Zabc", "abc",
          "QR input mode \"Z\" not known (N, A, B or K): the data after it drawn as bytes" },
        { "D1702AB,MM,N12", "12",
          "QR mixed mode header \"D1702AB\" is not the symbol's number and the number of "
          "symbols (two digits each, up to 16) and two hexadecimal digits of parity: drawn as "
          "one symbol" },
        { "D01024F,MM,N1x,AAB", "1AB", "QR numeric input (digits) cannot hold \"x\": left out",
          true },
    };
    for (const Case &c : cases) {
        const Drawn drawn = Draw("^FO50,50^BQN,2,4^FD" + c.data + "^FS");
        const QString type = c.appended ? "QR-Code, structured append:" : "QR-Code:";
        EXPECT_EQ(Zbar(drawn.label), QStringList { type + c.decoded }) << c.data.constData();
        ASSERT_EQ(drawn.warnings.size(), 1) << c.data.constData();
        EXPECT_EQ(drawn.warnings.at(0).text, c.warning);
        // Where the field starts.
        EXPECT_EQ(drawn.warnings.at(0).line, 2);
        EXPECT_EQ(drawn.warnings.at(0).column, 1);
    }
}

// Every symbology a reader here knows: the text read from the picture is
// what the printer encodes from the field data (check digits, padding, start
// and stop, subsets). Aztec, MaxiCode, PDF417 and the other symbologies no
// reader here reads are held to their sizes in symbology_test.
TEST(BarcodeData, EveryReadableSymbologyScansAsThePrinterEncodes)
{
    struct Case
    {
        QByteArray field;
        QString decoded;
    };
    const Case cases[] = {
        // Code 128: invocation codes, and the case mode's fill and check digit.
        { "^BY2^BCN,80,N^FD>;1234>6ab^FS", "CODE-128:1234ab" },
        { "^BY2^BCN,80,N,N,N,U^FD12^FS", "CODE-128:12000000000000000005" },
        // Code 39 with its modulo 43 check character; LOGMARS always has it.
        { "^BY2^B3N,Y,80,N^FDCODE39^FS", "CODE-39:CODE39W" },
        { "^BY2^BLN,80^FDTAR42^FS", "CODE-39:TAR42T" },
        // Code 93: its two check characters are the reader's, not data.
        { "^BY2^BAN,80,N^FDCODE93^FS", "CODE-93:CODE93" },
        // EAN and UPC: short data filled up with zeros in front, long data
        // cut, the check digit always the printer's.
        { "^BY2^BEN,80,N^FD12345^FS", "UPC-A:000000123457" }, // read as UPC-A: 0 in front
        { "^BY2^BEN,80,N^FD4006381333939^FS", "EAN-13:4006381333931" },
        { "^BY2^B8N,80,N^FD123^FS", "EAN-8:00001236" },
        { "^BY2^BUN,80,N^FD123^FS", "UPC-A:000000001236" },
        { "^BY2^B9N,80,N^FD123456^FS", "UPC-E:01234565" },
        // Interleaved 2 of 5: an odd count gets a zero in front, e the check digit.
        { "^BY2^B2N,80,N^FD12345^FS", "I2/5:012345" },
        { "^BY2^B2N,80,N,N,Y^FD1234567^FS", "I2/5:12345670" },
        // Codabar: start and stop from the command, not from the data.
        { "^BY2^BKN,N,80,N,N,C,B^FDA1234A^FS", "Codabar:C1234B" },
        // DataBar: application identifier 01 and the check digit added.
        { "^BRN,1,2,1,100^FD0401234567890^FS", "DataBar:0104012345678901" },
        // QR and Data Matrix: their data conventions (more in the tests above).
        { "^BQN,2,4^FDHM,B0005a,b,c^FS", "QR-Code:a,b,c" },
    };
    for (const Case &c : cases) {
        const Drawn drawn = Draw("^FO50,50" + c.field);
        EXPECT_EQ(Zbar(drawn.label), QStringList { c.decoded }) << c.field.constData();
        EXPECT_TRUE(drawn.warnings.isEmpty())
            << c.field.constData() << ": " << Texts(drawn.warnings).toStdString();
    }
    const Drawn dm = Draw("^FO50,50^BXN,5,200^FD_1010950110153000310ABC_d065^FS");
    EXPECT_EQ(Dmtx(dm.label),
              "\x1d"
              "010950110153000310ABCA");
}

TEST(BarcodeData, DigitsOnlySymbologiesSayWhatTheyLeaveOut)
{
    struct Case
    {
        QByteArray field;
        QString warning;
        QString decoded; // where a reader here reads it
    };
    const Case cases[] = {
        { "^BY2^B2N,80,N^FDAB12-3456^FS", "Interleaved 2 of 5 takes digits only: \"AB-\" left out",
          "I2/5:123456" },
        { "^BY2^B2N,80,N^FD>;123456^FS", {}, "I2/5:123456" },
        { "^BY2^BIN,80,N^FD12 34^FS", "Industrial 2 of 5 takes digits only: \" \" left out", {} },
        { "^BY2^BJN,80,N^FD1x2^FS", "Standard 2 of 5 takes digits only: \"x\" left out", {} },
        { "^BY2^BMN,B,80,N^FD12.5^FS", "MSI takes digits only: \".\" left out", {} },
        { "^BY2^BZN,80^FD12345-6789^FS", "POSTNET takes digits only: \"-\" left out", {} },
    };
    for (const Case &c : cases) {
        const Drawn drawn = Draw("^FO50,50" + c.field);
        EXPECT_EQ(Texts(drawn.warnings), c.warning) << c.field.constData();
        EXPECT_FALSE(InkBounds(drawn.label).isEmpty()) << c.field.constData();
        if (!c.decoded.isEmpty()) {
            EXPECT_EQ(Zbar(drawn.label), QStringList { c.decoded }) << c.field.constData();
        }
    }
}

// The two-dimensional symbols zbar and libdmtx do not read, read by a third
// decoder: the data as the printer encodes it, MaxiCode's primary message
// (class of service, country and postal code at the head of the field) put
// where the symbol carries it.
TEST(BarcodeData, AztecMaxiCodeAndPdf417ScanAsThePrinterEncodes)
{
    struct Case
    {
        QByteArray field;
        QString decoded;
    };
    const Case cases[] = {
        { "^B0N,4^FDTarvolin Aztec 123^FS", "Aztec:Tarvolin Aztec 123" },
        { "^B0N,4,N,40^FDmore error control^FS", "Aztec:more error control" },
        { "^B0N,4,N,102^FDcompact^FS", "Aztec:compact" },
        { "^BY2^B7N,8,2^FDTarvolin PDF417^FS", "PDF417:Tarvolin PDF417" },
        { "^BY2^B7N,6,5,4^FDfour columns, security 5^FS", "PDF417:four columns, security 5" },
        { "^BD4^FDTarvolin MaxiCode^FS", "MaxiCode:Tarvolin MaxiCode" },
        { "^BD2^FH^FD002840152382802[)>_1E01_1D961Z00004951_1DUPSN_1D06X610_1E_04^FS",
          "MaxiCode:[)>\x1e"
          "01\x1d"
          "96152382802\x1d"
          "840\x1d"
          "002\x1d"
          "1Z00004951\x1dUPSN\x1d"
          "06X610\x1e\x04" },
        { "^BD3^FH^FD066826EC1A1B[)>_1E01_1D96ABC_1E_04^FS",
          "MaxiCode:[)>\x1e"
          "01\x1d"
          "96EC1A1B\x1d"
          "826\x1d"
          "066\x1d"
          "ABC\x1e\x04" },
    };
    for (const Case &c : cases) {
        const Drawn drawn = Draw("^FO50,50" + c.field);
        EXPECT_EQ(Zxing(drawn.label), QStringList { c.decoded }) << c.field.constData();
        EXPECT_TRUE(drawn.warnings.isEmpty())
            << c.field.constData() << ": " << Texts(drawn.warnings).toStdString();
    }
}

} // namespace
