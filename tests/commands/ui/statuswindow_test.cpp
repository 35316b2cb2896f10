// "Get Status" through the real window against a printer on a
// pseudo-terminal.
#include "app/interfaceselecttab.h"
#include "commands/ui/printerconfigtab.h"
#include "serial/cport.h"
#include "support/ptyprinter.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/statuslamps.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class StatusWindow : public FileWindowTest
{
protected:
    void SetUp() override
    {
        FileWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(printer.IsValid());
        InterfaceSelectTab *select = form->TabSheet5;
        QTest::mouseClick(select->RadioButton1, Qt::LeftButton);
        ASSERT_TRUE(select->RadioButton1->isChecked());
        select->DK->setEditText(printer.SlavePath());
        ASSERT_EQ(form->CP->Port(), printer.SlavePath());
        form->PageControl1->setCurrentWidget(form->TabSheet1);
        tab = form->TabSheet1;
    }

    // The query with the printer answering `reply` (nothing: silent).
    void Query(const QByteArray &reply)
    {
        printer.SetReply(reply);
        const int before = printer.Requests();
        tab->Button7->click(); // the group is hidden; its button still works
        EXPECT_EQ(printer.Requests(), before + 1);
    }

    QStringList Lit() const { return LitStatusLamps(tab); }

    PtyPrinter printer;
    PrinterConfigTab *tab = nullptr;
};

} // namespace

TEST_F(StatusWindow, RepliesLightTheirLamps)
{
    ModalWatcher watcher;
    EXPECT_TRUE(Lit().isEmpty());
    struct Step
    {
        QByteArray reply;
        QStringList lit;
    };
    const Step steps[] = {
        { QByteArray(1, '\0'), { "Ready green" } },
        { QByteArray::fromHex("05"), { "Head Open red", "Out of Paper red" } },
        { QByteArray::fromHex("FF"),
          { "Head Open red", "Paper Jam red", "Out of Paper red", "Out of Ribbon red", "Pause red",
            "Printing red", "Cover Open red", "Other Error red" } },
        { QByteArray::fromHex("200D0A"), { "Printing red" } },
        { QByteArray(1, '\0'), { "Ready green" } },
        { QByteArray(), { "Connect Error red" } },
        { QByteArray(1, '\0'), { "Ready green" } },
    };
    qsizetype sent = 0;
    for (const Step &s : steps) {
        Query(s.reply);
        EXPECT_EQ(Lit(), s.lit) << s.reply.toHex().toStdString();
        sent += 3;
        EXPECT_EQ(printer.Received(sent).right(3), QByteArray::fromHex("1B213F"));
    }
    EXPECT_EQ(printer.Received().size(), sent);
    EXPECT_FALSE(form->CP->Connected());
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(StatusWindow, WithoutComOnlyTheMessage)
{
    ModalWatcher watcher;
    Query(QByteArray::fromHex("05"));
    ASSERT_EQ(Lit(), QStringList({ "Head Open red", "Out of Paper red" }));

    form->PageControl1->setCurrentWidget(form->TabSheet5);
    QTest::mouseClick(form->TabSheet5->RadioButton5, Qt::LeftButton);
    const int requests = printer.Requests();
    tab->Button7->click();
    EXPECT_EQ(watcher.Texts(), QStringList { "You must select COM port!!" });
    EXPECT_EQ(Lit(), QStringList({ "Head Open red", "Out of Paper red" }));
    EXPECT_EQ(printer.Requests(), requests);
    EXPECT_EQ(Sent(), "<nothing sent>");
}

TEST_F(StatusWindow, PortFailureChangesNoLamp)
{
    ModalWatcher watcher;
    Query(QByteArray(1, '\0'));
    ASSERT_EQ(Lit(), QStringList { "Ready green" });

    form->TabSheet5->DK->setEditText(dir.filePath("ttyNothing"));
    tab->Button7->click();
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].title, "Tarvolin");
    EXPECT_EQ(watcher.Seen()[0].text, "Unable to open com port (win error code: 2)");
    EXPECT_EQ(Lit(), QStringList { "Ready green" });
}
