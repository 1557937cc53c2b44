#include "screen/qt/terminal_view.h"

#include "app/app_state.h"

namespace vellor {

class DamagePump {};

TerminalView::TerminalView(AppState& state, QWidget* parent)
    : QAbstractScrollArea(parent), state_(state) {}
TerminalView::~TerminalView() = default;
void TerminalView::InitMetrics() {}
void TerminalView::RecomputeMetrics() {}
void TerminalView::ApplyScrollBars(const ScrollBars&) {}
void TerminalView::RebuildCaret() {}
void TerminalView::SetKeyDestinations(KeyDestinations* destinations) {
    keys_ = destinations;
}
void TerminalView::FlushDamage() {}
void TerminalView::paintEvent(QPaintEvent*) {}
void TerminalView::resizeEvent(QResizeEvent*) {}
void TerminalView::focusInEvent(QFocusEvent*) {}
void TerminalView::focusOutEvent(QFocusEvent*) {}
void TerminalView::keyPressEvent(QKeyEvent*) {}
bool TerminalView::focusNextPrevChild(bool) {
    return false;
}
void TerminalView::scrollContentsBy(int, int) {}
void TerminalView::timerEvent(QTimerEvent*) {}

}  // namespace vellor
