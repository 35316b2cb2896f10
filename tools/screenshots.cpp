// Saves pictures of the real main window, as it looks at start, one per tab:
// main-window.png shows the start tab, <tab caption>.png each other tab.
// Runs on the offscreen platform, so it needs no display.

#include "app/mainform.h"
#include "commands/ui/printerconfigtab.h"
#include "commands/ui/setuppanelbox.h"
#include "files/ui/filemanagertab.h"
#include "preview/ui/previewwindow.h"
#include "support/samplelabels.h"
#include "tool/ui/commandtooltab.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>

namespace {

QString FileNameFor(const QString &caption)
{
    return caption.toLower().replace(QLatin1Char(' '), QLatin1Char('-')) + QStringLiteral(".png");
}

bool Save(QWidget *window, const QDir &folder, const QString &fileName)
{
    QApplication::processEvents();
    const QString path = folder.filePath(fileName);
    if (!window->grab().save(path)) {
        QTextStream(stderr) << "Cannot write " << path << '\n';
        return false;
    }
    QTextStream(stdout) << path << '\n';
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvolin"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvolin"));

    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        QTextStream(stderr) << "Usage: tarvolin-screenshots FOLDER\n";
        return 2;
    }
    const QDir folder(arguments.at(1));
    if (!folder.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "Cannot create " << folder.path() << '\n';
        return 1;
    }

    TForm1 form;
    form.show();
    form.FinishStart();
    // A ticking clock would make every run a new picture.
    form.Timer1->stop();
    form.StatusBar1Panel[3]->setText(
        StatusClockText(QDateTime(QDate(2026, 12, 8), QTime(9, 30, 0))));

    QTabWidget *tabs = form.PageControl1;
    const int startTab = tabs->currentIndex();
    bool saved = Save(&form, folder, QStringLiteral("main-window.png"));
    for (int index = 0; index < tabs->count(); ++index) {
        if (index == startTab)
            continue;
        tabs->setCurrentIndex(index);
        saved = Save(&form, folder, FileNameFor(tabs->tabText(index))) && saved;
    }

    // The label preview: a 4 x 6 inch shipping label on a Command Tool page,
    // on a label of that size.
    form.TabSheet1->GroupBox7->paperwidthe->setText(QStringLiteral("102"));
    form.TabSheet1->GroupBox7->paperheighte->setText(QStringLiteral("152"));
    tabs->setCurrentWidget(form.TabSheet4);
    form.TabSheet4->Memo[0]->setPlainText(
        QString::fromUtf8(ShippingLabel(8)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    form.TabSheet4->PreviewButtonClick();
    if (auto *preview = form.findChild<PreviewWindow *>()) {
        preview->resize(1000, 720);
        saved = Save(preview, folder, QStringLiteral("label-preview.png")) && saved;
        preview->close();
    } else {
        saved = false;
    }
    // The advanced view: the two tabs whose operations it completes.
    form.ShowAllOperations->setChecked(true);
    for (QWidget *tab :
         { static_cast<QWidget *>(form.TabSheet1), static_cast<QWidget *>(form.TabSheet2) }) {
        tabs->setCurrentWidget(tab);
        const QString name = FileNameFor(tabs->tabText(tabs->currentIndex()));
        saved
            = Save(&form, folder, name.chopped(4) + QStringLiteral("-all-operations.png")) && saved;
    }
    form.ShowAllOperations->setChecked(false);
    tabs->setCurrentIndex(startTab);
    return saved ? 0 : 1;
}
