#include "app/discoverywindow.h"

#include "core/exceptions.h"
#include "ui/errorbox.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

DiscoveryWindow::DiscoveryWindow(UseAddress use, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , use_(std::move(use))
{
    setObjectName(QStringLiteral("DiscoveryWindow"));
    setWindowTitle(QStringLiteral("Find Printers on the Network"));
    resize(640, 360);

    AddressesEdit = new QLineEdit(this);
    AddressesEdit->setObjectName(QStringLiteral("AddressesEdit"));
    AddressesEdit->setPlaceholderText(QStringLiteral("more addresses to ask, e.g. 10.0.3.11"));
    SweepEdit = new QLineEdit(this);
    SweepEdit->setObjectName(QStringLiteral("SweepEdit"));
    SweepEdit->setPlaceholderText(QStringLiteral("subnet to sweep, e.g. 10.0.3.0/24"));
    SearchButton = new QPushButton(QStringLiteral("Search"), this);
    SearchButton->setObjectName(QStringLiteral("SearchButton"));
    UseButton = new QPushButton(QStringLiteral("Use"), this);
    UseButton->setObjectName(QStringLiteral("UseButton"));
    UseButton->setEnabled(false);
    PrintersTable = new QTableWidget(0, 5, this);
    PrintersTable->setObjectName(QStringLiteral("PrintersTable"));
    PrintersTable->setHorizontalHeaderLabels(
        { QStringLiteral("Address"), QStringLiteral("Name"), QStringLiteral("Model"),
          QStringLiteral("Serial Number"), QStringLiteral("Firmware") });
    PrintersTable->horizontalHeader()->setStretchLastSection(true);
    PrintersTable->verticalHeader()->hide();
    PrintersTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    PrintersTable->setSelectionMode(QAbstractItemView::SingleSelection);
    PrintersTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    poll_ = new QTimer(this);
    poll_->setInterval(50);

    auto *fields = new QHBoxLayout;
    fields->addWidget(AddressesEdit, 1);
    fields->addWidget(SweepEdit, 1);
    fields->addWidget(SearchButton);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(StatusLabel, 1);
    bottom->addWidget(UseButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(PrintersTable, 1);
    layout->addLayout(bottom);

    connect(SearchButton, &QPushButton::clicked, this, Guarded([this](bool) { Search(); }));
    connect(poll_, &QTimer::timeout, this, Guarded([this] { Collect(); }));
    connect(PrintersTable, &QTableWidget::itemSelectionChanged, this,
            [this] { UseButton->setEnabled(!PrintersTable->selectedItems().isEmpty()); });
    connect(UseButton, &QPushButton::clicked, this, Guarded([this](bool) {
                const auto rows = PrintersTable->selectionModel()->selectedRows();
                if (!rows.isEmpty() && use_)
                    use_(PrintersTable->item(rows.first().row(), 0)->text());
            }));
}

DiscoveryWindow::~DiscoveryWindow()
{
    // The search ends at its own deadline.
    if (searching_.valid())
        searching_.wait();
}

void DiscoveryWindow::Search()
{
    if (searching_.valid())
        return;
    DiscoveryOptions options = options_;
    options.addresses += AddressesEdit->text().split(QRegularExpression(QStringLiteral("[\\s,;]+")),
                                                     Qt::SkipEmptyParts);
    options.sweep = SweepEdit->text().trimmed();
    PrintersTable->setRowCount(0);
    SearchButton->setEnabled(false);
    UseButton->setEnabled(false);
    StatusLabel->setText(QStringLiteral("Searching…"));
    searching_ = std::async(std::launch::async, [options] { return DiscoverPrinters(options); });
    poll_->start();
}

void DiscoveryWindow::Collect()
{
    if (searching_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    poll_->stop();
    SearchButton->setEnabled(true);
    DiscoveryResult found;
    try {
        found = searching_.get();
    } catch (const ETarvolinError &e) {
        StatusLabel->setText(e.Message());
        return;
    }
    PrintersTable->setRowCount(int(found.printers.size()));
    for (int row = 0; row < int(found.printers.size()); ++row) {
        const DiscoveredPrinter &p = found.printers[size_t(row)];
        const QStringList cells { p.address, p.systemName, p.swept ? p.model : p.productName,
                                  p.serialNumber, p.firmware };
        for (int column = 0; column < cells.size(); ++column)
            PrintersTable->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    PrintersTable->resizeColumnsToContents();
    StatusLabel->setText(found.printers.size() == 1
                             ? QStringLiteral("1 printer found")
                             : QStringLiteral("%1 printers found").arg(found.printers.size()));
}
