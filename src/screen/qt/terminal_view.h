#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <memory>

#include "screen/viewport.h"

class QScrollBar;

namespace vellor {

struct AppState;
class KeyDestinations;
class DamagePump;

// The terminal view: draws the visible part of the screen buffer on a fixed cell grid, keeps the
// caret on the cursor, turns scroll-bar actions and key presses into core calls, and turns the
// damage worker threads record into repaints on the UI thread.
class TerminalView : public QAbstractScrollArea {
    Q_OBJECT

  public:
    // Repaints are spaced at least this far apart while data floods in.
    static constexpr int kFrameIntervalMs = 16;

    TerminalView(AppState& state, QWidget* parent = nullptr);
    ~TerminalView() override;

    // Builds the font from fontHeight, measures the cell and sets the visible rows and columns
    // from the viewport size: once at start-up, then RecomputeMetrics for resizes and zooms.
    void InitMetrics();
    void RecomputeMetrics();

    // Shows the bars as the core computed them.
    void ApplyScrollBars(const ScrollBars& bars);

    // Re-creates the caret at the current cell size after a zoom, shown at the cursor cell when
    // the cursor is in view, even while the view has no focus.
    void RebuildCaret();

    // Where typed bytes go; without destinations keys are ignored.
    void SetKeyDestinations(KeyDestinations* destinations);

    // Takes whatever damage is recorded now and repaints it at once (after ClearScreen, whose
    // caller expects the view redrawn before it goes on).
    void FlushDamage();

    const QFont& ViewFont() const { return font_; }

    // Observability for tests and the repaint benchmark.
    bool CaretVisible() const { return caretExists_ && caretShown_; }
    QRect CaretRect() const { return caretRect_; }
    uint64_t PaintCount() const { return paintCount_; }

  signals:
    // A middle click: paste the PRIMARY selection.
    void PasteSelectionRequested();
    // The mouse changed which cells are selected.
    void SelectionChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    friend class DamagePump;

    void BuildFontAndMeasure(CellSize& cell);
    ClientSize ViewportSize() const;
    void OnScrollAction(ScrollBar which, QScrollBar* bar, int action);
    void OnScrollValue(ScrollBar which, QScrollBar* bar, int value);
    void PumpDamage();
    void DeliverDamage();
    void CreateCaret();
    void DestroyCaret();
    void PlaceCaret();
    void PaintRect(class QPainter& painter, const QRect& rect);
    void ExtendSelectionTo(QPoint pointer);
    void AutoScroll();

    AppState& state_;
    KeyDestinations* keys_ = nullptr;
    QFont font_;
    int ascent_ = 0;

    std::unique_ptr<DamagePump> pump_;
    QTimer frameTimer_;
    QElapsedTimer sinceLastDelivery_;

    bool focused_ = false;
    bool caretExists_ = false;
    bool caretShown_ = false;
    bool caretBlinkOn_ = true;
    int blinkTimerId_ = 0;
    QRect caretRect_;

    // A drag with the left button selects; held outside the view it scrolls the view meanwhile.
    bool selecting_ = false;
    QPoint pointer_;
    QTimer autoScroll_;
    // A press soon after a double click, at the same place, is a triple click.
    QElapsedTimer sinceDoubleClick_;
    QPoint doubleClickAt_;

    uint64_t paintCount_ = 0;
};

}  // namespace vellor
