#include "app/printerinfowindow.h"

#include "commands/configdump.h"
#include "commands/hostreplies.h"
#include "core/exceptions.h"
#include "files/memorycommands.h"
#include "link/printerlink.h"
#include "printer/commandstream.h"
#include "ui/errorbox.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>

namespace {

const QColor Red(255, 0, 0);
const QColor Green(0, 255, 0);

void Light(QLabel *lamp, bool lit, const QColor &colour)
{
    lamp->setEnabled(lit);
    QPalette p = lamp->palette();
    p.setColor(QPalette::WindowText, lit ? colour : QColor(Qt::black));
    lamp->setPalette(p);
}

} // namespace

PrinterInfoWindow::PrinterInfoWindow(PrinterLink &link, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , link_(link)
    , clock_([] { return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")); })
{
    setObjectName(QStringLiteral("PrinterInfoWindow"));
    setWindowTitle(QStringLiteral("Printer Information"));
    resize(560, 620);

    IdentityLabel = new QLabel(this);
    IdentityLabel->setObjectName(QStringLiteral("IdentityLabel"));
    IdentityLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    AsOfLabel = new QLabel(this);
    AsOfLabel->setObjectName(QStringLiteral("AsOfLabel"));
    StatementLabel = new QLabel(this);
    StatementLabel->setObjectName(QStringLiteral("StatementLabel"));
    StatementLabel->setWordWrap(true);
    RefreshButton = new QPushButton(QStringLiteral("Refresh"), this);
    RefreshButton->setObjectName(QStringLiteral("RefreshButton"));

    auto *lamps = new QGridLayout;
    int i = 0;
    for (const HostCondition &c : HostConditions(HostStatus {})) {
        auto *lamp = new QLabel(c.caption, this);
        lamp->setObjectName(QStringLiteral("Lamp") + QString(c.caption).remove(QLatin1Char(' ')));
        lamp->setEnabled(false);
        lamps->addWidget(lamp, i / 4, i % 4);
        Lamps[c.caption] = lamp;
        ++i;
    }

    ConfigTable = new QTableWidget(0, 2, this);
    ConfigTable->setObjectName(QStringLiteral("ConfigTable"));
    ConfigTable->setHorizontalHeaderLabels({ QStringLiteral("Setting"), QStringLiteral("Value") });
    ConfigTable->horizontalHeader()->setStretchLastSection(true);
    ConfigTable->verticalHeader()->hide();
    ConfigTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FilesText = new QPlainTextEdit(this);
    FilesText->setObjectName(QStringLiteral("FilesText"));
    FilesText->setReadOnly(true);
    FilesText->setMaximumHeight(90);
    FreeMemoryLabel = new QLabel(this);
    FreeMemoryLabel->setObjectName(QStringLiteral("FreeMemoryLabel"));

    auto *top = new QHBoxLayout;
    top->addWidget(IdentityLabel, 1);
    top->addWidget(AsOfLabel);
    top->addWidget(RefreshButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(StatementLabel);
    layout->addLayout(lamps);
    layout->addWidget(ConfigTable, 1);
    layout->addWidget(new QLabel(QStringLiteral("Files:"), this));
    layout->addWidget(FilesText);
    layout->addWidget(FreeMemoryLabel);

    connect(RefreshButton, &QPushButton::clicked, this, Guarded([this](bool) { Refresh(); }));
}

void PrinterInfoWindow::Clear()
{
    IdentityLabel->clear();
    AsOfLabel->clear();
    StatementLabel->clear();
    ConfigTable->setRowCount(0);
    FilesText->clear();
    FreeMemoryLabel->clear();
    for (auto &[caption, lamp] : Lamps)
        Light(lamp, false, Qt::black);
}

void PrinterInfoWindow::Refresh()
{
    Clear();
    const LinkTarget target = link_.Target();
    const QString where = QStringLiteral(" (") + target.Name() + QStringLiteral(")");
    if (!target.TwoWay()) {
        try {
            link_.Query(IdentificationQuery());
        } catch (const ETarvolinError &e) {
            StatementLabel->setText(e.Message() + where);
        }
        return;
    }
    // Each part is read on its own, so a printer that does not know one query
    // still shows the rest; two failures before any answer mean nobody is
    // there to ask, and the rest would only wait for the same deadlines.
    QStringList failures;
    bool answered = false;
    const auto part = [&](const std::function<void()> &read) {
        if (!answered && failures.size() >= 2)
            return;
        try {
            read();
            answered = true;
        } catch (const EOperationCancelled &) {
            throw;
        } catch (const ETarvolinError &e) {
            // The link's and the parsers' messages name their query.
            failures << e.Message();
        }
    };
    part([&] {
        const Identification id = ParseIdentification(link_.Query(IdentificationQuery()));
        IdentityLabel->setText(
            QStringLiteral("%1, firmware %2, %3 dots/mm, %4 KB%5")
                .arg(id.model, id.firmware)
                .arg(id.dotsPerMm)
                .arg(id.memoryKB)
                .arg(id.options.isEmpty() ? QString() : QStringLiteral(", ") + id.options));
    });
    part([&] {
        const HostStatus status = ParseHostStatus(link_.Query(HostStatusQuery()));
        for (const HostCondition &c : HostConditions(status))
            Light(Lamps.at(c.caption), c.lit, c.error ? Red : Green);
        AsOfLabel->setText(QStringLiteral("as of ") + clock_());
    });
    part([&] {
        const QList<ConfigSetting> settings = ParseConfiguration(link_.Query(ConfigurationQuery()));
        ConfigTable->setRowCount(int(settings.size()));
        for (int row = 0; row < settings.size(); ++row) {
            ConfigTable->setItem(row, 0, new QTableWidgetItem(settings[row].name));
            ConfigTable->setItem(row, 1, new QTableWidgetItem(settings[row].value.trimmed()));
        }
        ConfigTable->resizeColumnToContents(0);
    });
    part([&] {
        // The list as the File Manager lays it out, one line break a line.
        FilesText->setPlainText(ReplyText(FileListLayout(link_.Query(FileListQuery())))
                                    .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    });
    part([&] {
        const QByteArray reply = link_.Query(FreeMemoryQuery());
        const FreeMemoryFigures free = ParseFreeMemory(reply);
        bool dramOk = false;
        bool flashOk = false;
        free.dram.toLongLong(&dramOk);
        free.flash.trimmed().toLongLong(&flashOk);
        if (!dramOk || !flashOk)
            throw ETarvolinError(QStringLiteral("Free memory: no figures in the reply: ")
                                 + ShownBytes(reply, 48));
        FreeMemoryLabel->setText(QStringLiteral("Free memory: DRAM %1 KB, FLASH %2 KB")
                                     .arg(free.dram, free.flash.trimmed()));
    });
    // Said in the window, not in a box: the window is there to show it.
    if (!failures.isEmpty())
        StatementLabel->setText(failures.join(QLatin1Char('\n')) + where);
}
