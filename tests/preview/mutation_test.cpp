// Real formats with random damage: every result is a picture or a warning,
// never a crash, a hang or an oversized allocation.
#include "preview/labelrenderer.h"

#include "commands/testlabel.h"
#include "files/fontsample.h"
#include "support/samplelabels.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

QByteArray Mutate(QByteArray bytes, QRandomGenerator &random)
{
    static const QByteArray pieces[] = { "^XA",
                                         "^XZ",
                                         "^FS",
                                         "^FO",
                                         "^GB99999,99999,1",
                                         "^PQ500",
                                         "^SN",
                                         "^FH",
                                         "^CI28",
                                         "^GFA,9999999,9999999,4000,",
                                         "~DGR:X.GRF,99999999,4,",
                                         "^XGX",
                                         "^BQN,2,10",
                                         "^FB",
                                         "\xC3",
                                         "\xFF",
                                         ",",
                                         "_",
                                         ">;",
                                         "^A@N,50,50,E:X.TTF",
                                         "^POI",
                                         "^LL",
                                         "^PW",
                                         "^BXN,99",
                                         "^B7N,1,8,30,90" };
    const int edits = 1 + random.bounded(8);
    for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
        const qsizetype at = random.bounded(bytes.size());
        switch (random.bounded(6)) {
        case 0: // flip a byte
            bytes[at] = char(random.bounded(256));
            break;
        case 1: // cut a piece out
            bytes.remove(at, random.bounded(1 + std::min<qsizetype>(bytes.size() - at, 40)));
            break;
        case 2: // put a command piece in
            bytes.insert(at, pieces[random.bounded(int(std::size(pieces)))]);
            break;
        case 3: // repeat a piece
            bytes.insert(at, bytes.mid(at, random.bounded(60)).repeated(1 + random.bounded(4)));
            break;
        case 4: // end early
            bytes.truncate(at);
            break;
        case 5: // a number grows
            bytes.insert(at, QByteArray::number(random.bounded(100000)));
            break;
        }
    }
    return bytes;
}

TEST(LabelRendererMutations, DamagedFormatsRenderOrWarn)
{
    FontSampleOptions sample;
    sample.fileNameText = QStringLiteral("Demo.ttf");
    sample.characterSet = QStringLiteral("28");
    const QByteArray formats[] = {
        TestLabelCommand(StartSetupValues()),
        FontSampleLabel(sample, StartSetupValues()),
        ShippingLabel(8),
        "^XA^FO20,20^GFA,40,40,4,HFH0HFH0:N0F,!" + QByteArray(":Z64:eJzLSM3JyQcABiwCFQ==:1234")
            + "^FS^FO10,10^BXN,4,200^FDdata^FS^FO100,100^B7N,4,2^FDpdf^FS"
              "^FO200,200^FB300,3,0,J,10^FDa long text\\&that wraps^FS^XZ",
    };
    QRandomGenerator random(20261208);
    const int rounds = 300;
    for (const QByteArray &format : formats) {
        for (int round = 0; round < rounds; ++round) {
            const QByteArray damaged = Mutate(format, random);
            QElapsedTimer clock;
            clock.start();
            const RenderResult result = RenderLabels(damaged);
            // Generous: it did not hang.
            EXPECT_LT(clock.elapsed(), 20000) << damaged.toStdString();
            // A picture for every label asked for, up to the limit.
            EXPECT_EQ(result.labels.size(), std::min(result.labelsRequested, 100));
            for (const QImage &label : result.labels) {
                EXPECT_LE(label.width(), 32000);
                EXPECT_LE(label.height(), 32000);
                EXPECT_LE(qint64(label.width()) * label.height(), 32'000'000);
            }
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

} // namespace
