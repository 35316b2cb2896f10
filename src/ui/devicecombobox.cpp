#include "ui/devicecombobox.h"

#include <QSignalBlocker>

DeviceComboBox::DeviceComboBox(QStringList fixedEntries, Source devices, QWidget *parent)
    : QComboBox(parent)
    , fixed_(std::move(fixedEntries))
    , devices_(std::move(devices))
{
    addItems(fixed_);
}

void DeviceComboBox::Refresh()
{
    const QSignalBlocker quiet(this);
    const QString typed = currentText();
    const int index = currentIndex();
    const QString chosen = index >= 0 ? itemText(index) : QString();

    clear();
    addItems(fixed_);
    const QList<DeviceEntry> devices = devices_ ? devices_() : QList<DeviceEntry>();
    for (const DeviceEntry &device : devices) {
        if (findText(device.path, Qt::MatchExactly) >= 0)
            continue;
        addItem(device.path);
        setItemData(count() - 1, device.description, Qt::ToolTipRole);
    }
    // A chosen entry whose device has gone stays while it is what the box
    // shows: sending to it then says so, rather than a send going quietly
    // somewhere else. Once another name is typed or chosen, it goes.
    const bool current = !isEditable() || chosen == typed;
    if (current && !chosen.isEmpty() && findText(chosen, Qt::MatchExactly) < 0)
        addItem(chosen);
    setCurrentIndex(findText(current ? chosen : typed, Qt::MatchExactly));
    if (isEditable())
        setEditText(typed);
}

void DeviceComboBox::showPopup()
{
    Refresh();
    QComboBox::showPopup();
}
