#include "screen/qt/terminal_view.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "app/app_state.h"
#include "input/keyboard.h"
#include "input/qt/key_bytes.h"
#include "screen/qt/cell_glyphs.h"
#include "screen/screen.h"
#include "screen/selection.h"

namespace vellor {

// Posts at most one wake-up to the UI thread however often workers add damage. Called with the
// screen lock held, so it only posts an event.
class DamagePump : public ScreenObserver {
  public:
    explicit DamagePump(TerminalView* view) : view_(view) {}

    void DamageAdded() override {
        if (pending_.exchange(true)) return;
        QMetaObject::invokeMethod(
            view_, [view = view_] { view->PumpDamage(); }, Qt::QueuedConnection);
    }
    void Taken() { pending_.store(false); }

  private:
    TerminalView* view_;
    std::atomic<bool> pending_{false};
};

namespace {

const QColor kTextColour(0, 0, 0);
const QColor kBackground(255, 255, 255);
const QColor kMarkedColour(255, 0, 0);
// Selected cells are drawn inverted.
const QColor kSelectedText(255, 255, 255);
const QColor kSelectedBackground(0, 0, 0);
const QColor kSelectedMarked(0, 255, 255);

// How often a drag held outside the view scrolls it.
constexpr int kAutoScrollMs = 50;

uint16_t Clamp16(int v) {
    return uint16_t(std::clamp(v, 0, 0xFFFF));
}

// A bar can scroll when its range holds more positions than one page shows.
bool Scrollable(const ScrollBarSetup& s) {
    return s.max - s.min + 1 > std::max(s.page, 1);
}

void SetUpBar(QScrollBar* bar, const ScrollBarSetup& s) {
    const QSignalBlocker block(bar);
    const int lastPos = s.page > 0 ? s.max - s.page + 1 : s.max;
    bar->setRange(s.min, std::max(s.min, lastPos));
    bar->setPageStep(std::max(s.page, 1));
    bar->setSingleStep(1);
    bar->setValue(s.pos);
    bar->setEnabled(Scrollable(s));
}

}  // namespace

TerminalView::TerminalView(AppState& state, QWidget* parent)
    : QAbstractScrollArea(parent), state_(state), pump_(std::make_unique<DamagePump>(this)) {
    setFocusPolicy(Qt::StrongFocus);
    // A one-pixel black border around the cells, like a bordered child window.
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    QPalette framePalette = palette();
    framePalette.setColor(QPalette::WindowText, Qt::black);
    setPalette(framePalette);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Base, kBackground);
    pal.setColor(QPalette::Window, kBackground);
    viewport()->setPalette(pal);
    viewport()->setAutoFillBackground(true);

    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setTracking(false);
    horizontalScrollBar()->setTracking(false);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int action) {
        OnScrollAction(ScrollBar::Vertical, verticalScrollBar(), action);
    });
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int action) {
        OnScrollAction(ScrollBar::Horizontal, horizontalScrollBar(), action);
    });
    // A value set without an action (the bar's "Scroll here", accessibility tools) moves the view
    // as a released thumb would; the bar then shows where the view really is.
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, this,
            [this](int value) { OnScrollValue(ScrollBar::Vertical, verticalScrollBar(), value); });
    connect(horizontalScrollBar(), &QAbstractSlider::valueChanged, this, [this](int value) {
        OnScrollValue(ScrollBar::Horizontal, horizontalScrollBar(), value);
    });
    ApplyScrollBars(ResetScrollBars());

    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, &TerminalView::DeliverDamage);
    autoScroll_.setInterval(kAutoScrollMs);
    connect(&autoScroll_, &QTimer::timeout, this, &TerminalView::AutoScroll);
    viewport()->setCursor(Qt::IBeamCursor);

    std::lock_guard lock(state_.screenMutex);
    state_.screenObserver = pump_.get();
}

TerminalView::~TerminalView() {
    // Once this returns no worker can be inside DamageAdded: it is only called under the lock.
    std::lock_guard lock(state_.screenMutex);
    if (state_.screenObserver == pump_.get()) state_.screenObserver = nullptr;
}

namespace {

QFont ViewFontOfPixelSize(int pixels) {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setKerning(false);
    font.setPixelSize(pixels);
    // Full hinting rounds every advance to whole pixels, so one drawText run stays on the grid.
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// A positive character height asks for the cell height (ascent + descent), not the em size: the
// pixel size whose cell comes closest to it, the larger glyphs on a tie that does not exceed it.
QFont FontForCellHeight(int height) {
    height = std::max(1, height);
    int best = 1;
    int bestMiss = std::numeric_limits<int>::max();
    for (int pixels = 1; pixels <= 2 * height; ++pixels) {
        const int cell = QFontMetrics(ViewFontOfPixelSize(pixels)).height();
        const int miss = std::abs(cell - height);
        if (miss < bestMiss || (miss == bestMiss && cell <= height)) {
            best = pixels;
            bestMiss = miss;
        }
        if (cell > height + bestMiss) break;
    }
    return ViewFontOfPixelSize(best);
}

}  // namespace

void TerminalView::BuildFontAndMeasure(CellSize& cell) {
    QFont font = FontForCellHeight(state_.fontHeight);

    QFontMetricsF exact(font);
    const qreal advance = exact.horizontalAdvance(QLatin1Char('M'));
    const int width = std::max(1, qRound(advance));
    // Where hinting is not honoured, spacing makes up the difference to the whole cell.
    if (advance != qreal(width)) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, width - advance);
    }
    const QFontMetrics metrics(font);
    font_ = font;
    ascent_ = metrics.ascent();
    cell.width = Clamp16(width);
    cell.height = Clamp16(std::max(1, metrics.height()));
}

ClientSize TerminalView::ViewportSize() const {
    return {Clamp16(viewport()->width()), Clamp16(viewport()->height())};
}

void TerminalView::InitMetrics() {
    CellSize cell;
    BuildFontAndMeasure(cell);
    InitViewMetrics(state_, cell, ViewportSize());
}

void TerminalView::RecomputeMetrics() {
    CellSize cell;
    BuildFontAndMeasure(cell);
    RecomputeViewMetrics(state_, cell, ViewportSize());
}

void TerminalView::ApplyScrollBars(const ScrollBars& bars) {
    SetUpBar(verticalScrollBar(), bars.vertical);
    SetUpBar(horizontalScrollBar(), bars.horizontal);
    setHorizontalScrollBarPolicy(Scrollable(bars.horizontal) ? Qt::ScrollBarAlwaysOn
                                                             : Qt::ScrollBarAlwaysOff);
}

void TerminalView::OnScrollAction(ScrollBar which, QScrollBar* bar, int action) {
    int code = kEndScroll;
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            code = kLineUp;
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            code = kLineDown;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = kPageUp;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = kPageDown;
            break;
        case QAbstractSlider::SliderToMinimum:
            code = kTop;
            break;
        case QAbstractSlider::SliderToMaximum:
            code = kBottom;
            break;
        // A move while the thumb is held is tracking; the move that follows its release (or a
        // wheel step) is the final position.
        case QAbstractSlider::SliderMove:
            code = bar->isSliderDown() ? kThumbTrack : kThumbPosition;
            break;
        default:
            break;
    }
    HandleScroll(state_, which, code, Clamp16(bar->sliderPosition()));
    // The bar shows where the view is, not where Qt's own step would have put it.
    const ScrollBars now = UpdateScrollBars(state_);
    bar->setSliderPosition(which == ScrollBar::Vertical ? now.vertical.pos : now.horizontal.pos);
}

void TerminalView::OnScrollValue(ScrollBar which, QScrollBar* bar, int value) {
    const auto offset = [&] {
        const ScrollBars now = UpdateScrollBars(state_);
        return which == ScrollBar::Vertical ? now.vertical.pos : now.horizontal.pos;
    };
    if (value == offset()) return;  // the end of an action already handled, or our own set-up
    HandleScroll(state_, which, kThumbPosition, Clamp16(value));
    const QSignalBlocker block(bar);
    bar->setValue(offset());
}

void TerminalView::scrollContentsBy(int, int) {
    // Scrolling repaints through the damage the core records.
}

void TerminalView::SetKeyDestinations(KeyDestinations* destinations) {
    keys_ = destinations;
}

void TerminalView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (state_.ready == 0) return;
    RecomputeMetrics();
    ApplyScrollBars(UpdateScrollBars(state_));
}

// ---- Damage -----------------------------------------------------------------------------------

void TerminalView::PumpDamage() {
    pump_->Taken();
    if (frameTimer_.isActive()) return;
    if (sinceLastDelivery_.isValid()) {
        const qint64 elapsed = sinceLastDelivery_.elapsed();
        if (elapsed < kFrameIntervalMs) {
            frameTimer_.start(int(kFrameIntervalMs - elapsed));
            return;
        }
    }
    DeliverDamage();
}

void TerminalView::DeliverDamage() {
    sinceLastDelivery_.restart();
    const Damage damage = TakeDamage(state_);
    if (damage.ScrollPositionsChanged()) ApplyScrollBars(UpdateScrollBars(state_));
    if (damage.WholeView()) {
        viewport()->update();
    } else {
        for (const PixelRect& r : damage.Rects()) {
            viewport()->update(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
        }
    }
    if (damage.ImmediateRepaint()) viewport()->repaint();
}

void TerminalView::FlushDamage() {
    frameTimer_.stop();
    pump_->Taken();
    DeliverDamage();
    viewport()->repaint();
}

// ---- Painting ---------------------------------------------------------------------------------

void TerminalView::paintEvent(QPaintEvent* event) {
    ++paintCount_;
    QPainter painter(viewport());
    painter.setFont(font_);

    std::lock_guard lock(state_.screenMutex);
    for (const QRect& rect : event->region())
        PaintRect(painter, rect);

    // The caret follows the cursor at every paint.
    const bool inView = CursorInView(state_);
    const QRect oldCaret = caretRect_;
    const bool wasVisible = CaretVisible() && caretBlinkOn_;
    if (inView) {
        const PixelRect c = CursorCellRect(state_);
        caretRect_ = QRect(c.left, c.top, state_.cellWidth, state_.cellHeight);
        if (caretRect_ != oldCaret) caretBlinkOn_ = true;
        if (state_.caretShown == 0) state_.caretShown = 1;
    } else if (state_.caretShown != 0) {
        state_.caretShown = 0;
    }
    caretShown_ = state_.caretShown != 0;
    const bool visible = CaretVisible() && caretBlinkOn_;
    // A caret that moved or appeared outside this paint's region needs a paint of its own; one
    // that stayed put is still on screen from before.
    const bool changed = visible != wasVisible || oldCaret != caretRect_;
    if (wasVisible && changed) viewport()->update(oldCaret);
    if (visible) {
        if (changed && !event->region().contains(caretRect_)) viewport()->update(caretRect_);
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.fillRect(caretRect_, Qt::white);
    }
}

void TerminalView::PaintRect(QPainter& painter, const QRect& rect) {
    const ScreenBuffer* buffer = state_.screenBuffer.get();
    const int cw = state_.cellWidth;
    const int ch = state_.cellHeight;
    if (buffer == nullptr || cw == 0 || ch == 0) return;
    // The buffer's own size bounds the cells read, whatever numRows/numCols say mid-change.
    const int numCols = std::min<int>(state_.numCols, buffer->Cols());
    const int numRows = std::min<int>(state_.numRows, buffer->Rows());
    const int left = rect.x();
    const int top = rect.y();
    const int right = rect.x() + rect.width();
    const int bottom = rect.y() + rect.height();
    const int leftCol = state_.leftCol;
    const int topRow = state_.topRow;

    const int firstCol = std::max(0, (left + leftCol * cw) / cw);
    const int endCol = std::min((right + (leftCol + 1) * cw - 1) / cw, numCols);
    const int firstRow = std::max(0, (top + topRow * ch) / ch);
    const int endRow = std::min((bottom + (topRow + 1) * ch - 1) / ch, numRows);
    if (firstRow >= endRow || firstCol >= endCol) return;

    const bool hexChar = state_.displayMode == DisplayMode::HexChar;
    QString run;
    run.reserve(endCol - firstCol);
    auto flush = [&](int startCol, int y) {
        if (run.isEmpty()) return;
        const int x = (startCol - leftCol) * cw;
        painter.drawText(QPoint(x, y + ascent_), run);
        run.clear();
    };
    // One text call per stretch of cells, each marked cell alone in its own colour.
    auto drawCells = [&](const uint16_t* cells, int from, int to, int y, const QColor& text,
                         const QColor& marked) {
        painter.setPen(text);
        int runStart = from;
        for (int c = from; c < to; ++c) {
            const uint16_t cell = cells[c];
            if (hexChar && IsMarkedCell(cell)) {
                flush(runStart, y);
                run.append(GlyphFor(cell));
                painter.setPen(marked);
                flush(c, y);
                painter.setPen(text);
                runStart = c + 1;
                continue;
            }
            run.append(GlyphFor(cell));
        }
        flush(runStart, y);
    };

    for (int r = firstRow; r < endRow; ++r) {
        const uint16_t* cells = buffer->Row(uint16_t(r));
        const int y = (r - topRow) * ch;
        // The row's cells are erased first so that no run wipes a neighbour's overhanging ink.
        painter.fillRect(QRect((firstCol - leftCol) * cw, y, (endCol - firstCol) * cw, ch),
                         kBackground);
        const ColumnSpan span = SelectedColumns(state_.selection, uint16_t(r), uint16_t(numCols));
        const int selFrom = std::clamp<int>(span.from, firstCol, endCol);
        const int selTo = std::clamp<int>(span.to, selFrom, endCol);
        if (selFrom >= selTo) {
            drawCells(cells, firstCol, endCol, y, kTextColour, kMarkedColour);
            continue;
        }
        painter.fillRect(QRect((selFrom - leftCol) * cw, y, (selTo - selFrom) * cw, ch),
                         kSelectedBackground);
        drawCells(cells, firstCol, selFrom, y, kTextColour, kMarkedColour);
        drawCells(cells, selFrom, selTo, y, kSelectedText, kSelectedMarked);
        drawCells(cells, selTo, endCol, y, kTextColour, kMarkedColour);
    }
}

// ---- Caret ------------------------------------------------------------------------------------

void TerminalView::CreateCaret() {
    caretExists_ = true;
    caretBlinkOn_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (blinkTimerId_ == 0 && flash > 0) blinkTimerId_ = startTimer(flash / 2);
}

void TerminalView::DestroyCaret() {
    if (CaretVisible()) viewport()->update(caretRect_);
    caretExists_ = false;
    if (blinkTimerId_ != 0) killTimer(blinkTimerId_);
    blinkTimerId_ = 0;
}

void TerminalView::PlaceCaret() {
    std::lock_guard lock(state_.screenMutex);
    caretRect_ = QRect();
    state_.caretShown = 0;
    const int cw = state_.cellWidth;
    const int ch = state_.cellHeight;
    if (CursorInView(state_)) {
        const PixelRect c = CursorCellRect(state_);
        caretRect_ = QRect(c.left, c.top, cw, ch);
        state_.caretShown = 1;
    }
    caretShown_ = state_.caretShown != 0;
    if (CaretVisible()) viewport()->update(caretRect_);
}

void TerminalView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    focused_ = true;
    DestroyCaret();
    CreateCaret();
    PlaceCaret();
}

void TerminalView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    focused_ = false;
    // Hidden and destroyed; caretShown keeps its value until the next focus gain.
    DestroyCaret();
}

void TerminalView::RebuildCaret() {
    if (CaretVisible()) viewport()->update(caretRect_);
    state_.caretShown = 0;
    caretShown_ = false;
    DestroyCaret();
    // The caret belongs to the focused view only; without focus the next focus gain makes it.
    if (!focused_) return;
    CreateCaret();
    PlaceCaret();
}

void TerminalView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != blinkTimerId_) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    caretBlinkOn_ = !caretBlinkOn_;
    if (CaretVisible()) viewport()->update(caretRect_);
}

// ---- Keys -------------------------------------------------------------------------------------

bool TerminalView::focusNextPrevChild(bool) {
    // Tab is a byte for the device, not a focus move.
    return false;
}

void TerminalView::keyPressEvent(QKeyEvent* event) {
    const KeyAction action = KeyActionFor(event->key(), event->modifiers(), event->text());
    if (action.kind == KeyAction::Kind::None || keys_ == nullptr) {
        event->ignore();
        return;
    }
    if (action.kind == KeyAction::Kind::Arrow) {
        HandleArrowKey(state_, action.arrow, *keys_);
    } else {
        for (uint16_t unit : action.units)
            HandleCharKey(state_, unit, *keys_);
    }
    event->accept();
}

// ---- Selection --------------------------------------------------------------------------------

void TerminalView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        emit PasteSelectionRequested();
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    const bool tripleClick =
        sinceDoubleClick_.isValid() &&
        sinceDoubleClick_.elapsed() < QApplication::doubleClickInterval() &&
        (at - doubleClickAt_).manhattanLength() < QApplication::startDragDistance();
    sinceDoubleClick_.invalidate();
    bool changed = false;
    if (tripleClick) {
        changed = BeginSelection(state_, at.x(), at.y(), SelectionUnit::Row);
    } else if (event->modifiers() & Qt::ShiftModifier) {
        changed = ExtendSelection(state_, at.x(), at.y());
    } else {
        changed = BeginSelection(state_, at.x(), at.y(), SelectionUnit::Cell);
    }
    selecting_ = true;
    pointer_ = at;
    if (changed) emit SelectionChanged();
    event->accept();
}

void TerminalView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);  // a quick second middle click pastes again
        return;
    }
    const QPoint at = event->position().toPoint();
    sinceDoubleClick_.start();
    doubleClickAt_ = at;
    selecting_ = true;
    pointer_ = at;
    if (BeginSelection(state_, at.x(), at.y(), SelectionUnit::Word)) emit SelectionChanged();
    event->accept();
}

void TerminalView::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_ || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    pointer_ = event->position().toPoint();
    ExtendSelectionTo(pointer_);
    if (viewport()->rect().contains(pointer_)) {
        autoScroll_.stop();
    } else if (!autoScroll_.isActive()) {
        autoScroll_.start();
    }
    event->accept();
}

void TerminalView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        selecting_ = false;
        autoScroll_.stop();
    } else if (event->button() != Qt::MiddleButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    event->accept();
}

void TerminalView::ExtendSelectionTo(QPoint pointer) {
    // Outside the view the selection reaches the nearest cell in it; scrolling brings more.
    const QRect area = viewport()->rect();
    const int x = std::clamp(pointer.x(), area.left(), area.right());
    const int y = std::clamp(pointer.y(), area.top(), area.bottom());
    if (ExtendSelection(state_, x, y)) emit SelectionChanged();
}

void TerminalView::AutoScroll() {
    if (!selecting_) {
        autoScroll_.stop();
        return;
    }
    // Further out scrolls faster: a row or column per cell of distance from the edge.
    const QRect area = viewport()->rect();
    const auto step = [](int at, int low, int high, int cell) {
        cell = std::max(cell, 1);
        if (at < low) return -(1 + (low - at) / cell);
        if (at > high) return 1 + (at - high) / cell;
        return 0;
    };
    {
        std::lock_guard lock(state_.screenMutex);
        ScrollRows(state_, step(pointer_.y(), area.top(), area.bottom(), state_.cellHeight));
        ScrollColumns(state_, step(pointer_.x(), area.left(), area.right(), state_.cellWidth));
    }
    ExtendSelectionTo(pointer_);
}

}  // namespace vellor
