// "View" > "Show All Operations": the complete operations hidden at start
// come into view without overlapping anything, work, and go again.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "commands/ui/printerconfigtab.h"
#include "files/ui/filemanagertab.h"
#include "serial/cport.h"
#include "support/ptyprinter.h"
#include "support/qtprint.h"
#include "support/ui/filewindow.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Every named control of a tab: where it is and whether it is hidden.
QStringList Snapshot(QWidget *tab)
{
    QStringList controls;
    for (QWidget *w : tab->findChildren<QWidget *>()) {
        // Dialogs are windows of their own, and the parts of scrolling
        // controls are laid out when first shown.
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))
            || w->window() != tab->window())
            continue;
        const QRect g = w->geometry();
        controls << QStringLiteral("%1 %2,%3 %4x%5%6")
                        .arg(w->objectName())
                        .arg(g.x())
                        .arg(g.y())
                        .arg(g.width())
                        .arg(g.height())
                        .arg(w->isHidden() ? QStringLiteral(" hidden") : QString());
    }
    controls.sort();
    return controls;
}

// Pairs of visible controls that share a parent and overlap, and visible
// controls that stick out of their parent.
QStringList Collisions(QWidget *container)
{
    QStringList found;
    QList<QWidget *> visible;
    for (QObject *child : container->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (w && !w->isWindow() && w->isVisibleTo(container) && !w->objectName().isEmpty())
            visible << w;
    }
    // A caption's box may reach under its field; what counts is its text.
    auto extent = [](QWidget *w) {
        QRect r = w->geometry();
        if (auto *label = qobject_cast<QLabel *>(w); label && label->alignment() & Qt::AlignLeft)
            r.setWidth(std::min(r.width(),
                                label->fontMetrics().horizontalAdvance(label->text())
                                    + 2 * label->margin()));
        return r;
    };
    for (qsizetype i = 0; i < visible.size(); ++i) {
        if (!container->rect().contains(visible[i]->geometry()))
            found << visible[i]->objectName() + QStringLiteral(" is clipped");
        for (qsizetype j = i + 1; j < visible.size(); ++j) {
            if (extent(visible[i]).intersects(extent(visible[j])))
                found << visible[i]->objectName() + QStringLiteral(" overlaps ")
                        + visible[j]->objectName();
        }
        found << Collisions(visible[i]);
    }
    return found;
}

void Shot(QWidget *widget, const QString &name)
{
    if (const QByteArray dir = qgetenv("TARVOLIN_SHOT_DIR"); !dir.isEmpty())
        widget->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name);
}

} // namespace

TEST_F(WindowTest, ShowAllOperationsRevealsTheHiddenOperationsTidilyAndGoesBack)
{
    QAction *showAll = form->ShowAllOperations;
    ASSERT_NE(showAll, nullptr);
    EXPECT_EQ(showAll->text(), "Show All Operations");
    EXPECT_TRUE(showAll->isCheckable());
    EXPECT_FALSE(showAll->isChecked()); // unticked at every start
    EXPECT_EQ(form->menuBar()->actions().at(2)->text(), "View");

    PrinterConfigTab *config = form->TabSheet1;
    FileManagerTab *files = form->TabSheet2;
    const auto configAtStart = Snapshot(config);
    const auto filesAtStart = Snapshot(files);

    showAll->trigger();
    const std::initializer_list<QWidget *> configShown { config->GroupBox2, config->Button7,
                                                         config->Button3,
                                                         config->GroupBox7->Boxck };
    for (QWidget *w : configShown)
        EXPECT_TRUE(w->isVisibleTo(config)) << w->objectName().toStdString();
    const std::initializer_list<QWidget *> filesShown {
        files->GroupBox13, files->Button16, files->BitBtn1, files->FilelistMemo, files->RadioGroup3,
        files->Button14,   files->Button13, files->Edit9,   files->Acommandck,   files->Hexcb
    };
    for (QWidget *w : filesShown)
        EXPECT_TRUE(w->isVisibleTo(files)) << w->objectName().toStdString();
    // Reserved controls without an action stay hidden.
    for (QWidget *w :
         std::initializer_list<QWidget *> { config->Button5, config->Button6,
                                            config->GroupBox7->Button9, config->GroupBox7->gape })
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
    for (QWidget *tab : std::initializer_list<QWidget *> { config, files }) {
        form->PageControl1->setCurrentWidget(tab);
        EXPECT_EQ(Collisions(tab), QStringList()) << tab->objectName().toStdString();
        Shot(form.get(), tab->objectName() + QStringLiteral("-all.png"));
    }

    // Revealed, "Get Status" is an operator's click and lights the lamps.
    PtyPrinter printer;
    ASSERT_TRUE(printer.IsValid());
    QTest::mouseClick(tab->RadioButton1, Qt::LeftButton);
    tab->DK->setEditText(printer.SlavePath());
    printer.SetReply(QByteArray(1, char(0x01))); // head open
    form->PageControl1->setCurrentWidget(config);
    QTest::mouseClick(config->Button7, Qt::LeftButton);
    EXPECT_EQ(printer.Received(3), "\x1b!?");
    EXPECT_TRUE(config->Label2->isEnabled()); // "Head Open" lit
    EXPECT_FALSE(config->Label1->isEnabled());

    showAll->trigger();
    EXPECT_FALSE(showAll->isChecked());
    auto changed = [](const QStringList &now, const QStringList &before) {
        QStringList differences;
        for (const QString &control : now)
            if (!before.contains(control))
                differences << control;
        return differences;
    };
    EXPECT_EQ(changed(Snapshot(config), configAtStart), QStringList());
    EXPECT_EQ(changed(Snapshot(files), filesAtStart), QStringList());
    for (QWidget *tab : std::initializer_list<QWidget *> { config, files }) {
        form->PageControl1->setCurrentWidget(tab);
        Shot(form.get(), tab->objectName() + QStringLiteral("-start.png"));
    }
}
