#pragma once

#include "link/discovery.h"

#include <QWidget>

#include <functional>
#include <future>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;

// Tools > Find Printers on the Network: sends the discovery probe (and,
// when a subnet is given, sweeps its printing port) and lists the printers
// that answer; "Use" selects ETHERNET with the chosen one's address, as the
// virtual printer window's "Use as ETHERNET" does.
class DiscoveryWindow : public QWidget
{
public:
    using UseAddress = std::function<void(const QString &address)>;
    DiscoveryWindow(UseAddress use, QWidget *parent = nullptr);
    ~DiscoveryWindow() override;

    // Tests point the probe at their own printers.
    void SetOptions(const DiscoveryOptions &options) { options_ = options; }
    void Search();
    bool Searching() const { return searching_.valid(); }

    QLineEdit *AddressesEdit; // further addresses to probe, blank-separated
    QLineEdit *SweepEdit; // A.B.C.D/N, or empty
    QPushButton *SearchButton;
    QPushButton *UseButton;
    QTableWidget *PrintersTable;
    QLabel *StatusLabel;

private:
    void Collect();

    UseAddress use_;
    DiscoveryOptions options_;
    std::future<DiscoveryResult> searching_;
    QTimer *poll_;
};
