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

// Only a change on the way to the device wakes the waiter (no retries); the device it hands over
// is configured as it was lost.
TEST(PortWaiter, WakesWhenTheDeviceComesBackThroughAnyFolderOnItsWay) {
    struct Step {
        const char *path, *link = nullptr;  // a link to `link`, or else a node
    };
    const struct {
        const char* name;
        Step before, comeBack;
    } cases[] = {{"dev/ttyUSB0", {"nodes/other"}, {"dev/ttyUSB0"}},
                 {"dev/by-id/x", {"dev/ttyUSB0"}, {"dev/by-id/x", "../ttyUSB0"}},
                 {"dev/by-id/x", {"dev/by-id/x", "../../nodes/ttyUSB1"}, {"nodes/ttyUSB1"}}};
    PortConfig config;
    config.SetBaudRate(57600);
    for (const auto& c : cases) {
        TempFolder folder;
        const auto make = [&](Step step) {
            fs::create_directories((folder.path() / step.path).parent_path());
            if (step.link)
                fs::create_symlink(step.link, folder.path() / step.path);
            else
                WriteFile(folder.path() / step.path, "");
        };
        fs::create_directories(folder.path() / "dev");
        make(c.before);
        std::atomic<int> tries{0};
        std::atomic<bool> reopened{false};
        auto device = std::make_shared<FakeSerialDevice>();
        PortWaiter waiter(folder.Path(c.name), config,
                          [&](const std::string& name, int&) -> std::shared_ptr<SerialDevice> {
                              return ++tries && fs::exists(name) ? device : nullptr;
                          },
                          {.settleMs = 1, .settleTries = 0, .idleMs = -1});
        waiter.Start([&](std::shared_ptr<SerialDevice> got) { reopened = got == device; });
        ASSERT_TRUE(WaitUntil([&] { return tries > 0; })) << c.comeBack.path << ": never tried";
        EXPECT_FALSE(reopened);
        make(c.comeBack);
        ASSERT_TRUE(WaitUntil([&] { return reopened.load(); })) << c.comeBack.path << ": asleep";
        EXPECT_EQ(device->configured.at(0).BaudRate(), 57600u);
    }
}

// Stop ends an endless wait, and one in a slow open, whose device is then closed, not handed over.
TEST(PortWaiter, StopsAtOnceEvenInASlowOpen) {
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
}

}  // namespace
}  // namespace vellor::testing
