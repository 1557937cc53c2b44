#include "screen/find.h"

#include <mutex>

#include "app/app_state.h"
#include "app/host.h"
#include "base/unicode.h"
#include "screen/screen_text.h"
#include "screen/viewport.h"

namespace vellor {

namespace {

// Cells hold Latin-1 characters (and a box for the rest), so folding Latin-1 letters is all the
// case a match can ignore; the one upper case letter outside it whose lower case is inside is
// folded too.
char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return char16_t(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 0x20);
    if (c == 0x178) return 0xFF;  // Y with diaeresis
    return c;
}

std::u16string Folded(std::u16string text, bool matchCase) {
    if (!matchCase) {
        for (char16_t& c : text)
            c = FoldCase(c);
    }
    return text;
}

}  // namespace

std::optional<CellRange> FindMatch(const AppState& s, const FindRequest& request) {
    const std::optional<std::u16string> utf16 = Utf8ToUtf16(request.needle);
    if (!utf16 || utf16->empty()) return std::nullopt;
    const std::u16string needle = Folded(*utf16, request.matchCase);

    std::lock_guard lock(s.screenMutex);
    const ScreenBuffer* buf = s.screenBuffer.get();
    if (buf == nullptr) return std::nullopt;
    const int rows = std::min<int>(s.numRows, buf->Rows());
    if (rows == 0) return std::nullopt;
    const bool next = request.direction == FindDirection::Next;
    // Next looks at matches starting at or after `from`, Previous at those starting before it.
    CellPoint from{s.cursorRow, s.cursorCol};
    if (!s.selection.Empty()) from = next ? s.selection.cells.end : s.selection.cells.start;
    from.row = uint16_t(std::min<int>(from.row, rows - 1));

    // Rows in search order, starting and ending with the row of `from`: its far part first, its
    // near part after the wrap.
    for (int step = 0; step <= rows; ++step) {
        const int offset = next ? step : -step;
        const int row = ((from.row + offset) % rows + rows) % rows;
        const std::u16string text = Folded(RowText(*buf, uint16_t(row)), request.matchCase);
        std::size_t at = std::u16string::npos;
        if (next) {
            if (step == 0) {
                at = text.find(needle, from.col);
            } else {
                at = text.find(needle);
                if (step == rows && at >= from.col) at = std::u16string::npos;
            }
        } else if (step == 0) {
            at = from.col > 0 ? text.rfind(needle, from.col - 1) : std::u16string::npos;
        } else {
            at = text.rfind(needle);
            if (step == rows && at != std::u16string::npos && at < from.col)
                at = std::u16string::npos;
        }
        if (at != std::u16string::npos) {
            return CellRange{{uint16_t(row), uint16_t(at)},
                             {uint16_t(row), uint16_t(at + needle.size())}};
        }
    }
    return std::nullopt;
}

bool FindAndSelect(AppState& s, Host& host, const FindRequest& request) {
    const std::optional<CellRange> match = FindMatch(s, request);
    if (!match) return false;
    SelectCells(s, *match);
    {
        std::lock_guard lock(s.screenMutex);
        EnsureCellsVisible(s, match->start, {match->end.row, uint16_t(match->end.col - 1)});
    }
    host.ApplyScrollBars(UpdateScrollBars(s));
    PublishSelection(s, host);
    return true;
}

}  // namespace vellor
