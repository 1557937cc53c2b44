#include "serial/qt/comm_dialog.h"

#include <QComboBox>
#include <QCompleter>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "serial/comm_dialog_model.h"
#include "serial/device_names.h"
#include "serial/port_connection.h"
#include "settings/settings_store.h"

namespace vellor {

namespace {

QComboBox* ListBox(const std::vector<std::string>& entries, int selected) {
    auto* box = new QComboBox;
    for (const std::string& e : entries)
        box->addItem(QString::fromStdString(e));
    box->setCurrentIndex(selected);
    return box;
}

constexpr int kSettleMs = 300;

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

CommDialog::CommDialog(QWidget* parent, AppState& state, SettingsBackend& settings,
                       InventoryRoots roots)
    : QDialog(parent),
      state_(state),
      settings_(settings),
      roots_(std::move(roots)),
      watcher_(new QFileSystemWatcher(this)),
      settle_(new QTimer(this)) {
    setWindowTitle("Communications");
    setModal(true);
    const CommDialogValues v = OpenCommDialog(state_);

    port_ = new QComboBox;
    port_->setEditable(true);
    port_->setInsertPolicy(QComboBox::NoInsert);
    // A typed name stays exactly as typed: the list is offered as a popup to pick from, never
    // filled in behind the cursor, and Enter does not swap the text for a listed entry that
    // differs only in case.
    port_->completer()->setCompletionMode(QCompleter::PopupCompletion);
    port_->completer()->setCaseSensitivity(Qt::CaseSensitive);
    RefreshPortList();
    port_->setCurrentIndex(-1);
    port_->lineEdit()->setMaxLength(int(kMaxPortNameChars) * 2);
    port_->setEditText(QString::fromStdString(v.portText));
    baud_ = ListBox(BaudRateEntries(), v.baudRateIndex);
    parity_ = ListBox(ParityEntries(), v.parityIndex);
    flow_ = ListBox(FlowControlEntries(), v.flowControlIndex);
    dataBits_ = ListBox(DataBitsEntries(), v.dataBitsIndex);
    stopBits_ = ListBox(StopBitsEntries(), v.stopBitsIndex);
    ok_ = new QPushButton("OK");
    cancel_ = new QPushButton("Cancel");
    ok_->setDefault(true);
    cancel_->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    const std::pair<const char*, QComboBox*> rows[] = {
        {"Port:", port_},         {"Baud Rate:", baud_},     {"Parity:", parity_},
        {"Flow Control:", flow_}, {"Data Bits:", dataBits_}, {"Stop Bits:", stopBits_}};
    for (const auto& [label, box] : rows) {
        layout->addWidget(new QLabel(label));
        layout->addWidget(box);
    }
    // A port whose settings cannot reach its line (a network port without the serial-port
    // option) says so where the settings are chosen.
    if (const std::string note = PortLineNote(state_); !note.empty()) {
        auto* label = new QLabel(Text(note));
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);

    QWidget::setTabOrder(ok_, cancel_);
    QWidget::setTabOrder(cancel_, baud_);
    QWidget::setTabOrder(baud_, dataBits_);
    QWidget::setTabOrder(dataBits_, stopBits_);
    QWidget::setTabOrder(stopBits_, flow_);
    QWidget::setTabOrder(flow_, parity_);
    QWidget::setTabOrder(parity_, port_);

    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(settle_, &QTimer::timeout, this, [this] {
        RefreshPortList();
        WatchDeviceFolders();  // /dev/serial/by-id comes and goes with the first USB adapter
    });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_, qOverload<>(&QTimer::start));
    WatchDeviceFolders();
}

void CommDialog::WatchDeviceFolders() {
    for (const std::filesystem::path& folder :
         {roots_.dev, roots_.dev / "serial", roots_.dev / "serial" / "by-id"}) {
        const QString name = Text(folder.string());
        if (!watcher_->directories().contains(name)) watcher_->addPath(name);
    }
}

// Rebuilds the list, leaving what the user typed or picked in the box as it is.
void CommDialog::RefreshPortList() {
    const QSignalBlocker quiet(port_);
    const QString typed = port_->currentText();
    const int picked = port_->currentIndex();
    port_->clear();
    for (const PortListEntry& entry : PortListEntries(ListSerialPorts(roots_))) {
        port_->addItem(Text(entry.name));
        if (!entry.description.empty())
            port_->setItemData(port_->count() - 1, Text(entry.description), Qt::ToolTipRole);
    }
    port_->setCurrentIndex(picked < 0 ? -1 : port_->findText(typed, Qt::MatchExactly));
    port_->setEditText(typed);
}

CommDialogValues CommDialog::Values() const {
    CommDialogValues v;
    v.portText = port_->currentText().toStdString();
    v.baudRateIndex = baud_->currentIndex();
    v.dataBitsIndex = dataBits_->currentIndex();
    v.stopBitsIndex = stopBits_->currentIndex();
    v.parityIndex = parity_->currentIndex();
    v.flowControlIndex = flow_->currentIndex();
    return v;
}

void CommDialog::accept() {
    AcceptCommDialog(state_, settings_, Values());
    QDialog::accept();
}

void RunCommDialog(QWidget* parent, AppState& state, SettingsBackend& settings) {
    const QPointer<CommDialog> dialog(new CommDialog(parent, state, settings));
    dialog->exec();
    delete dialog.data();
}

}  // namespace vellor
