#include "app/printerinfowindow.h"

#include "commands/configdump.h"
#include "commands/hostreplies.h"
#include "commands/printerstatus.h"
#include "core/erroradvice.h"
#include "core/exceptions.h"
#include "files/memorycommands.h"
#include "link/printerlink.h"
#include "printer/commandstream.h"
#include "ui/errorbox.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>

namespace {

const QColor Red(255, 0, 0);
const QColor Green(0, 128, 0);
constexpr int DefaultRefreshSeconds = 10;

// A failure of the link (no connection, no answer) rather than of a reply:
// the link's errors name the printer they concern, the parsers' do not.
bool LinkFailure(const ETarvolinError &e)
{
    return !e.Particulars().name.isEmpty();
}

// A failure of the exchange names the printer but not its interface; the
// advice is the interface's.
ErrorParticulars Concerning(ErrorParticulars p, const LinkTarget &target)
{
    if (p.subject != ErrorParticulars::Subject::None)
        return p;
    switch (target.kind) {
    case LinkTarget::Kind::Com:
        p.subject = ErrorParticulars::Subject::SerialDevice;
        p.name = target.device;
        break;
    case LinkTarget::Kind::Lpt:
        p.subject = ErrorParticulars::Subject::ParallelDevice;
        break;
    case LinkTarget::Kind::Ethernet:
        p.subject = ErrorParticulars::Subject::NetworkPrinter;
        break;
    case LinkTarget::Kind::Driver:
    case LinkTarget::Kind::File:
        break;
    }
    return p;
}

} // namespace

PrinterInfoWindow::PrinterInfoWindow(PrinterLink &link, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , link_(link)
    , clock_([] { return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")); })
{
    setObjectName(QStringLiteral("PrinterInfoWindow"));
    setWindowTitle(QStringLiteral("Printer Information"));

    IdentityLabel = new QLabel(this);
    IdentityLabel->setObjectName(QStringLiteral("IdentityLabel"));
    IdentityLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    IdentityLabel->setWordWrap(true);
    AsOfLabel = new QLabel(this);
    AsOfLabel->setObjectName(QStringLiteral("AsOfLabel"));
    StatementLabel = new QLabel(this);
    StatementLabel->setObjectName(QStringLiteral("StatementLabel"));
    StatementLabel->setWordWrap(true);
    StatementLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ModesLabel = new QLabel(this);
    ModesLabel->setObjectName(QStringLiteral("ModesLabel"));
    ModesLabel->setWordWrap(true);
    RefreshButton = new QPushButton(QStringLiteral("Refresh"), this);
    RefreshButton->setObjectName(QStringLiteral("RefreshButton"));
    AutoRefreshBox = new QCheckBox(QStringLiteral("Refresh every"), this);
    AutoRefreshBox->setObjectName(QStringLiteral("AutoRefreshBox"));
    AutoRefreshSeconds = new QSpinBox(this);
    AutoRefreshSeconds->setObjectName(QStringLiteral("AutoRefreshSeconds"));
    AutoRefreshSeconds->setRange(2, 3600);
    AutoRefreshSeconds->setValue(DefaultRefreshSeconds);
    AutoRefreshSeconds->setSuffix(QStringLiteral(" s"));

    auto *lamps = new QGridLayout;
    QStringList captions { QStringLiteral("Ready") };
    for (const QString &key : StatusConditionKeys())
        captions << StatusCaption(key);
    for (int i = 0; i < captions.size(); ++i) {
        auto *lamp = new QLabel(this);
        lamp->setObjectName(QStringLiteral("Lamp") + QString(captions[i]).remove(QLatin1Char(' ')));
        lamps->addWidget(lamp, i / 4, i % 4);
        Lamps[captions[i]] = lamp;
    }

    ConfigTable = new QTableWidget(0, 2, this);
    ConfigTable->setObjectName(QStringLiteral("ConfigTable"));
    ConfigTable->setHorizontalHeaderLabels({ QStringLiteral("Setting"), QStringLiteral("Value") });
    ConfigTable->horizontalHeader()->setStretchLastSection(true);
    ConfigTable->verticalHeader()->hide();
    ConfigTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ConfigTable->setMinimumHeight(120);
    FilesText = new QPlainTextEdit(this);
    FilesText->setObjectName(QStringLiteral("FilesText"));
    FilesText->setReadOnly(true);
    FilesText->setMaximumHeight(90);
    FreeMemoryLabel = new QLabel(this);
    FreeMemoryLabel->setObjectName(QStringLiteral("FreeMemoryLabel"));

    auto *top = new QHBoxLayout;
    top->addWidget(IdentityLabel, 1);
    top->addWidget(AsOfLabel);
    auto *refresh = new QHBoxLayout;
    refresh->addStretch();
    refresh->addWidget(AutoRefreshBox);
    refresh->addWidget(AutoRefreshSeconds);
    refresh->addWidget(RefreshButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(refresh);
    layout->addWidget(StatementLabel);
    layout->addLayout(lamps);
    layout->addWidget(ModesLabel);
    layout->addWidget(ConfigTable, 1);
    layout->addWidget(new QLabel(QStringLiteral("Files:"), this));
    layout->addWidget(FilesText);
    layout->addWidget(FreeMemoryLabel);
    // Within a screen 800 pixels high, title bar and panel included.
    resize(600, 640);

    connect(RefreshButton, &QPushButton::clicked, this, Guarded([this](bool) { Refresh(); }));
    const auto schedule = [this] {
        autoRefresh_.setInterval(AutoRefreshSeconds->value() * 1000);
        if (AutoRefreshBox->isChecked())
            autoRefresh_.start();
        else
            autoRefresh_.stop();
    };
    connect(AutoRefreshBox, &QCheckBox::toggled, this, schedule);
    connect(AutoRefreshSeconds, &QSpinBox::valueChanged, this, schedule);
    connect(&autoRefresh_, &QTimer::timeout, this, Guarded([this] {
        // Not while hidden: nobody would see it, the printer would
        // still be asked.
        if (isVisible())
            Refresh();
    }));
    Clear();
}

QString PrinterInfoWindow::PrinterName(const PrinterLink &link)
{
    const LinkTarget target = link.ResolvedTarget();
    switch (target.kind) {
    case LinkTarget::Kind::Com:
        return QStringLiteral("COM ") + target.Name();
    case LinkTarget::Kind::Lpt:
        return QStringLiteral("LPT ") + target.Name();
    case LinkTarget::Kind::Ethernet:
        return QStringLiteral("ETHERNET ") + target.Name();
    case LinkTarget::Kind::Driver:
        return QStringLiteral("DRIVER ") + target.Name();
    case LinkTarget::Kind::File:
        return QStringLiteral("File ") + target.Name();
    }
    return target.Name();
}

QString PrinterInfoWindow::LampText(const QString &caption, bool lit, bool error)
{
    const QString symbol = !lit ? QStringLiteral("\u25CB") // white circle
        : error                 ? QStringLiteral("\u2716") // heavy multiplication x
                                : QStringLiteral("\u2714"); // heavy check mark
    return symbol + QLatin1Char(' ') + caption;
}

void PrinterInfoWindow::Light(const QString &caption, bool lit, bool error)
{
    QLabel *lamp = Lamps.at(caption);
    lamp->setEnabled(lit);
    lamp->setText(LampText(caption, lit, error));
    QFont font = lamp->font();
    font.setBold(lit);
    lamp->setFont(font);
    QPalette p = lamp->palette();
    p.setColor(QPalette::WindowText, lit ? (error ? Red : Green) : QColor(Qt::black));
    lamp->setPalette(p);
}

void PrinterInfoWindow::Clear()
{
    IdentityLabel->clear();
    AsOfLabel->clear();
    StatementLabel->clear();
    ModesLabel->clear();
    ConfigTable->setRowCount(0);
    FilesText->clear();
    FreeMemoryLabel->clear();
    for (auto &[caption, lamp] : Lamps)
        Light(caption, false, false);
}

void PrinterInfoWindow::Refresh()
{
    Clear();
    const QString name = PrinterName(link_);
    setWindowTitle(QStringLiteral("Printer Information \u2014 ") + name);
    const LinkTarget target = link_.Target();
    if (!target.TwoWay()) {
        try {
            link_.Query(IdentificationQuery());
        } catch (const ETarvolinError &e) {
            StatementLabel->setText(e.Message());
        }
        return;
    }
    // Each part is read on its own, so a printer that does not know one query
    // still shows the rest. A link that fails before any answer means nobody
    // is there to ask (or someone else has the printer): the rest would only
    // wait for the same deadline, so one failure ends it, said once.
    QStringList failures;
    QString advice;
    bool answered = false;
    bool gaveUp = false;
    const auto part = [&](const QString &query, const std::function<void()> &read) {
        if (gaveUp)
            return;
        try {
            read();
            answered = true;
        } catch (const EOperationCancelled &) {
            throw;
        } catch (const ETarvolinError &e) {
            // A reply's failure names its query; a failed send or connection
            // does not, so the part it ended is named here.
            QString failure = e.Message();
            if (!failure.startsWith(query + QLatin1String(": ")))
                failure = query + QLatin1String(": ") + failure;
            if (!failures.contains(failure))
                failures << failure;
            if (advice.isEmpty() && !answered && LinkFailure(e))
                advice = ErrorAdvice(Concerning(e.Particulars(), link_.ResolvedTarget()));
            gaveUp = !answered && (LinkFailure(e) || failures.size() >= 2);
        }
    };
    part(IdentificationQuery().name, [&] {
        const Identification id = ParseIdentification(link_.Query(IdentificationQuery()));
        IdentityLabel->setText(
            QStringLiteral("%1, firmware %2, %3 dots/mm, %4 KB%5")
                .arg(id.model, id.firmware)
                .arg(id.dotsPerMm)
                .arg(id.memoryKB)
                .arg(id.options.isEmpty() ? QString() : QStringLiteral(", ") + id.options));
    });
    part(HostStatusQuery().name, [&] {
        PrinterStatus status = StatusFromHost(ParseHostStatus(link_.Query(HostStatusQuery())));
        // A jam, a cutter fault or a full memory shows only in the extended
        // report; a printer that does not give one is said to hide them.
        try {
            status.Merge(
                StatusFromExtended(ParseExtendedStatus(link_.Query(ExtendedStatusQuery()))));
        } catch (const EOperationCancelled &) {
            throw;
        } catch (const ETarvolinError &) {
            status.unseen << UnseenWithoutExtendedReport();
        }
        Light(QStringLiteral("Ready"), status.Ready(), false);
        for (const QString &key : status.conditions)
            Light(StatusCaption(key), true, true);
        QStringList lines { QStringLiteral("Modes: ") + StatusCaptions(status.modes) };
        if (!status.warnings.isEmpty())
            lines << QStringLiteral("Warnings: ") + StatusCaptions(status.warnings);
        if (!status.unseen.isEmpty())
            lines << QStringLiteral("Not seen: ") + status.unseen.join(QStringLiteral("; "));
        ModesLabel->setText(lines.join(QLatin1Char('\n')));
        AsOfLabel->setText(QStringLiteral("as of ") + clock_());
    });
    part(ConfigurationQuery().name, [&] {
        const QList<ConfigSetting> settings = ParseConfiguration(link_.Query(ConfigurationQuery()));
        ConfigTable->setRowCount(int(settings.size()));
        for (int row = 0; row < settings.size(); ++row) {
            ConfigTable->setItem(row, 0, new QTableWidgetItem(settings[row].name));
            ConfigTable->setItem(row, 1, new QTableWidgetItem(settings[row].value.trimmed()));
        }
        ConfigTable->resizeColumnToContents(0);
    });
    part(FileListQuery().name, [&] {
        // The list as the File Manager lays it out, one line break a line.
        FilesText->setPlainText(ReplyText(FileListLayout(link_.Query(FileListQuery())))
                                    .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    });
    part(FreeMemoryQuery().name, [&] {
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
        StatementLabel->setText(failures.join(QLatin1Char('\n'))
                                + (advice.isEmpty() ? QString() : QLatin1Char('\n') + advice));
}
