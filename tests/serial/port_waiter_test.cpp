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

// Opens whatever exists at the name's path (links followed) as a fake device.
struct ExistingFileOpener {
    std::atomic<int> tries{0};
    DeviceOpener Opener() {
        return [this](const std::string& name, int& error) -> std::shared_ptr<SerialDevice> {
            ++tries;
            if (fs::exists(name)) return std::make_shared<FakeSerialDevice>();
            error = ENOENT;
            return nullptr;
        };
    }
};

// Each way a device comes back, with the waiter never waking on its own (no idle retries and
// settling tries only right after a change): it must be the change that wakes it.
TEST(PortWaiter, WakesWhenTheDeviceComesBackThroughAnyFolderOnItsWay) {
    const struct {
        const char* how;
        const char* name;  // under the test's folder
        std::function<void(const fs::path&root)> before, comeBack;
    } cases[] = {
        {"node appears", "dev/ttyUSB0", [](const fs::path&) {},
         [](const fs::path& root) { WriteFile(root / "dev" / "ttyUSB0", ""); }},
        {"link to an existing node appears (its folder made too)", "dev/by-id/ttyUSB0",
         [](const fs::path& root) { WriteFile(root / "dev" / "ttyUSB0", ""); },
         [](const fs::path& root) {
             fs::create_directories(root / "dev" / "by-id");
             fs::create_symlink("../ttyUSB0", root / "dev" / "by-id" / "ttyUSB0");
         }},
        {"node appears behind a dangling link", "dev/by-id/ttyUSB0",
         [](const fs::path& root) {
             fs::create_directories(root / "dev" / "by-id");
             fs::create_directories(root / "nodes");
             fs::create_symlink(root / "nodes" / "ttyUSB1", root / "dev" / "by-id" / "ttyUSB0");
         },
         [](const fs::path& root) { WriteFile(root / "nodes" / "ttyUSB1", ""); }},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const fs::path root = folder.path();
        fs::create_directories(root / "dev");
        c.before(root);
        const std::string name = (root / c.name).string();
        ExistingFileOpener opener;
        std::atomic<bool> reopened{false};
        PortWaiter waiter(name, {}, opener.Opener(),
                          {.settleMs = 1, .settleTries = 0, .idleMs = -1});
        waiter.Start([&](std::shared_ptr<SerialDevice> device) { reopened = device != nullptr; });
        ASSERT_TRUE(WaitUntil([&] { return opener.tries > 0; })) << c.how << ": never tried";
        EXPECT_FALSE(reopened);
        c.comeBack(root);
        EXPECT_TRUE(WaitUntil([&] { return reopened.load(); })) << c.how << ": never woke";
        EXPECT_GE(waiter.Wakes(), 1u) << c.how;
    }
}

// Stop ends a wait that nothing would ever end, and one in a slow open; the device handed over
// is configured with the settings it was lost with.
TEST(PortWaiter, StopsAtOnceAndConfiguresWhatItReopens) {
    TempFolder folder;
    ExistingFileOpener opener;
    PortWaiter forever(folder.Path("absent"), {}, opener.Opener(), {.idleMs = -1});
    forever.Start([](std::shared_ptr<SerialDevice>) { ADD_FAILURE() << "nothing came back"; });
    EXPECT_TRUE(FinishesWithin(kPatience, [&] { forever.Stop(); }));

    // An open that takes long (a connection being made) does not hold Stop: the device it
    // brings afterwards is closed, never handed over.
    struct SlowOpen {
        std::atomic<bool> entered{false}, release{false};
        std::shared_ptr<FakeSerialDevice> device = std::make_shared<FakeSerialDevice>();
    };
    auto slow = std::make_shared<SlowOpen>();
    {
        PortWaiter connecting("tcp://192.0.2.1:1", {},
                              [slow](const std::string&, int&) -> std::shared_ptr<SerialDevice> {
                                  slow->entered = true;
                                  WaitUntil([&] { return slow->release.load(); });
                                  return slow->device;
                              },
                              {.networkRetryMs = 1});
        connecting.Start([](std::shared_ptr<SerialDevice>) { ADD_FAILURE() << "handed over"; });
        ASSERT_TRUE(WaitUntil([&] { return slow->entered.load(); })) << "never tried";
        EXPECT_TRUE(FinishesWithin(kPatience / 2, [&] { connecting.Stop(); }));
    }
    slow->release = true;
    EXPECT_TRUE(WaitUntil([&] { return slow->device->closes == 1; })) << "left open";

    PortConfig config;
    config.SetBaudRate(57600);
    auto device = std::make_shared<FakeSerialDevice>();
    std::atomic<bool> reopened{false};
    PortWaiter waiter("rfc2217://127.0.0.1:1", config,
                      [&](const std::string&, int&) { return device; }, {.networkRetryMs = 1});
    waiter.Start([&](std::shared_ptr<SerialDevice>) { reopened = true; });
    ASSERT_TRUE(WaitUntil([&] { return reopened.load(); })) << "never reopened";
    ASSERT_EQ(device->configured.size(), 1u);
    EXPECT_EQ(device->configured[0].BaudRate(), 57600u);
}

}  // namespace
}  // namespace vellor::testing
