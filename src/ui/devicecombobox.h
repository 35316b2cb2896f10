#pragma once

#include "link/devicediscovery.h"

#include <QComboBox>

#include <functional>

// A port list that looks again every time it drops down: devices plugged in
// since appear, unplugged ones go, the fixed entries stay first. What the
// operator typed, and the entry chosen (even when its device has gone), are
// kept, and refreshing is no change of the operator's: it emits nothing.
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
