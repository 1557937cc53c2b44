#include "serial/qt/comm_dialog.h"

#include <QComboBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "serial/comm_dialog_model.h"
#include "serial/device_names.h"
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

void AddPortEntries(QComboBox* box) {
    for (const std::string& name : PortEntries())
        box->addItem(QString::fromStdString(name));
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        box->addItem(info.portName());
        QString tip = info.description();
        if (!info.manufacturer().isEmpty()) {
            tip += (tip.isEmpty() ? "" : "\n") + info.manufacturer();
        }
        box->setItemData(box->count() - 1, tip, Qt::ToolTipRole);
    }
    box->addItem(QString::fromLatin1(kLoopbackName.data(), qsizetype(kLoopbackName.size())));
}

}  // namespace

CommDialog::CommDialog(QWidget* parent, AppState& state, SettingsBackend& settings)
    : QDialog(parent), state_(state), settings_(settings) {
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
    AddPortEntries(port_);
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
