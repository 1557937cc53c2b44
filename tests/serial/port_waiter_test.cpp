// Waiting for a lost device: woken by its folders changing, never by a clock.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "serial/port_waiter.h"
#include "support/deadline.h"
#include "support/fake_serial_device.h"
#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

namespace fs = std::filesystem;

// Each way a device comes back (node, link to a node, node behind a dangling link; folders made
// on the way), with no idle retries and no settling tries: only the change can wake the waiter.
TEST(PortWaiter, WakesWhenTheDeviceComesBackThroughAnyFolderOnItsWay) {
    struct Step {
        const char *path = nullptr, *link = nullptr;  // a link to `link`, or else a node
    };
    const struct {
        const char* name;
        Step before, comeBack;
    } cases[] = {{"dev/ttyUSB0", {}, {"dev/ttyUSB0"}},
                 {"dev/by-id/x", {"dev/ttyUSB0"}, {"dev/by-id/x", "../ttyUSB0"}},
                 {"dev/by-id/x", {"dev/by-id/x", "../../nodes/ttyUSB1"}, {"nodes/ttyUSB1"}}};
    for (const auto& c : cases) {
        TempFolder folder;
        const fs::path root = folder.path();
        fs::create_directories(root / "dev");
        fs::create_directories(root / "nodes");
        const auto make = [&](Step step) {
            if (!step.path) return;
            fs::create_directories((root / step.path).parent_path());
            if (step.link)
                fs::create_symlink(step.link, root / step.path);
            else
                WriteFile(root / step.path, "");
        };
        make(c.before);
        std::atomic<int> tries{0};
        std::atomic<bool> reopened{false};
        PortWaiter waiter(
            (root / c.name).string(), {},
            [&](const std::string& name, int& error) -> std::shared_ptr<SerialDevice> {
                ++tries;
                error = ENOENT;
                if (!fs::exists(name)) return nullptr;
                return std::make_shared<FakeSerialDevice>();
            },
            {.settleMs = 1, .settleTries = 0, .idleMs = -1});
        waiter.Start([&](std::shared_ptr<SerialDevice> device) { reopened = device != nullptr; });
        ASSERT_TRUE(WaitUntil([&] { return tries > 0; })) << c.comeBack.path << ": never tried";
        EXPECT_FALSE(reopened);
        make(c.comeBack);
        EXPECT_TRUE(WaitUntil([&] { return reopened.load(); }))
            << c.comeBack.path << ": never woke";
    }
}

// Stop ends a wait that nothing would ever end, and one in a slow open (the device that open
// brings afterwards is closed, never handed over); a device handed over is configured with the
// settings it was lost with.
TEST(PortWaiter, StopsAtOnceAndConfiguresWhatItReopens) {
    PortWaiter forever("/nonexistent/vellor", {}, [](const std::string&, int&) { return nullptr; },
                       {.idleMs = -1});
    forever.Start([](std::shared_ptr<SerialDevice>) { ADD_FAILURE() << "nothing came back"; });
    EXPECT_TRUE(FinishesWithin(kPatience, [&] { forever.Stop(); }));

    auto device = std::make_shared<FakeSerialDevice>();
    auto entered = std::make_shared<std::atomic<bool>>(false);
    auto release = std::make_shared<std::atomic<bool>>(false);
    {
        PortWaiter connecting("tcp://192.0.2.1:1", {},
                              [=](const std::string&, int&) -> std::shared_ptr<SerialDevice> {
                                  *entered = true;
                                  WaitUntil([&] { return release->load(); });
                                  return device;
                              },
                              {.networkRetryMs = 1});
        connecting.Start([](std::shared_ptr<SerialDevice>) { ADD_FAILURE() << "handed over"; });
        ASSERT_TRUE(WaitUntil([&] { return entered->load(); })) << "never tried";
        EXPECT_TRUE(FinishesWithin(kPatience / 2, [&] { connecting.Stop(); }));
    }
    *release = true;
    EXPECT_TRUE(WaitUntil([&] { return device->closes == 1; })) << "left open";

    PortConfig config;
    config.SetBaudRate(57600);
    std::atomic<bool> reopened{false};
    auto fresh = std::make_shared<FakeSerialDevice>();
    PortWaiter waiter("rfc2217://127.0.0.1:1", config,
                      [&](const std::string&, int&) { return fresh; }, {.networkRetryMs = 1});
    waiter.Start([&](std::shared_ptr<SerialDevice>) { reopened = true; });
    ASSERT_TRUE(WaitUntil([&] { return reopened.load(); })) << "never reopened";
    ASSERT_EQ(fresh->configured.size(), 1u);
    EXPECT_EQ(fresh->configured[0].BaudRate(), 57600u);
}

}  // namespace
}  // namespace vellor::testing
