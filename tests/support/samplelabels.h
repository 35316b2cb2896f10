#pragma once

// Label formats used by the preview tests, the benchmark and the screenshots.

#include <QByteArray>

// A 4 x 6 inch shipping label: 25 text fields, two Code 128 bar codes, one QR
// code and three boxes. Positions are for 203 dpi and scaled by 1.5 at 300 dpi.
inline QByteArray ShippingLabel(int dotsPerMm = 8)
{
    const auto n = [dotsPerMm](int dots) {
        return QByteArray::number(dotsPerMm == 12 ? dots * 3 / 2 : dots);
    };
    const auto at = [&](int x, int y) {
        return "^FO" + n(x) + "," + n(y);
    };
    const auto font = [&](int h) {
        return "^A0N," + n(h) + "," + n(h);
    };
    QByteArray label = "^XA\r\n^CI28\r\n^PW" + n(812) + "^LL" + n(1218) + "\r\n^LH0,0\r\n";
    // Frame and two bands.
    label += at(10, 10) + "^GB" + n(792) + "," + n(1198) + "," + n(4) + "^FS\r\n";
    label += at(10, 250) + "^GB" + n(792) + "," + n(4) + "," + n(4) + "^FS\r\n";
    label += at(10, 560) + "^GB" + n(792) + "," + n(230) + "," + n(230) + "^FS\r\n";
    // Sender, 5 lines.
    const char *sender[] = { "FROM:", "Tarvolin Test Works", "12 Harbour Road", "Unit 4, Dockside",
                             "Bremen 28195 DE" };
    for (int i = 0; i < 5; ++i)
        label += at(30, 30 + i * 40) + font(i == 0 ? 24 : 30) + "^FD" + sender[i] + "^FS\r\n";
    // Recipient, 6 lines.
    const char *recipient[] = { "SHIP TO:",         "Jördis Ämmälä",  "Logistics Dept.",
                                "Kaivokatu 8 B 22", "00100 Helsinki", "FINLAND" };
    for (int i = 0; i < 6; ++i)
        label += at(30, 270 + i * 46) + font(i == 0 ? 24 : 40) + "^FD" + recipient[i] + "^FS\r\n";
    // Service band, reversed text on the black band: 4 fields.
    label += at(40, 590) + font(90) + "^FR^FDPRIORITY^FS\r\n";
    label += at(40, 690) + font(40) + "^FR^FDNext day, before 10:30^FS\r\n";
    label += at(560, 590) + font(60) + "^FR^FDZone^FS\r\n";
    label += at(600, 660) + font(100) + "^FR^FD7^FS\r\n";
    // Tracking bar code and its text.
    label += "^BY3,3," + n(160) + "\r\n";
    label += at(60, 820) + "^BCN," + n(160) + ",N,N,N^FD>:1Z999AA10123456784^FS\r\n";
    label += at(60, 990) + font(30) + "^FDTracking 1Z 999 AA1 01 2345 6784^FS\r\n";
    // Order bar code (400 dots wide: letters keep Code 128 in its subset B), QR code (which a
    // printer moves down by the ^BY height), 9 small fields beside the bar code.
    label += "^BY2,3," + n(10) + "\r\n" + at(30, 1050) + "^BCN," + n(80)
        + ",Y,N,N^FDORD-2026-004711^FS\r\n";
    label
        += at(600, 20) + "^BQN,2," + n(4) + "^FDQA,https://track.example/1Z999AA10123456784^FS\r\n";
    const char *details[]
        = { "Weight 2.4 kg", "Pieces 1/1", "Ref 8841-C",   "Dim 40x30x20",      "Paid",
            "Dept 31",       "Bay 4",      "Route HEL-07", "Printed 08.12.2026" };
    for (int i = 0; i < 9; ++i)
        label += at(450 + (i % 2) * 180, 1050 + (i / 2) * 30) + font(24) + "^FD" + details[i]
            + "^FS\r\n";
    label += "^PQ1,0,1,N\r\n^XZ\r\n";
    return label;
}
