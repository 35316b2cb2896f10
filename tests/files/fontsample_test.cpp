// The font sample label, byte for byte.
#include "core/exceptions.h"
#include "files/fontsample.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

namespace {

const QByteArray Bom = "\xEF\xBB\xBF";

FontSampleOptions DemoOptions()
{
    return {
        .fileNameText = "Demo.ttf", .characterSet = "28", .selectByA = true, .hexEscapes = true
    };
}

// Everything after the sample line: frame (if any), quantity, end.
QByteArray Tail(const QByteArray &label)
{
    const QByteArray sampleEnd = FontSampleText() + "^FS\r\n";
    return label.mid(label.indexOf(sampleEnd) + sampleEnd.size());
}

} // namespace

TEST(FontSample, StartSettingsWithEscapesAndTheACommand)
{
    const QByteArray expected = Bom
        + "^XA\r\n"
          "^CI28^CW1,E:DEMO.FNT^FS\r\n"
          "^A1,40,40^FO15,500\r\n"
          "^FH^FD_80_81_82_83_84_85_86_87_88_89_8A_8B_8C_8D_8E_8F^FS\r\n"
          "^FO15,550\r\n"
          "^FH^FD_90_91_92_93_94_95_96_97_98_99_9A_9B_9C_9D_9E_9F^FS\r\n"
          "^FO15,600\r\n"
          "^FH^FD_A0_A1_A2_A3_A4_A5_A6_A7_A8_A9_AA_AB_AC_AD_AE_AF^FS\r\n"
          "^FO15,650\r\n"
          "^FH^FD_B0_B1_B2_B3_B4_B5_B6_B7_B8_B9_BA_BB_BC_BD_BE_BF^FS\r\n"
          "^FO15,700\r\n"
          "^FH^FD_C0_C1_C2_C3_C4_C5_C6_C7_C8_C9_CA_CB_CC_CD_CE_CF^FS\r\n"
          "^FO15,750\r\n"
          "^FH^FD_D0_D1_D2_D3_D4_D5_D6_D7_D8_D9_DA_DB_DC_DD_DE_DF^FS\r\n"
          "^FO15,800\r\n"
          "^FH^FD_E0_E1_E2_E3_E4_E5_E6_E7_E8_E9_EA_EB_EC_ED_EE_EF^FS\r\n"
          "^FO15,850\r\n"
          "^FH^FD_F0_F1_F2_F3_F4_F5_F6_F7_F8_F9_FA_FB_FC_FD_FE_FF^FS\r\n"
          "^FO15,950\r\n"
          "^FH^FD"
        + FontSampleText()
        + "^FS\r\n"
          "^PQ1,0,1,N\r\n"
          "^XZ\r\n";
    EXPECT_EQ(FontSampleLabel(DemoOptions(), StartSetupValues(), QLocale::c()), expected);
}

TEST(FontSample, RawRowsWithRowDigitAndTheAtCommand)
{
    FontSampleOptions options = DemoOptions();
    options.selectByA = false;
    options.hexEscapes = false;
    options.fileNameText = "my.font.ttf";
    QByteArray expected = Bom + "^XA\r\n^CI28^A@E:MY.FNT,N,20,20\r\n";
    const char *rows[] = { "808182838485868788898A8B8C8D8E8F", "909192939495969798999A9B9C9D9E9F",
                           "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF", "B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF",
                           "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF", "D0D1D2D3D4D5D6D7D8D9DADBDCDDDEDF",
                           "E0E1E2E3E4E5E6E7E8E9EAEBECEDEEEF", "F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF" };
    const char *digits = "89ABCDEF";
    const char *positions[] = { "500", "550", "600", "650", "700", "750", "800", "850" };
    for (int r = 0; r < 8; ++r) {
        expected += QByteArray("^FO15,") + positions[r] + "\r\n^FD" + QByteArray::fromHex(rows[r])
            + " " + digits[r] + "^FS\r\n";
    }
    expected += "^FO15,950\r\n^FD" + FontSampleText() + "^FS\r\n^PQ1,0,1,N\r\n^XZ\r\n";
    const QByteArray label = FontSampleLabel(options, StartSetupValues(), QLocale::c());
    EXPECT_EQ(label, expected);
    EXPECT_FALSE(label.contains("^FH"));
}

TEST(FontSample, FrameQuantityAndCharacterSet)
{
    const struct
    {
        Resolution resolution;
        LengthUnit unit;
        QString width;
        QString height;
        QString quantity;
        QByteArray tail;
    } cases[] = {
        { Resolution::Dpi203, LengthUnit::Mm, "76", "200", "1",
          "^FO16,16^GB576,1568,8,B,0^FS^PQ1,0,1,N\r\n^XZ\r\n" },
        { Resolution::Dpi300, LengthUnit::Mm, "76", "200", "3",
          "^FO24,24^GB864,2352,12,B,0^FS^PQ3,0,1,N\r\n^XZ\r\n" },
        // Half a dot goes to the even neighbour: W is 0.
        { Resolution::Dpi203, LengthUnit::Mm, "0.0625", "200", "",
          "^FO16,16^GB-32,1568,8,B,0^FS^PQ,0,1,N\r\n^XZ\r\n" },
        // Width and height are in the selected unit: 3 in is 609.6 dots.
        { Resolution::Dpi203, LengthUnit::Inch, "3", "8", "1",
          "^FO16,16^GB578,1594,8,B,0^FS^PQ1,0,1,N\r\n^XZ\r\n" },
        { Resolution::Dpi300, LengthUnit::Cm, "7.6", "-1", "x",
          "^FO24,24^GB864,-168,12,B,0^FS^PQx,0,1,N\r\n^XZ\r\n" },
    };
    for (const auto &c : cases) {
        SetupPanelValues panel = StartSetupValues();
        panel.resolution = c.resolution;
        panel.unit = c.unit;
        panel.width = c.width;
        panel.height = c.height;
        panel.quantity = c.quantity;
        panel.box = true;
        const QByteArray label = FontSampleLabel(DemoOptions(), panel, QLocale::c());
        EXPECT_EQ(Tail(label), c.tail) << c.width.toStdString();
        // The rows keep their places at either resolution.
        EXPECT_TRUE(label.contains("^FO15,500\r\n^FH^FD_80_81")) << c.width.toStdString();
        EXPECT_TRUE(label.contains("^FO15,950\r\n^FH^FD")) << c.width.toStdString();
    }

    SetupPanelValues panel = StartSetupValues();
    FontSampleOptions options = DemoOptions();
    options.characterSet.clear();
    EXPECT_TRUE(FontSampleLabel(options, panel, QLocale::c())
                    .startsWith(Bom + "^XA\r\n^CI^CW1,E:DEMO.FNT"));
    // The operator's decimal separator.
    panel.width = "76,5";
    panel.box = true;
    EXPECT_TRUE(FontSampleLabel(DemoOptions(), panel, QLocale(QLocale::German))
                    .contains("^GB580,1568,8,B,0^FS"));
}

TEST(FontSample, UnusableLabelSizeStopsTheLabelEvenWithoutFrame)
{
    const struct
    {
        QString width;
        QString height;
        QString message;
    } cases[] = {
        { "", "200", "'' is not a valid floating point value" },
        { "76", "abc", "'abc' is not a valid floating point value" },
        { "1.5", "200", "'1.5' is not a valid floating point value" }, // German locale
    };
    for (const auto &c : cases) {
        SetupPanelValues panel = StartSetupValues();
        panel.width = c.width;
        panel.height = c.height;
        try {
            FontSampleLabel(DemoOptions(), panel, QLocale(QLocale::German));
            ADD_FAILURE() << "no error for " << c.message.toStdString();
        } catch (const EConvertError &e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

TEST(FontSample, SampleTextIsTwoArabicWordsAndFiveRawBytes)
{
    const QByteArray text = FontSampleText();
    ASSERT_EQ(text.size(), 32);
    EXPECT_EQ(text.right(5), QByteArray::fromHex("8ACD98ADA7"));
    const QString phrase = QString::fromUtf8(text.left(27));
    EXPECT_EQ(phrase.toUtf8(), text.left(27)); // valid UTF-8
    ASSERT_EQ(phrase.size(), 14);
    const QStringList words = phrase.split(' ');
    ASSERT_EQ(words.size(), 2);
    EXPECT_EQ(words[0].size(), 5);
    EXPECT_EQ(words[1].size(), 8);
    const QString letters = QString(phrase).remove(QLatin1Char(' '));
    for (QChar c : letters)
        EXPECT_EQ(c.script(), QChar::Script_Arabic);
    EXPECT_FALSE(text.contains('_'));
}
