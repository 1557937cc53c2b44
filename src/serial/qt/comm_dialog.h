#pragma once

#include <QDialog>

#include "serial/port_inventory.h"

class QComboBox;
class QFileSystemWatcher;
class QPushButton;
class QTimer;

namespace vellor {

struct AppState;
class SettingsBackend;
struct CommDialogValues;

// The modal Communications dialog: port name and line settings. OK applies, saves and, with a
// port open, reconfigures it at once; Cancel changes nothing. The port list follows the devices
// that come and go while it is open.
class CommDialog : public QDialog {
    Q_OBJECT

  public:
    CommDialog(QWidget* parent, AppState& state, SettingsBackend& settings,
               InventoryRoots roots = {});

    QComboBox* PortBox() const { return port_; }
    QComboBox* BaudRateBox() const { return baud_; }
    QComboBox* ParityBox() const { return parity_; }
    QComboBox* FlowControlBox() const { return flow_; }
    QComboBox* DataBitsBox() const { return dataBits_; }
    QComboBox* StopBitsBox() const { return stopBits_; }

    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // What the controls hold now.
    CommDialogValues Values() const;

    void accept() override;

  private:
    void WatchDeviceFolders();
    void RefreshPortList();

    AppState& state_;
    SettingsBackend& settings_;
    QComboBox* port_;
    QComboBox* baud_;
    QComboBox* parity_;
    QComboBox* flow_;
    QComboBox* dataBits_;
    QComboBox* stopBits_;
    QPushButton* ok_;
    QPushButton* cancel_;
    const InventoryRoots roots_;
    QFileSystemWatcher* watcher_;
    QTimer* settle_;  // gathers a burst of changes (a node, then its links) into one refresh
};

void RunCommDialog(QWidget* parent, AppState& state, SettingsBackend& settings);

}  // namespace vellor
