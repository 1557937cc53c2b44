#include "settings/options_model.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/platform.h"
#include "screen/screen.h"
#include "settings/memory_backend.h"

namespace vellor {
namespace {

class FakePlatform : public Platform {
  public:
    void ShowMessage(MessageOwner, const std::string& text, const std::string& caption,
                     const std::string&) override {
        messages.push_back(text + "/" + caption);
    }
    void DestroyMainWindow() override { ++destroyed; }
    std::vector<std::string> messages;
    int destroyed = 0;
};

class OptionsModel : public ::testing::Test {
  protected:
    OptionsModel() {
        std::lock_guard lock(state.screenMutex);
        state.numRows = 24;
        state.numCols = 80;
        state.visibleRows = 20;
        state.visibleCols = 40;
        state.cellWidth = 8;
        state.cellHeight = 16;
    }
    void SetUp() override {
        ASSERT_EQ(AllocateScreen(state, platform), 0);
        TakeDamage(state);
    }

    // Puts "hi" on the screen and moves the cursor, so that a clear shows.
    void Scribble() {
        PutByte(state, 'h');
        PutByte(state, 'i');
        TakeDamage(state);
    }
    bool Scribbled() {
        std::lock_guard lock(state.screenMutex);
        return state.screenBuffer->At(0, 0) == 'h' && state.cursorCol == 2;
    }
    const ScreenBuffer* Buffer() {
        std::lock_guard lock(state.screenMutex);
        return state.screenBuffer.get();
    }

    AppState state;
    MemorySettingsBackend settings;
    FakePlatform platform;
};

TEST_F(OptionsModel, OpensWithTheStateValues) {
    state.echo = 1;
    state.rxCapture = 0;
    state.txCapture = 1;
    const OptionsValues v = OpenOptionsDialog(state);
    EXPECT_EQ(v.rowsText, "24");
    EXPECT_EQ(v.columnsText, "80");
    EXPECT_EQ(v.mode, 0);
    EXPECT_TRUE(v.echo);
    EXPECT_FALSE(v.rxCapture);
    EXPECT_TRUE(v.txCapture);
    EXPECT_FALSE(v.rxBit7);
}

TEST_F(OptionsModel, ModeOutsideTheButtonsChecksNoneAndIsKeptAndSaved) {
    {
        std::lock_guard lock(state.screenMutex);
        state.displayMode = 5;
    }
    const OptionsValues v = OpenOptionsDialog(state);
    EXPECT_EQ(v.mode, -1);
    AcceptOptionsDialog(state, settings, platform, v);
    EXPECT_EQ(state.displayMode, 5);
    EXPECT_EQ(settings.Dword("Mode"), 5u);
}

TEST_F(OptionsModel, OkWithoutChangesSavesEverythingAndKeepsTheScreen) {
    Scribble();
    const ScreenBuffer* before = Buffer();
    EXPECT_EQ(AcceptOptionsDialog(state, settings, platform, OpenOptionsDialog(state)),
              OptionsOutcome::Applied);
    EXPECT_EQ(Buffer(), before);
    EXPECT_TRUE(Scribbled());
    for (const char* name : {"NumRows", "NumCols", "Mode", "RX_Bit7", "RX_CRLF", "Echo", "TX_CRLF",
                             "TX_Capture", "RX_Capture"}) {
        EXPECT_TRUE(settings.values.count(name)) << name;
    }
}

TEST_F(OptionsModel, CheckBoxesAloneNeitherReallocateNorClear) {
    Scribble();
    const ScreenBuffer* before = Buffer();
    OptionsValues v = OpenOptionsDialog(state);
    v.rxBit7 = v.rxCrLf = v.echo = v.txCrLf = v.txCapture = true;
    v.rxCapture = false;
    AcceptOptionsDialog(state, settings, platform, v);
    EXPECT_EQ(Buffer(), before);
    EXPECT_TRUE(Scribbled());
    EXPECT_EQ(state.rxBit7, 1);
    EXPECT_EQ(state.rxCrLf, 1);
    EXPECT_EQ(state.echo, 1);
    EXPECT_EQ(state.txCrLf, 1);
    EXPECT_EQ(state.txCapture, 1);
    EXPECT_EQ(state.rxCapture, 0);
    EXPECT_EQ(settings.Dword("RX_Capture"), 0u);
    EXPECT_EQ(settings.Dword("Echo"), 1u);
}

TEST_F(OptionsModel, NewRowCountReallocatesAndHomes) {
    Scribble();
    OptionsValues v = OpenOptionsDialog(state);
    v.rowsText = "25";
    AcceptOptionsDialog(state, settings, platform, v);
    std::lock_guard lock(state.screenMutex);
    EXPECT_EQ(state.numRows, 25);
    EXPECT_EQ(state.screenBuffer->Rows(), 25);
    EXPECT_EQ(state.screenBuffer->At(0, 0), ScreenBuffer::kBlank);
    EXPECT_EQ(state.cursorCol, 0);
    EXPECT_EQ(settings.Dword("NumRows"), 25u);
}

struct SizeCase {
    std::string text;
    uint16_t value;
};

class TypedSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(TypedSizes, ConvertLikeTheDialogSays) {
    AppState state;
    FakePlatform platform;
    MemorySettingsBackend settings;
    {
        std::lock_guard lock(state.screenMutex);
        state.numRows = 24;
        state.numCols = 80;
    }
    OptionsValues v = OpenOptionsDialog(state);
    v.columnsText = GetParam().text;
    v.rowsText = "1";  // keeps even 65535 columns well within the allocation limit
    AcceptOptionsDialog(state, settings, platform, v);
    // A size the screen cannot take falls back to the view's; the typed conversion is what
    // reached the allocation.
    if (GetParam().value != 0) {
        EXPECT_EQ(state.numCols, GetParam().value);
        EXPECT_TRUE(platform.messages.empty());
    } else {
        EXPECT_EQ(platform.messages.front(), "AllocMem Failed/Error");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TypedSizes,
                         ::testing::Values(SizeCase{"20000", 20000}, SizeCase{"-1", 65535},
                                           SizeCase{"abc", 0}, SizeCase{"  42x", 42},
                                           SizeCase{"+7", 7}, SizeCase{"65537", 1},
                                           SizeCase{"", 0}));

TEST_F(OptionsModel, TwentyThousandRowsAreTakenAsTyped) {
    OptionsValues v = OpenOptionsDialog(state);
    v.rowsText = "20000";
    AcceptOptionsDialog(state, settings, platform, v);
    EXPECT_EQ(state.numRows, 20000);
    EXPECT_EQ(settings.Dword("NumRows"), 20000u);
}

TEST_F(OptionsModel, UnallocatableSizeFallsBackToTheViewAndSavesThat) {
    OptionsValues v = OpenOptionsDialog(state);
    v.rowsText = "abc";  // 0 rows: no buffer can be made
    EXPECT_EQ(AcceptOptionsDialog(state, settings, platform, v), OptionsOutcome::Applied);
    EXPECT_EQ(platform.messages, std::vector<std::string>{"AllocMem Failed/Error"});
    EXPECT_EQ(state.numRows, 20);
    EXPECT_EQ(state.numCols, 40);
    EXPECT_NE(Buffer(), nullptr);
    EXPECT_EQ(settings.Dword("NumRows"), 20u);
    EXPECT_EQ(settings.Dword("NumCols"), 40u);
    EXPECT_EQ(platform.destroyed, 0);
}

TEST_F(OptionsModel, SecondFailureEndsTheProgramWithoutSaving) {
    {
        std::lock_guard lock(state.screenMutex);
        state.visibleRows = 0;  // the view's size cannot hold a buffer either
    }
    OptionsValues v = OpenOptionsDialog(state);
    v.rowsText = "0";
    v.echo = true;
    EXPECT_EQ(AcceptOptionsDialog(state, settings, platform, v), OptionsOutcome::ProgramEnded);
    EXPECT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.destroyed, 1);
    EXPECT_TRUE(settings.writes.empty());
    EXPECT_EQ(state.echo, 0);
}

struct ModeCase {
    int from;
    int to;
    bool cleared;
    int escapeAfter;
};

class ModeChanges : public OptionsModel, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ModeChanges, ClearOnlyOnAChangeAndResetEscapesForText) {
    const ModeCase c = GetParam();
    {
        std::lock_guard lock(state.screenMutex);
        state.displayMode = 0;
    }
    Scribble();
    {
        std::lock_guard lock(state.screenMutex);
        state.displayMode = c.from;
        state.escapeState = 1;
    }
    OptionsValues v = OpenOptionsDialog(state);
    v.mode = c.to;
    AcceptOptionsDialog(state, settings, platform, v);
    EXPECT_EQ(state.displayMode, c.to);
    EXPECT_EQ(!Scribbled(), c.cleared);
    EXPECT_EQ(state.escapeState, c.escapeAfter);
    EXPECT_EQ(settings.Dword("Mode"), uint32_t(c.to));
}

INSTANTIATE_TEST_SUITE_P(Table, ModeChanges,
                         ::testing::Values(ModeCase{1, 0, true, 0}, ModeCase{0, 1, true, 1},
                                           ModeCase{0, 2, true, 1}, ModeCase{2, 1, true, 1},
                                           ModeCase{0, 0, false, 1}, ModeCase{2, 2, false, 1}));

struct StepCase {
    std::string text;
    int delta;
    int max;
    std::string result;
};

class ArrowSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(ArrowSteps, StayInRangeAndWrap) {
    const StepCase c = GetParam();
    EXPECT_EQ(StepSizeText(c.text, c.delta, c.max), c.result);
}

INSTANTIATE_TEST_SUITE_P(Table, ArrowSteps,
                         ::testing::Values(StepCase{"24", 1, kMaxRowsStep, "25"},
                                           StepCase{"24", -1, kMaxRowsStep, "23"},
                                           StepCase{"9999", 1, kMaxRowsStep, "0"},
                                           StepCase{"0", -1, kMaxRowsStep, "9999"},
                                           StepCase{"999", 1, kMaxColumnsStep, "0"},
                                           StepCase{"0", -1, kMaxColumnsStep, "999"},
                                           StepCase{"abc", 1, kMaxRowsStep, "1"},
                                           StepCase{"20000", 1, kMaxRowsStep, "0"},
                                           StepCase{"1000", -1, kMaxColumnsStep, "998"}));

}  // namespace
}  // namespace vellor
