// What the group operations ask of a backend: which calls, in which order, with which bytes.
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "settings/settings_store.h"
#include "settings/settings_test_support.h"

namespace vellor {
namespace {

using test::Le32;
using test::SzBytes;
using Write = MemorySettingsBackend::Write;

std::vector<std::string> WrittenNames(const MemorySettingsBackend& backend) {
    std::vector<std::string> names;
    for (const Write& w : backend.writes)
        names.push_back(w.name);
    return names;
}

const std::vector<std::string> kDisplayOrder = {"NumRows", "NumCols",    "Mode",
                                                "RX_Bit7", "RX_CRLF",    "Echo",
                                                "TX_CRLF", "TX_Capture", "RX_Capture"};

TEST(MemoryBackendStore, DisplaySaveWritesNineDwordsInOrder) {
    MemorySettingsBackend backend;
    AppState state;
    {
        std::lock_guard lock(state.screenMutex);
        state.numRows = 24;
        state.numCols = 80;
        state.displayMode = 1;
    }
    state.txCapture = 5;
    SaveDisplaySettings(state, backend);
    EXPECT_EQ(WrittenNames(backend), kDisplayOrder);
    const std::vector<uint32_t> expected = {24, 80, 1, 0, 0, 0, 0, 5, 1};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(backend.writes[i].type, SettingsBackend::kRegDword);
        EXPECT_EQ(backend.writes[i].bytes, Le32(expected[i])) << backend.writes[i].name;
    }
    EXPECT_EQ(backend.opens, 1);
    EXPECT_EQ(backend.closes, 1);
}

TEST(MemoryBackendStore, BarAndPortSavesWriteTheirValuesInOrder) {
    MemorySettingsBackend backend;
    AppState state;
    state.controlBar = 1;
    state.hexInput = 2;
    state.portName = "COM10";
    state.portConfig.SetBaudRate(9600);
    SaveBarSettings(state, backend);
    SavePortSettings(state, backend);
    ASSERT_EQ(WrittenNames(backend),
              (std::vector<std::string>{"Control", "HexInput", "COM?", "DCB"}));
    EXPECT_EQ(backend.writes[1].bytes, Le32(2));
    EXPECT_EQ(backend.writes[2].type, SettingsBackend::kRegSz);
    EXPECT_EQ(backend.writes[2].bytes.size(), 12u) << "5 characters and the terminating zero";
    EXPECT_EQ(backend.writes[2].bytes, SzBytes("COM10"));
    EXPECT_EQ(backend.writes[3].type, SettingsBackend::kRegBinary);
    EXPECT_EQ(backend.writes[3].bytes,
              std::vector<uint8_t>(state.portConfig.bytes.begin(), state.portConfig.bytes.end()));
}

TEST(MemoryBackendStore, FailedWriteIsSkippedAndTheNextStillWritten) {
    for (const std::string& failing : kDisplayOrder) {
        MemorySettingsBackend backend;
        backend.failWrites = {failing};
        AppState state;
        SaveDisplaySettings(state, backend);
        EXPECT_EQ(WrittenNames(backend), kDisplayOrder) << failing;
        EXPECT_EQ(backend.values.size(), 8u);
        EXPECT_FALSE(backend.values.contains(failing));
    }
    MemorySettingsBackend backend;
    backend.failWrites = {"COM?"};
    AppState state;
    SavePortSettings(state, backend);
    EXPECT_TRUE(backend.values.contains("DCB"));
    EXPECT_EQ(backend.closes, 1);
}

TEST(MemoryBackendStore, NothingWrittenWhenTheKeyCannotBeCreated) {
    MemorySettingsBackend backend;
    backend.failCreate = true;
    AppState state;
    SaveDisplaySettings(state, backend);
    SaveBarSettings(state, backend);
    SavePortSettings(state, backend);
    EXPECT_TRUE(backend.writes.empty());
    EXPECT_FALSE(backend.keyExists);
}

TEST(MemoryBackendStore, LoadsNeverCreateTheKey) {
    MemorySettingsBackend backend;
    AppState state;
    EXPECT_EQ(LoadDisplaySettings(state, backend), 0);
    EXPECT_EQ(LoadBarSettings(state, backend), 0);
    EXPECT_EQ(LoadPortSettings(state, backend), 0);
    EXPECT_FALSE(backend.keyExists);
    EXPECT_TRUE(backend.queries.empty());
    EXPECT_EQ(backend.opens, 0);
}

TEST(MemoryBackendStore, LoadQueriesInOrderAndStopsAtFirstFailure) {
    MemorySettingsBackend backend;
    backend.StoreDword("NumRows", 30);
    backend.StoreDword("NumCols", 90);
    backend.StoreDword("RX_Bit7", 1);  // after the missing Mode: never asked for
    AppState state;
    EXPECT_EQ(LoadDisplaySettings(state, backend), 0);
    EXPECT_EQ(backend.queries, (std::vector<std::string>{"NumRows", "NumCols", "Mode"}));
    EXPECT_EQ(state.numRows, 30);
    EXPECT_EQ(state.numCols, 90);
    EXPECT_EQ(state.rxBit7.load(), 0);
    EXPECT_EQ(backend.closes, 1);

    backend.queries.clear();
    EXPECT_EQ(LoadPortSettings(state, backend), 0);
    EXPECT_EQ(backend.queries, (std::vector<std::string>{"COM?"}));
}

TEST(MemoryBackendStore, EightOfNineDisplayValuesStillFail) {
    MemorySettingsBackend backend;
    for (std::size_t i = 0; i + 1 < kDisplayOrder.size(); ++i)
        backend.StoreDword(kDisplayOrder[i], 1);
    AppState state;
    EXPECT_EQ(LoadDisplaySettings(state, backend), 0);
    EXPECT_EQ(backend.queries, kDisplayOrder);
    EXPECT_EQ(state.txCapture.load(), 1) << "values before the failure are already stored";
    EXPECT_EQ(state.rxCapture.load(), 1);
}

TEST(SettingsDefaults, DisplayDefaultsSetExactlyTheirFields) {
    AppState state;
    {
        std::lock_guard lock(state.screenMutex);
        state.numRows = 50;
        state.numCols = 60;
        state.displayMode = 2;
    }
    for (Flag* flag : {&state.rxBit7, &state.rxCrLf, &state.echo, &state.txCrLf, &state.txCapture,
                       &state.rxCapture}) {
        flag->store(9);
    }
    state.controlBar = 1;
    state.hexInput = 2;
    state.capturing = 1;
    SetDisplayDefaults(state);
    EXPECT_EQ(state.numRows, 50);
    EXPECT_EQ(state.numCols, 60);
    EXPECT_EQ(state.displayMode, 0);
    EXPECT_EQ(state.rxBit7.load(), 0);
    EXPECT_EQ(state.rxCrLf.load(), 0);
    EXPECT_EQ(state.echo.load(), 0);
    EXPECT_EQ(state.txCrLf.load(), 0);
    EXPECT_EQ(state.txCapture.load(), 0);
    EXPECT_EQ(state.rxCapture.load(), 1);
    EXPECT_EQ(state.controlBar, 0);
    EXPECT_EQ(state.hexInput, 0);
    EXPECT_EQ(state.capturing, 1);
}

TEST(SettingsDefaults, BarDefaultsClearBarAndHexEntryOnly) {
    AppState state;
    state.controlBar = 1;
    state.hexInput = 1;
    state.echo = 1;
    SetBarDefaults(state);
    EXPECT_EQ(state.controlBar, 0);
    EXPECT_EQ(state.hexInput, 0);
    EXPECT_EQ(state.echo.load(), 1);
}

}  // namespace
}  // namespace vellor
