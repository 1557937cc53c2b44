// Network ports: names, the telnet decoder, and the device against a scripted port server.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "serial/device_names.h"
#include "serial/network_serial_device.h"
#include "support/scripted_telnet_peer.h"

namespace vellor::testing {
namespace {

using Bytes = std::vector<uint8_t>;
const int kWaitMs = int(std::chrono::milliseconds(kPatience).count());  // what must end, ends

std::span<const uint8_t> AsBytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string Numbers(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes)
        out += " " + std::to_string(b);
    return out;
}

TEST(NetworkPortName, ParsesBothSchemesAndRefusesTheRest) {
    EXPECT_EQ(ParseNetworkPortName("Tcp://[fe80::1%eth0]:065535"),
              (NetworkEndpoint{NetworkProtocol::RawTcp, "fe80::1%eth0", true, 65535}));
    EXPECT_EQ(ParseNetworkPortName("RFC2217://lab-rack.example.org:1"),
              (NetworkEndpoint{NetworkProtocol::Rfc2217, "lab-rack.example.org", false, 1}));
    for (const char* bad :
         {"tcp://host", "tcp://host:", "tcp://host:0", "tcp://host:65536", "tcp://host:+80",
          "tcp://host:80/", "tcp://host:80:81", "tcp://:80", "tcp://::1:80", "tcp://[::1]80",
          "tcp://[::1:80", "tcp://[]:80", "tcp://[10.0.0.1]:80", "tcp://ho st:80", "tcp:/h:80",
          "telnet://host:23"})
        EXPECT_FALSE(ParseNetworkPortName(bad)) << bad;
}

// Data bytes as numbers, other events named: any cut of the input must give the same log.
struct RecordingSink final : TelnetSink {
    void Data(std::span<const uint8_t> bytes) override { log += Numbers(bytes); }
    void Negotiation(uint8_t verb, uint8_t option) override {
        log += " neg" + std::to_string(verb) + "," + std::to_string(option);
    }
    void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) override {
        log += " sb" + std::to_string(option) + "[" + Numbers(payload) + " ]";
    }
    void Command(uint8_t command) override { log += " cmd" + std::to_string(command); }
    std::string log;
};

TEST(TelnetDecoder, GivesTheSameEventsForEveryCutOfTheInput) {
    const std::pair<Bytes, std::string> cases[] = {
        {{65, 255, 255, 66, 240, 255, 255, 255, 255}, " 65 255 66 240 255 255"},
        {{65, 255, 251, 3, 255, 254, 44, 66}, " 65 neg251,3 neg254,44 66"},
        {{255, 250, 44, 107, 255, 255, 255, 240}, " sb44[ 107 255 ]"},
        {{255, 250, 44, 101, 0, 240, 225, 255, 240, 255, 250, 44, 255, 240, 65},
         " sb44[ 101 0 240 225 ] sb44[ ] 65"},
        {{255, 241, 65, 255, 243, 255, 240, 66}, " cmd241 65 cmd243 66"},
        // Cut short by a command: the subnegotiation is dropped, the stream stays in step.
        {{255, 250, 44, 7, 255, 251, 3, 65}, " neg251,3 65"},
    };
    for (const auto& [input, expected] : cases) {
        for (std::size_t cut = 0; cut <= input.size(); ++cut) {  // then the rest byte by byte
            TelnetDecoder decoder;
            RecordingSink sink;
            decoder.Feed(std::span(input).first(cut), sink);
            for (std::size_t at = cut; at < input.size(); ++at)
                decoder.Feed(std::span(input).subspan(at, 1), sink);
            EXPECT_EQ(sink.log, expected) << Numbers(input) << " cut at " << cut;
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

// Not waiting for the option: the test answers for the server.
auto OpenOn(const ScriptedTelnetPeer& peer, const char* scheme = "rfc2217") {
    int error = 0;
    auto device = NetworkSerialDevice::Open(peer.Name(scheme), error, {5000, 0, 200});
    if (!device) throw std::runtime_error("not opened: error " + std::to_string(error));
    return device;
}

std::string Receive(SerialDevice& device, std::size_t count) {
    std::string got;
    WaitUntil([&] {
        uint8_t buffer[1000];
        const ReadResult r = device.Read(buffer);
        got.append(reinterpret_cast<char*>(buffer), r.status == ReadStatus::Data ? r.count : 0);
        return got.size() >= count;
    });
    return got;
}

std::string Frame(const Bytes& payload) {  // a serial-port message, as the server sends it
    Bytes out;
    AppendSubnegotiation(kComPortOption, payload, out);
    return {out.begin(), out.end()};
}

// What a client says on connecting: WILL binary, suppress-go-ahead, the option; DO the first two.
const std::string kOffers("\xff\xfb\x00\xff\xfb\x03\xff\xfb\x2c\xff\xfd\x00\xff\xfd\x03", 15);
const std::string kWillEcho = "\xff\xfb\x01", kDoComPort = "\xff\xfd\x2c";

// Options asked for once, the echo refused, no answer answered, modem notices asked for (0xFF
// escaped); a notice wakes a waiting reader; one-byte segments decode whole; DTR and RTS go.
TEST(NetworkDevice, NegotiatesOnceAndFollowsTheModemLines) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer);
    ASSERT_TRUE(peer.Send(kWillEcho + kDoComPort));
    EXPECT_EQ(peer.Next(kOffers.size() + 11),
              kOffers + "\xff\xfe\x01\xff\xfa\x2c\x0b\xff\xff\xff\xf0");
    std::thread notify([&] { peer.Send(Frame({107, 0xFF}), true); });
    EXPECT_TRUE(FinishesWithin(
        kPatience, [&] { device->Wait(kWaitMs); }, [&] { device->Interrupt(); }))
        << "a notice did not wake the reader";
    notify.join();
    EXPECT_EQ(device->ModemStatus(), kMsRlsdOn | kMsRingOn | kMsDsrOn | kMsCtsOn);
    ASSERT_TRUE(peer.Send("a\xff\xff\xff\xf1z", true));
    EXPECT_EQ(Receive(*device, 3), "a\xffz");
    for (bool raised : {true, false})
        device->SetDtr(raised), device->SetRts(!raised);
    EXPECT_EQ(peer.Next(28), Frame({5, 8}) + Frame({5, 12}) + Frame({5, 9}) + Frame({5, 11}));
}

// Without the option data flows, the note says so, a break goes as telnet's own, nothing else.
TEST(NetworkDevice, UnansweredOptionStillCarriesData) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer);
    EXPECT_NE(device->LineSettingsNote(), "");
    device->SetDtr(false);
    device->SendBreak(1);
    ASSERT_EQ(device->Write(AsBytes("\xff|data"), 1000).written, 6u);
    EXPECT_EQ(peer.Next(kOffers.size() + 9), kOffers + "\xff\xf3\xff\xff|data");
}

// Suspended, data waits but control messages go, until resume; two closers end reader and writer.
TEST(NetworkDevice, SuspendHoldsDataUntilResumeOrClose) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer);
    ASSERT_TRUE(peer.Send(kDoComPort + Frame({108}) + Frame({107, 0x20})));
    ASSERT_TRUE(WaitUntil([&] { return device->ModemStatus() == kMsDsrOn; }));
    EXPECT_EQ(device->Write(AsBytes("early"), 50).written, 0u);
    device->SetRts(false);
    EXPECT_EQ(peer.Next(kOffers.size() + 15), kOffers + Frame({11, 0xFF}) + Frame({5, 12}));
    std::thread resume([&] { peer.Send(Frame({109})); });
    EXPECT_EQ(device->Write(AsBytes("late"), kWaitMs).written, 4u);
    resume.join();
    EXPECT_EQ(peer.Next(4), "late");

    ASSERT_TRUE(peer.Send(Frame({108}) + Frame({107, 0x10})));
    ASSERT_TRUE(WaitUntil([&] { return device->ModemStatus() == kMsCtsOn; }));
    device->Wait(0);  // takes the change the notice made
    std::thread reader([&] { EXPECT_EQ(device->Wait(kWaitMs), WaitResult::Interrupted); });
    std::thread writer([&] { EXPECT_EQ(device->Write(AsBytes("held"), kWaitMs).written, 0u); });
    EXPECT_TRUE(FinishesWithin(kPatience, [&] {
        std::thread other([&] { device->Close(); });
        device->Close();
        for (auto* t : {&other, &reader, &writer})
            t->join();
    }));
    EXPECT_EQ(device->Read({}).error, EBADF);
    EXPECT_EQ(peer.Next(1), "");  // the end, and nothing held went out
}

// Raw TCP takes bytes as they are; what came before the server went away is read first.
TEST(NetworkDevice, ADroppedConnectionIsLostAfterItsData) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer, "tcp");
    ASSERT_TRUE(peer.Send(kWillEcho + "last words"));
    peer.Hangup();
    EXPECT_EQ(Receive(*device, 13), kWillEcho + "last words");
    EXPECT_TRUE(WaitUntil([&] { return device->Read({}).error == ECONNRESET; }));
    EXPECT_EQ(device->Wait(kWaitMs), WaitResult::Ready);
}

// A failure to open says why without hanging, for IPv6 and host names too; closing leaves nothing.
TEST(NetworkDevice, OpeningSaysWhyItFailedAndClosingLeavesNothing) {
    auto count = [](const char* dir) {
        return std::distance(std::filesystem::directory_iterator(dir), {});
    };
    OpenOn(ScriptedTelnetPeer(), "tcp")->Close();  // the first thread may bring a runtime's own
    const auto fds = count("/proc/self/fd"), threads = count("/proc/self/task");
    for (int i = 0; i < 10; ++i)
        OpenOn(ScriptedTelnetPeer(), i % 2 ? "tcp" : "rfc2217")->Close();
    EXPECT_EQ(count("/proc/self/fd"), fds);
    EXPECT_TRUE(WaitUntil([&] { return count("/proc/self/task") == threads; }));
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
}

}  // namespace
}  // namespace vellor::testing
