#pragma once

#include <QStatusBar>
#include <QTimer>

class QLabel;

namespace vellor {

struct AppState;

// The status bar below the control bar: the port and its line settings, the traffic, the line
// errors (red once they rise), the capture and a running send. It reads the state a few times a
// second while shown, never per byte.
class StatusBar : public QStatusBar {
    Q_OBJECT

  public:
    static constexpr int kRefreshMs = 250;

    StatusBar(const AppState& state, QWidget* parent);

    // Reads the state now and shows it.
    void Refresh();

    QLabel* PortLabel() const { return port_; }
    QLabel* ErrorsLabel() const { return errors_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    const AppState& state_;
    QTimer refresh_;
    QLabel* port_;
    QLabel* traffic_;
    QLabel* errors_;
    QLabel* capture_;
    QLabel* send_;
};

}  // namespace vellor
