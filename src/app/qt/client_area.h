#pragma once

#include <QWidget>

namespace vellor {

// The main window's client area: white, with the light-grey band and its black lower line across
// the top (covered by the view), and the white strip the control bar sits in.
class ClientArea : public QWidget {
    Q_OBJECT

  public:
    explicit ClientArea(QWidget* parent = nullptr);

    static constexpr int kBandRows = 16;  // grey rows 0-15, then one black row

  signals:
    void Resized();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace vellor
