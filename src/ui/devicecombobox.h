#pragma once

#include "link/devicediscovery.h"

#include <QComboBox>

#include <functional>

// A port or printer list that looks again every time it drops down: devices
// plugged in since appear, unplugged ones go, the fixed entries stay first.
// What the operator typed is kept, and so is the entry chosen while it is
// what the box shows (even when its device has gone); refreshing is no
// change of the operator's: it emits nothing.
class DeviceComboBox : public QComboBox
{
    Q_OBJECT
public:
    using Source = std::function<QList<DeviceEntry>()>;

    DeviceComboBox(QStringList fixedEntries, Source devices, QWidget *parent = nullptr);

    void Refresh();
    void showPopup() override;

private:
    QStringList fixed_;
    Source devices_;
};
