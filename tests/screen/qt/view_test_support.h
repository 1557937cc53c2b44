#pragma once

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/platform.h"
#include "input/keyboard.h"
#include "screen/qt/cell_glyphs.h"
#include "screen/qt/terminal_view.h"
#include "screen/screen.h"
#include "screen/viewport.h"

namespace vellor::viewtest {

class SilentPlatform : public Platform {
  public:
    void ShowMessage(MessageOwner, const std::string& text, const std::string&,
                     const std::string&) override {
        messages.push_back(text);
    }
    std::vector<std::string> messages;
};

// Records the bytes each key sends to the port.
class RecordingKeys : public KeyDestinations {
  public:
    bool PortOpen() override { return true; }
    void WritePort(uint8_t byte) override { port.push_back(byte); }
    void Echo(uint8_t) override {}
    bool CaptureOpen() override { return false; }
    void Capture(uint8_t) override {}
    void CaptureDone() override {}
    std::vector<uint8_t> port;
};

// A shown view of the given pixel size over a freshly allocated rows x cols screen.
struct ShownView {
    ShownView(uint16_t rows, uint16_t cols, int width, int height, int fontHeight = 14) {
        state.fontHeight = fontHeight;
        view = std::make_unique<TerminalView>(state);
        view->resize(width, height);
        view->show();
        (void)QTest::qWaitForWindowExposed(view.get());
        view->InitMetrics();
        {
            std::lock_guard lock(state.screenMutex);
            state.numRows = rows;
            state.numCols = cols;
        }
        SilentPlatform platform;
        AllocateScreen(state, platform);
        state.ready = 1;
        view->ApplyScrollBars(UpdateScrollBars(state));
        Settle();
    }

    void Settle() {
        for (int i = 0; i < 3; ++i) {
            QApplication::processEvents();
            QTest::qWait(TerminalView::kFrameIntervalMs + 4);
        }
        QApplication::processEvents();
    }

    void SetCell(uint16_t r, uint16_t c, uint16_t cell) {
        std::lock_guard lock(state.screenMutex);
        state.screenBuffer->Row(r)[c] = cell;
    }

    QImage Grab() const {
        return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    AppState state;
    std::unique_ptr<TerminalView> view;
};

// What the view should show: every cell drawn on its own at its grid place, on an opaque
// background, so a row drawn later covers what a glyph of the row above let hang into it.
inline QImage ReferenceImage(const ShownView& v) {
    const AppState& s = v.state;
    QImage image(v.view->viewport()->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(v.view->ViewFont());
    const int ascent = QFontMetrics(v.view->ViewFont()).ascent();
    for (int r = s.topRow; r < s.numRows; ++r) {
        painter.fillRect(QRect(0, (r - s.topRow) * s.cellHeight,
                               (s.numCols - s.leftCol) * s.cellWidth, s.cellHeight),
                         Qt::white);
        for (int c = s.leftCol; c < s.numCols; ++c) {
            const uint16_t cell = s.screenBuffer->At(uint16_t(r), uint16_t(c));
            const bool red = s.displayMode == 2 && IsMarkedCell(cell);
            painter.setPen(red ? QColor(255, 0, 0) : QColor(0, 0, 0));
            painter.drawText(
                QPoint((c - s.leftCol) * s.cellWidth, (r - s.topRow) * s.cellHeight + ascent),
                QString(GlyphFor(cell)));
        }
    }
    return image;
}

inline bool CellAllWhite(const QImage& image, QRect cell) {
    cell = cell.intersected(image.rect());
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) return false;
        }
    }
    return true;
}

inline bool CellHasColour(const QImage& image, QRect cell, QRgb colour) {
    cell = cell.intersected(image.rect());
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
            if (image.pixel(x, y) == colour) return true;
        }
    }
    return false;
}

// No pixel of the cell is red-ish (only greys from black text on white).
inline bool CellHasNoRed(const QImage& image, QRect cell) {
    cell = cell.intersected(image.rect());
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) != qGreen(p)) return false;
        }
    }
    return true;
}

}  // namespace vellor::viewtest
