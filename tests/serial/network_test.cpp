// Network ports: names, the telnet decoder, and the device against a scripted port server.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "serial/device_names.h"
#include "serial/network_serial_device.h"
#include "support/scripted_telnet_peer.h"

namespace vellor::testing {
namespace {

using namespace telnet;

std::string Numbers(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes)
        out += " " + std::to_string(b);
    return out;
}

TEST(NetworkPortName, ParsesBothSchemesAndRefusesTheRest) {
    using P = NetworkProtocol;
    const std::pair<const char*, NetworkEndpoint> good[] = {
        {"rfc2217://127.0.0.1:2000", {P::Rfc2217, "127.0.0.1", false, 2000}},
        {"RFC2217://lab-rack.example.org:7001", {P::Rfc2217, "lab-rack.example.org", false, 7001}},
        {"Tcp://[::1]:65535", {P::RawTcp, "::1", true, 65535}},
        {"tcp://[fe80::1%eth0]:0023", {P::RawTcp, "fe80::1%eth0", true, 23}},
    };
    for (const auto& [name, endpoint] : good)
        EXPECT_EQ(ParseNetworkPortName(name), endpoint) << name;
    for (const char* bad :
         {"tcp://host", "tcp://host:", "tcp://host:0", "tcp://host:65536", "tcp://host:+80",
          "tcp://host:80/", "tcp://host:80:81", "tcp://:80", "tcp://::1:80", "tcp://[::1]80",
          "tcp://[::1:80", "tcp://[]:80", "tcp://[10.0.0.1]:80", "tcp://ho st:80", "tcp:/h:80",
          "telnet://host:23"})
        EXPECT_FALSE(ParseNetworkPortName(bad)) << bad;
}

// One line per event, adjacent data merged, so any cut of the input must give the same log.
struct RecordingSink final : TelnetSink {
    void Data(std::span<const uint8_t> bytes) override {
        if (log.empty() || log.back().rfind("data", 0) != 0) log.emplace_back("data");
        log.back() += Numbers(bytes);
    }
    void Negotiation(uint8_t verb, uint8_t option) override { Add("neg", {verb, option}); }
    void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) override {
        Add("sb", {option}, payload);
    }
    void Command(uint8_t command) override { Add("cmd", {command}); }
    void Add(const char* kind, Bytes head, std::span<const uint8_t> payload = {}) {
        log.push_back(kind + Numbers(head) + (kind[0] == 's' ? ":" + Numbers(payload) : ""));
    }
    std::vector<std::string> log;
};

TEST(TelnetDecoder, GivesTheSameEventsForEveryCutOfTheInput) {
    const std::pair<Bytes, std::vector<std::string>> cases[] = {
        {{65, 255, 255, 66, 240}, {"data 65 255 66 240"}},
        {{255, 255, 255, 255, 255, 255}, {"data 255 255 255"}},
        {{65, 255, 251, 3, 255, 254, 44, 66}, {"data 65", "neg 251 3", "neg 254 44", "data 66"}},
        {{255, 250, 44, 107, 255, 255, 255, 240}, {"sb 44: 107 255"}},
        {{255, 250, 44, 101, 0, 0, 225, 0, 255, 240, 65}, {"sb 44: 101 0 0 225 0", "data 65"}},
        {{255, 250, 44, 1, 240, 255, 240, 255, 250, 44, 255, 240}, {"sb 44: 1 240", "sb 44:"}},
        {{255, 241, 65, 255, 243, 255, 240, 66}, {"cmd 241", "data 65", "cmd 243", "data 66"}},
        // Cut short by a command: the subnegotiation is dropped, the stream stays in step.
        {{255, 250, 44, 7, 255, 251, 3, 65}, {"neg 251 3", "data 65"}},
    };
    for (const auto& [input, expected] : cases) {
        for (std::size_t cut = 0; cut <= input.size(); ++cut) {
            for (std::size_t step : {input.size(), std::size_t(1)}) {
                TelnetDecoder decoder;
                RecordingSink sink;
                decoder.Feed(std::span(input).first(cut), sink);
                for (std::size_t at = cut; at < input.size(); at += step)
                    decoder.Feed(std::span(input).subspan(at, std::min(step, input.size() - at)),
                                 sink);
                EXPECT_EQ(sink.log, expected) << Numbers(input) << " cut at " << cut;
            }
        }
    }
}

// 1.5 stop bits; malformed or foreign notices confirm nothing.
TEST(ComPortOption, ServerNoticesDecode) {
    EXPECT_EQ(ParseServerMessage(Bytes{104, 3}), (ComPortNotice{ComPortNotice::Kind::StopSize, 1}));
    for (const Bytes& other :
         {Bytes{101, 225, 0}, {102, 9}, {103, 6}, {106, 96}, {1, 0, 0, 37, 128}})
        EXPECT_EQ(ParseServerMessage(other), ComPortNotice{}) << Numbers(other);
}

// Opened without waiting for the option: the peer answers only while the test hears it.
std::shared_ptr<NetworkSerialDevice> OpenOn(ScriptedTelnetPeer& peer,
                                            const char* scheme = "rfc2217") {
    int error = 0;
    auto device = NetworkSerialDevice::Open(peer.Name(scheme), error, {5000, 0, 200});
    if (!device) throw std::runtime_error("not opened: error " + std::to_string(error));
    return device;
}

std::string Receive(SerialDevice& device, std::size_t count) {
    std::string got;
    std::array<uint8_t, 1000> buffer;
    WaitUntil([&] {
        if (device.Wait(10) == WaitResult::Ready)
            for (ReadResult r; (r = device.Read(buffer)).status == ReadStatus::Data;)
                got.append(reinterpret_cast<const char*>(buffer.data()), r.count);
        return got.size() >= count;
    });
    return got;
}

std::string HeardData(ScriptedTelnetPeer& peer, std::size_t count) {
    return peer.Hear([&](const auto& h) { return h.data.size() >= count; }).data;
}
bool OptionOn(const ScriptedTelnetPeer::Heard& heard) {
    return !heard.comPort.empty();  // the modem-state mask comes once the option is on
}

// Binary, suppress-go-ahead and the option are asked for once each and the echo refused, no answer
// answered; every byte goes out escaped; a modem notice (mask 0xFF, escaped) wakes a waiting
// reader; what comes in cut into one-byte segments is decoded whole; DTR and RTS go as asked.
TEST(NetworkDevice, NegotiatesOnceAndCarriesEveryByte) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer);
    const std::string all = AllBytes();
    ASSERT_EQ(device->Write(AsBytes(all), 10000).written, all.size());
    EXPECT_EQ(HeardData(peer, all.size()), all);
    EXPECT_EQ(peer.Hear(OptionOn).negotiations,
              (std::vector<std::pair<uint8_t, uint8_t>>{
                  {kWill, 0}, {kWill, 3}, {kWill, 44}, {kDo, 0}, {kDo, 3}, {kDont, kEcho}}));
    EXPECT_EQ(device->LineSettingsNote(), "");
    std::thread notify([&] { peer.Send(SubnegotiationFrame({107, 0xFF}), true); });
    EXPECT_TRUE(FinishesWithin(
        kPatience, [&] { device->Wait(600000); }, [&] { device->Interrupt(); }))
        << "a notice did not wake the reader";
    notify.join();
    EXPECT_EQ(device->ModemStatus(), kMsRlsdOn | kMsRingOn | kMsDsrOn | kMsCtsOn);
    ASSERT_TRUE(peer.Send("a\xff\xff\xff\xf1z", true));
    EXPECT_EQ(Receive(*device, 3), "a\xffz");
    device->SetDtr(true);
    device->SetRts(false);
    device->SetDtr(false);
    device->SetRts(true);
    EXPECT_EQ(peer.Hear([](const auto& h) { return h.comPort.size() >= 5; }).comPort,
              (std::vector<Bytes>{{11, 0xFF}, {5, 8}, {5, 12}, {5, 9}, {5, 11}}));
}

// Without the option data still flows; the note says so, nothing of it is sent, and a break goes
// as telnet's own.
TEST(NetworkDevice, UnansweredOptionStillCarriesData) {
    ScriptedTelnetPeer peer(true);
    auto device = OpenOn(peer);
    EXPECT_NE(device->LineSettingsNote(), "");
    EXPECT_EQ(device->Configure(PortConfig{}), 0);
    device->SetDtr(false);
    device->SendBreak(1);
    ASSERT_EQ(device->Write(AsBytes("\xff|data"), 1000).written, 6u);
    const auto& heard = peer.Hear([](const auto& h) { return h.data.size() >= 6; });
    EXPECT_EQ(heard.data, "\xff|data");
    EXPECT_TRUE(heard.comPort.empty());
    EXPECT_EQ(heard.commands, std::string(1, char(kBrk)));
}

// Suspended, data waits (a short write gives up having sent nothing) but control messages go, and
// resume lets a waiting write through. Two closers at once end a waiting reader and writer.
TEST(NetworkDevice, SuspendHoldsDataUntilResumeOrClose) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer);
    peer.Hear(OptionOn);
    ASSERT_TRUE(peer.Send(SubnegotiationFrame({108}) + SubnegotiationFrame({107, 0x20})));
    ASSERT_TRUE(WaitUntil([&] { return device->ModemStatus() == kMsDsrOn; }));
    EXPECT_EQ(device->Write(AsBytes("early"), 50).written, 0u);
    device->SetRts(false);
    EXPECT_EQ(peer.Hear([](const auto& h) { return h.comPort.size() > 1; }).comPort.back(),
              (Bytes{5, 12}));
    std::thread resume([&] { peer.Send(SubnegotiationFrame({109})); });
    EXPECT_EQ(device->Write(AsBytes("late"), 600000).written, 4u);
    resume.join();
    EXPECT_EQ(HeardData(peer, 4), "late");

    ASSERT_TRUE(peer.Send(SubnegotiationFrame({108}) + SubnegotiationFrame({107, 0x10})));
    ASSERT_TRUE(WaitUntil([&] { return device->ModemStatus() == kMsCtsOn; }));
    device->Wait(0);  // takes the change the notice made
    std::thread reader([&] { EXPECT_EQ(device->Wait(600000), WaitResult::Interrupted); });
    std::thread writer([&] { EXPECT_EQ(device->Write(AsBytes("held"), 600000).written, 0u); });
    EXPECT_TRUE(FinishesWithin(kPatience, [&] {
        std::thread other([&] { device->Close(); });
        device->Close();
        for (auto* t : {&other, &reader, &writer})
            t->join();
    }));
    std::array<uint8_t, 16> buffer;
    EXPECT_EQ(device->Read(buffer).error, EBADF);
    EXPECT_EQ(device->Configure(PortConfig{}), EBADF);
    EXPECT_EQ(peer.Hear([](const auto&) { return true; }).data, "late");
}

// Raw TCP takes bytes as they are; what came before the server went away is read before the loss.
TEST(NetworkDevice, ADroppedConnectionIsLostAfterItsData) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer, "tcp");
    ASSERT_TRUE(peer.Send("last words"));
    peer.Hangup();
    EXPECT_EQ(Receive(*device, 13), "\xff\xfb\x01last words");  // the echo offer is data here
    std::array<uint8_t, 64> buffer;
    EXPECT_TRUE(WaitUntil([&] { return device->Read(buffer).error == ECONNRESET; }));
    EXPECT_EQ(device->Wait(600000), WaitResult::Ready);
}

// A failure to open says why without hanging, for IPv6 and host names too; closing leaves nothing.
TEST(NetworkDevice, OpeningSaysWhyItFailedAndClosingLeavesNothing) {
    int error = 0, port = 0;
    EXPECT_EQ(OpenSerialDevice("tcp://[::1]80", error), nullptr);
    EXPECT_EQ(error, EINVAL);
    const int fd = BoundLoopbackSocket(port);
    const std::string name = "tcp://127.0.0.1:" + std::to_string(port);
    for (const std::string& refused : {name, "RFC2217://[::1]:" + std::to_string(port),
                                       "Tcp://localhost:" + std::to_string(port)}) {
        EXPECT_EQ(OpenSerialDevice(refused, error), nullptr);
        EXPECT_EQ(error, ECONNREFUSED) << refused;
    }
    // A server whose queue of connections is full never answers: the connect times out.
    ASSERT_EQ(listen(fd, 0), 0);
    std::vector<std::shared_ptr<NetworkSerialDevice>> queued;  // kept open to keep it full
    for (int i = 0; i < 8 && error != ETIMEDOUT; ++i)
        queued.push_back(NetworkSerialDevice::Open(name, error, {200, 200, 200}));
    EXPECT_EQ(error, ETIMEDOUT);
    close(fd);
    queued.clear();

    auto count = [](const char* dir) {
        return std::distance(std::filesystem::directory_iterator(dir), {});
    };
    const auto fds = count("/proc/self/fd"), threads = count("/proc/self/task");
    for (int i = 0; i < 10; ++i) {
        ScriptedTelnetPeer server;
        OpenOn(server, i % 2 ? "tcp" : "rfc2217")->Close();
    }
    EXPECT_EQ(count("/proc/self/fd"), fds);
    EXPECT_TRUE(WaitUntil([&] { return count("/proc/self/task") == threads; }));
}

}  // namespace
}  // namespace vellor::testing
