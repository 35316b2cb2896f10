// For every operation, tarvolin-cli sends exactly the bytes of the window's
// button for the same values: the window sends over its File interface, the
// program to a file target, and the two files are compared. Controls are
// found by their names and set as an operator would set them.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "cli/profile.h"
#include "commands/setuppanel.h"
#include "commands/statusquery.h"
#include "files/ui/filemanagertab.h"
#include "network/addresscommands.h"
#include "network/ui/ethernetsetuptab.h"
#include "network/ui/ipedit.h"
#include "serial/cport.h"
#include "support/cliprocess.h"
#include "support/ptyprinter.h"
#include "support/tempfile.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"
#include "tool/ui/commandtooltab.h"
#include "ui/errorbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<nothing sent>");
}

class CliAgainstWindow : public FileWindowTest
{
protected:
    template<class T> T *Control(const char *name)
    {
        return Find<T>(form.get(), QString::fromLatin1(name));
    }

    void Press(const char *button)
    {
        auto *b = Control<QPushButton>(button);
        ASSERT_NE(b, nullptr);
        watcher.Clear();
        b->click(); // hidden buttons too
        EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join(QLatin1Char('|')).toStdString();
    }

    // What the window's last send wrote (the File interface adds ".bin",
    // except for "Download").
    QByteArray WindowSent(const char *file = "abc.bin.bin")
    {
        const QString path = dir.filePath(QString::fromLatin1(file));
        const QByteArray sent = ReadAll(path);
        QFile::remove(path);
        return sent;
    }

    // What the program sends to a file target for the same values.
    QByteArray CliSent(QStringList args)
    {
        const QString out = dir.filePath(QStringLiteral("cli.out"));
        QFile::remove(out);
        const CliRun run = RunCliProgram(
            QStringList { QStringLiteral("--to"), QStringLiteral("file://") + out } + args);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();
        return ReadAll(out);
    }

    void ChooseRadio(const char *group, const QString &item)
    {
        auto *box = Control<QGroupBox>(group);
        for (QRadioButton *b : box->findChildren<QRadioButton *>())
            if (b->text().compare(item, Qt::CaseInsensitive) == 0) {
                b->click();
                return;
            }
        ADD_FAILURE() << group << " has no item " << item.toStdString();
    }

    // Types a profile into the setup panel, as an operator reading it would.
    void TypeProfile(const QByteArray &profile)
    {
        static const QHash<QString, const char *> combos {
            { QStringLiteral("speed"), "speedcb" },
            { QStringLiteral("density"), "densitycb" },
            { QStringLiteral("media-sensor"), "mediasensorcb" },
            { QStringLiteral("media-type"), "ribboncb" },
            { QStringLiteral("post-print-action"), "postactivecb" },
            { QStringLiteral("direction"), "directionxcb" },
        };
        static const QHash<QString, const char *> edits {
            { QStringLiteral("width"), "paperwidthe" },
            { QStringLiteral("height"), "paperheighte" },
            { QStringLiteral("top"), "Lte" },
            { QStringLiteral("shift"), "Shifte" },
            { QStringLiteral("home-x"), "Homexe" },
            { QStringLiteral("home-y"), "Homeye" },
        };
        for (QString line : QString::fromUtf8(profile).split(QLatin1Char('\n'))) {
            line.remove(QRegularExpression(QStringLiteral("(^|\\s)#.*$")));
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq < 0)
                continue;
            const QString key = line.left(eq).trimmed();
            const QString value = line.mid(eq + 1).trimmed();
            if (key == QLatin1String("resolution"))
                ChooseRadio("RadioGroup5", value);
            else if (key == QLatin1String("unit"))
                ChooseRadio("RadioGroup1", value);
            else if (combos.contains(key)) {
                auto *box = Control<QComboBox>(combos[key]);
                const int at = box->findText(value);
                ASSERT_GE(at, 0) << key.toStdString() << " " << value.toStdString();
                box->setCurrentIndex(at);
            } else if (edits.contains(key))
                Control<QLineEdit>(edits[key])->setText(value);
            else
                ADD_FAILURE() << "unknown key " << key.toStdString();
        }
    }

    ModalWatcher watcher;
};

TEST_F(CliAgainstWindow, FunctionButtons)
{
    const std::pair<const char *, const char *> cases[] = {
        { "Button1", "factory-default" },
        { "Button2", "test-page" },
        { "Button3", "reset" },
        { "Button4", "dump-mode" },
    };
    for (const auto &[button, operation] : cases) {
        SCOPED_TRACE(operation);
        Press(button);
        const QByteArray window = WindowSent();
        EXPECT_FALSE(window.isEmpty());
        EXPECT_EQ(CliSent({ QString::fromLatin1(operation) }), window);
    }
}

const char *const Profiles[] = {
    "",
    "resolution = 300dpi\nunit = Inch\nspeed =\ndensity = 0\nwidth = 2.5\nheight = 4\n"
    "media-sensor = Mark Sensing\nmedia-type = Thermal Transfer\npost-print-action = Rewind\n"
    "direction = Invert:Rotation 180\ntop = -9.5\nshift = 12.5\nhome-x = 40\nhome-y = 3\n",
    "unit = cm\nwidth = 7.6\nheight = 20\nspeed = 5\ndensity = 30\nmedia-sensor = Web Sensing\n"
    "post-print-action = Peel off\n",
    "resolution = 203dpi\nwidth = 0.0625\nheight = 0.1875e1\ntop = 14.94\nhome-y = 2.5\n",
};

TEST_F(CliAgainstWindow, StoreSettingsAndTestLabelFromAProfile)
{
    for (size_t i = 0; i < std::size(Profiles); ++i) {
        SCOPED_TRACE(Profiles[i]);
        const QString profile = WriteTempFile(dir, QStringLiteral("p%1.ini").arg(i), Profiles[i]);
        // Keys a profile leaves out keep the start values.
        TypeProfile(ExampleProfile());
        TypeProfile(Profiles[i]);

        Press("Button10");
        EXPECT_EQ(CliSent({ QStringLiteral("store-settings"), profile }), WindowSent());

        Press("Button24");
        EXPECT_EQ(CliSent({ QStringLiteral("test-label"), profile }), WindowSent());

        Control<QLineEdit>("Edit1")->setText(QStringLiteral("3"));
        Control<QCheckBox>("Boxck")->setChecked(true);
        Press("Button24");
        EXPECT_EQ(CliSent({ QStringLiteral("test-label"), profile, QStringLiteral("--copies"),
                            QStringLiteral("3"), QStringLiteral("--frame") }),
                  WindowSent());
        Control<QLineEdit>("Edit1")->setText(QStringLiteral("1"));
        Control<QCheckBox>("Boxck")->setChecked(false);
    }
}

TEST_F(CliAgainstWindow, StoreSettingsWithBlankBoxesAndNoLabelSize)
{
    const char *text = "media-sensor =\nmedia-type =\npost-print-action =\ndirection =\nspeed =\n"
                       "density =\nwidth =\nheight =\n";
    const QString profile = WriteTempFile(dir, QStringLiteral("blank.ini"), text);
    TypeProfile(text);
    Press("Button10");
    EXPECT_EQ(CliSent({ QStringLiteral("store-settings"), profile }), WindowSent());
}

// A value the window refuses is refused by the program with the window's
// own message, named with its file, line and key, and nothing is sent.
TEST_F(CliAgainstWindow, RefusedProfileValuesSayWhatTheWindowSays)
{
    struct Refused
    {
        const char *key;
        const char *field;
        const char *value;
        const char *button;
        const char *operation;
    };
    const Refused cases[] = {
        { "width", "paperwidthe", "7x6", "Button10", "store-settings" },
        { "height", "paperheighte", "4..5", "Button10", "store-settings" },
        { "top", "Lte", "", "Button10", "store-settings" },
        { "shift", "Shifte", "1e99999", "Button10", "store-settings" },
        { "home-y", "Homeye", "1.5.", "Button10", "store-settings" },
        { "width", "paperwidthe", "", "Button24", "test-label" },
        { "height", "paperheighte", "abc", "Button24", "test-label" },
    };
    const QString target = dir.filePath(QStringLiteral("refused.out"));
    for (const Refused &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 %2 = '%3'").arg(c.operation, c.key, c.value).toStdString());
        auto *edit = Control<QLineEdit>(c.field);
        const QString before = edit->text();
        edit->setText(QString::fromUtf8(c.value));
        watcher.Clear();
        Control<QPushButton>(c.button)->click();
        edit->setText(before);
        ASSERT_EQ(watcher.Seen().size(), 1u)
            << watcher.Texts().join(QLatin1Char('|')).toStdString();
        const QString shown = watcher.Seen()[0].text;
        EXPECT_EQ(WindowSent(), QByteArray("<nothing sent>"));

        const QString profile
            = WriteTempFile(dir, QStringLiteral("refused.ini"),
                            QStringLiteral("# refused\n%1 = %2\n").arg(c.key, c.value).toUtf8());
        const CliRun run
            = RunCliProgram({ QStringLiteral("--to"), QStringLiteral("file://") + target,
                              QString::fromLatin1(c.operation), profile });
        EXPECT_EQ(run.exitCode, 2);
        // The error box closes the message with a full stop; the line does not.
        const QString prefix
            = QStringLiteral("tarvolin-cli: %1: %2:2: %3: ").arg(c.operation, profile, c.key);
        const QString said = QString::fromUtf8(run.err);
        ASSERT_TRUE(said.startsWith(prefix)) << said.toStdString();
        EXPECT_EQ(ErrorBoxText(said.mid(prefix.size()).section(QLatin1Char('\n'), 0, 0)), shown);
        EXPECT_TRUE(said.endsWith(QStringLiteral("\nTry 'tarvolin-cli --help'.\n")));
        EXPECT_FALSE(QFile::exists(target));
    }

    // Home X takes digits only: the window refuses the key as it is typed.
    watcher.Clear();
    QTest::keyClicks(Control<QLineEdit>("Homexe"), QStringLiteral("-"));
    ASSERT_EQ(watcher.Seen().size(), 1u);
    const QString profile
        = WriteTempFile(dir, QStringLiteral("homex.ini"), QByteArray("home-x = -5\n"));
    const CliRun run = RunCliProgram({ QStringLiteral("--to"), QStringLiteral("file://") + target,
                                       QStringLiteral("store-settings"), profile });
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(": home-x: '-5': " + watcher.Seen()[0].text.toUtf8()))
        << run.err.toStdString();
}

TEST_F(CliAgainstWindow, DownloadDirectoryLabelAndFormat)
{
    form->PageControl1->setCurrentWidget(form->TabSheet2);
    QByteArray font;
    for (int i = 0; i < 3000; ++i)
        font += char(i * 37);
    const QString ttf = WriteTempFile(dir, QStringLiteral("Demo.font.ttf"), font);
    const QString bin
        = WriteTempFile(dir, QStringLiteral("fw.BIN"), QByteArray("\x00\x01zz\r\n", 6));
    const QString data = WriteTempFile(dir, QStringLiteral("label.prn"), "^XA^FDx^FS^XZ");

    struct Download
    {
        QString path;
        int type; // "File Type:" position
        int device; // "Memory Device:" position
        QStringList options;
    };
    const Download downloads[] = {
        { ttf, 0, 1, {} },
        { ttf, 0, 0, { QStringLiteral("--device"), QStringLiteral("R:") } },
        { ttf, 0, 3, { QStringLiteral("--device"), QStringLiteral("a") } },
        { bin, 1, 1, {} },
        { data, 2, 1, {} },
        { bin, 0, 1, { QStringLiteral("--type"), QStringLiteral("font") } },
        { ttf,
          2,
          4,
          { QStringLiteral("--type"), QStringLiteral("data"), QStringLiteral("--device"),
            QStringLiteral("Z:") } },
    };
    for (const Download &d : downloads) {
        SCOPED_TRACE((d.path + QLatin1Char(' ') + d.options.join(QLatin1Char(' '))).toStdString());
        Control<QComboBox>("ComboBox17")->setCurrentIndex(d.type);
        watcher.AnswerFileDialogs({ d.path });
        Control<QPushButton>("Button11")->click();
        Control<QComboBox>("ComboBox18")->setCurrentIndex(d.device);
        Press("Button12");
        EXPECT_EQ(CliSent(QStringList { QStringLiteral("download"), d.path } + d.options),
                  WindowSent("abc.bin"));
    }

    const char *devices[] = { "R:", "E:", "B:", "A:", "Z:" };
    for (int position = 0; position < 5; ++position) {
        Control<QComboBox>("ComboBox18")->setCurrentIndex(position);
        Press("Button15");
        EXPECT_EQ(CliSent({ QStringLiteral("directory-label"), QStringLiteral("--device"),
                            QString::fromLatin1(devices[position]) }),
                  WindowSent());
    }

    for (const char *memory : { "DRAM", "FLASH" }) {
        ChooseRadio("RadioGroup3", QString::fromLatin1(memory));
        Press("Button14");
        EXPECT_EQ(CliSent({ QStringLiteral("format"), QString::fromLatin1(memory).toLower() }),
                  WindowSent());
    }
}

TEST_F(CliAgainstWindow, NewAddressAndEthernetId)
{
    form->PageControl1->setCurrentWidget(form->TabSheet3);
    for (const char *address :
         { "192.168.123.200", "16.20.16.20", "10.9.16.20", "223.255.255.254", "1.0.0.2" }) {
        SCOPED_TRACE(address);
        form->TabSheet3->IPEdit2->SetIPString(QString::fromLatin1(address));
        Press("Button17");
        EXPECT_EQ(CliSent({ QStringLiteral("set-ip"), QString::fromLatin1(address) }),
                  WindowSent());
    }
    for (quint32 seed : { 1u, 42u, 4000000000u }) {
        SCOPED_TRACE(seed);
        form->TabSheet3->SetEthernetIdDraw(SeededEthernetIdDraw(seed));
        Press("Button18");
        EXPECT_EQ(CliSent({ QStringLiteral("set-ethernet-id"), QStringLiteral("--seed"),
                            QString::number(seed) }),
                  WindowSent());
    }
}

TEST_F(CliAgainstWindow, SendFileAndSendText)
{
    form->PageControl1->setCurrentWidget(form->TabSheet4);
    const QByteArray files[]
        = { QByteArray("^XA\n^XZ", 7), QByteArray("a\0b\r\nc\r", 7), QByteArray() };
    for (size_t i = 0; i < std::size(files); ++i) {
        const QString path = WriteTempFile(dir, QStringLiteral("cmd%1.txt").arg(i), files[i]);
        Control<QLineEdit>("Edit8")->setText(path);
        Press("Button19");
        EXPECT_EQ(CliSent({ QStringLiteral("send"), path }), WindowSent());
    }
    const QString texts[] = {
        QStringLiteral("^XA\n^FO50,50^FDHello^FS\n^XZ"),
        QString(),
        QStringLiteral("^FDÄÖÜ €^FS\r\n\r\nend "),
        QStringLiteral("one\rtwo"),
    };
    for (const QString &text : texts) {
        SCOPED_TRACE(text.toStdString());
        Control<QPlainTextEdit>("Memo1")->setPlainText(text);
        Press("Button20");
        EXPECT_EQ(CliSent({ QStringLiteral("text"), text }), WindowSent());
    }
}

// The read-backs over a serial line: the window's buttons and the program
// ask with the same bytes and read the same answer the same way.
class CliAgainstWindowOverSerial : public WindowTest
{
protected:
    void UseCom(const QString &device)
    {
        form->TabSheet5->RadioButton1->click();
        form->TabSheet5->DK->setEditText(device);
        ASSERT_EQ(form->CP->Port(), device);
    }
    QByteArray Requests(PtyPrinter &printer, qsizetype atLeast)
    {
        return printer.Received(atLeast);
    }
    ModalWatcher watcher;
};

TEST_F(CliAgainstWindowOverSerial, StatusFilesAndFreeMemoryAskAlike)
{
    const std::pair<const char *, const char *> cases[] = {
        { "Button7", "status" },
        { "BitBtn1", "files" },
        { "Button16", "free-memory" },
    };
    for (const auto &[button, operation] : cases) {
        SCOPED_TRACE(operation);
        PtyPrinter windowSide;
        PtyPrinter cliSide;
        ASSERT_TRUE(windowSide.IsValid() && cliSide.IsValid());
        UseCom(windowSide.SlavePath());
        Find<QPushButton>(form.get(), QString::fromLatin1(button))->click();
        RunCliProgram({ QStringLiteral("--to"), QStringLiteral("com://") + cliSide.SlavePath(),
                        QString::fromLatin1(operation) });
        const QByteArray asked = windowSide.Received(1);
        EXPECT_FALSE(asked.isEmpty());
        EXPECT_EQ(cliSide.Received(asked.size()), asked);
    }
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join(QLatin1Char('|')).toStdString();
}

TEST(CliAgainstWindowTexts, NamesAndItemsAreTheWindows)
{
    TForm1 form;
    form.FinishStart();
    const std::pair<const char *, QString> lamps[] = {
        { "Label1", ReadyCaption() },       { "Label2", ConditionCaption(0) },
        { "Label3", ConditionCaption(1) },  { "Label4", ConditionCaption(2) },
        { "Label5", ConditionCaption(3) },  { "Label6", ConditionCaption(4) },
        { "Label7", ConditionCaption(5) },  { "Label8", ConditionCaption(6) },
        { "Label60", ConditionCaption(7) }, { "Label56", ConnectErrorCaption() },
    };
    for (const auto &[name, caption] : lamps)
        EXPECT_EQ(Find<QLabel>(&form, QString::fromLatin1(name))->text(), caption) << name;

    const SetupPanelItemLists &items = SetupPanelItems();
    const std::pair<const char *, QStringList> combos[] = {
        { "speedcb", items.speed },
        { "densitycb", items.density },
        { "mediasensorcb", items.mediaSensor },
        { "ribboncb", items.mediaType },
        { "postactivecb", items.postAction },
        { "directionxcb", items.direction },
    };
    for (const auto &[name, list] : combos) {
        auto *box = Find<QComboBox>(&form, QString::fromLatin1(name));
        QStringList shown;
        for (int i = 0; i < box->count(); ++i)
            shown << box->itemText(i);
        EXPECT_EQ(shown, list) << name;
    }
    QStringList units;
    for (QRadioButton *b :
         Find<QGroupBox>(&form, QStringLiteral("RadioGroup1"))->findChildren<QRadioButton *>())
        units << b->text();
    EXPECT_EQ(units,
              (QStringList { UnitName(LengthUnit::Inch), UnitName(LengthUnit::Mm),
                             UnitName(LengthUnit::Cm) }));
}

} // namespace
