#pragma once

#include <QObject>
#include <array>

#include "app/main_layout.h"
#include "serial/modem_box.h"

class QCheckBox;
class QWidget;

namespace vellor {

// The six modem-line boxes along the bottom of the main window: DTR and RTS are switches, DSR,
// CTS, CD and RI are indicators the user cannot change. A click reports the box's command id.
class ControlBar : public QObject {
    Q_OBJECT

  public:
    // Creates the boxes unchecked as children of `parent`, in the order DTR, RTS, DSR, CTS, CD, RI.
    explicit ControlBar(QWidget* parent);

    QCheckBox* Box(ModemBox box) const { return boxes_[IndexOf(box)]; }

    // Puts the boxes where the layout says, each placed one going on top, when the layout places
    // them at all.
    void Place(const MainLayout& layout);

  signals:
    void Command(int commandId);

  private:
    std::array<QCheckBox*, kModemBoxCount> boxes_{};
};

}  // namespace vellor
