// The manual page of tarvolin-cli names every operation as an entry of its
// own and every option the program takes.
#include "cli/operations.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

// The page's text without font changes and escapes: "\fBrender\fR \fIfile\fR"
// reads "render file".
QString Plain(QString line)
{
    static const QRegularExpression fonts(QStringLiteral("\\\\f[BIRP]"));
    static const QRegularExpression macro(QStringLiteral("^\\.(B|I|BI|BR|IR|IB|RB|RI)\\s+"));
    line.remove(fonts).remove(macro).remove(QLatin1Char('\\')).remove(QLatin1Char('"'));
    return line.simplified();
}

TEST(CliManPage, EveryOperationHasItsEntryAndEveryOptionIsNamed)
{
    QFile page(QStringLiteral(TARVOLIN_SOURCE_DIR "/man/tarvolin-cli.1"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(page.readAll()).split(QLatin1Char('\n'));
    QStringList tags;
    QString text;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i] == QLatin1String(".TP") && i + 1 < lines.size())
            tags << Plain(lines[i + 1]);
        text += Plain(lines[i]) + QLatin1Char('\n');
    }
    for (const Operation &op : Operations()) {
        SCOPED_TRACE(op.name.toStdString());
        // An entry of its own, on one line, with its operands and options.
        const auto entry = std::find_if(tags.begin(), tags.end(), [&](const QString &tag) {
            return tag.section(QLatin1Char(' '), 0, 0) == op.name;
        });
        ASSERT_NE(entry, tags.end());
        for (const QString &option : op.options)
            EXPECT_TRUE(entry->contains(QStringLiteral("--") + option))
                << entry->toStdString() << " lacks --" << option.toStdString();
    }
    for (const OptionInfo &option : AllOptions())
        EXPECT_TRUE(text.contains(QStringLiteral("--") + option.name)) << option.name.toStdString();
}

} // namespace
