// Network ports: their names, the telnet decoder at every cut, the serial-port option's notices,
// and the device against a scripted port server on loopback, for what a pseudo-terminal behind
// ser2net cannot show: modem-state notices, refusal, suspend and resume, loss and close.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <filesystem>

#include "serial/device_names.h"
#include "serial/line_defaults.h"
#include "serial/network_serial_device.h"
#include "serial/port_connection.h"
#include "support/screen_fixture.h"
#include "support/scripted_telnet_peer.h"

namespace vellor::testing {
namespace {

using namespace telnet;
using Bytes = std::vector<uint8_t>;

std::string Hex(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes)
        out += (out.empty() ? "" : " ") + std::string{"0123456789abcdef"[b >> 4]} +
               "0123456789abcdef"[b & 15];
    return out;
}

// Every byte value, then a run of 0xFF.
std::string AllBytes() {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    return all + std::string(9, '\xff') + "end";
}

// Every 0xFF doubled, written out plainly: the oracle for what goes on the wire.
std::string EscapedByHand(const std::string& bytes) {
    std::string out;
    for (char c : bytes)
        out += c == '\xff' ? "\xff\xff" : std::string(1, c);
    return out;
}

std::span<const uint8_t> AsBytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(NetworkPortName, ParsesBothSchemesAndRefusesTheRest) {
    using P = NetworkProtocol;
    const std::pair<const char*, NetworkEndpoint> good[] = {
        {"rfc2217://127.0.0.1:2000", {P::Rfc2217, "127.0.0.1", false, 2000}},
        {"RFC2217://lab-rack.example.org:7001", {P::Rfc2217, "lab-rack.example.org", false, 7001}},
        {"Tcp://[::1]:65535", {P::RawTcp, "::1", true, 65535}},
        {"tcp://[fe80::1%eth0]:0023", {P::RawTcp, "fe80::1%eth0", true, 23}},
    };
    for (const auto& [name, endpoint] : good) {
        EXPECT_EQ(ParseNetworkPortName(name), endpoint) << name;
        EXPECT_TRUE(IsNetworkPortName(name)) << name;
    }
    for (const char* bad :
         {"tcp://host", "tcp://host:", "tcp://host:0", "tcp://host:65536", "tcp://host:+80",
          "tcp://host:80/", "tcp://host:80:81", "tcp://:80", "tcp://::1:80", "tcp://[::1]80",
          "tcp://[::1:80", "tcp://[]:80", "tcp://[10.0.0.1]:80", "tcp://ho st:80", "tcp:/h:80",
          "telnet://host:23"}) {
        EXPECT_FALSE(ParseNetworkPortName(bad)) << bad;
    }
}

// Writes what the decoder hands on, one line per event, adjacent data merged: any cut of the
// input must give the same log.
struct RecordingSink final : TelnetSink {
    void Data(std::span<const uint8_t> bytes) override {
        if (log.empty() || log.back().rfind("data", 0) != 0) log.emplace_back("data");
        log.back() += " " + Hex(bytes);
    }
    void Negotiation(uint8_t verb, uint8_t option) override {
        log.push_back(std::to_string(verb) + " " + std::to_string(option));
    }
    void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) override {
        log.push_back("sb " + std::to_string(option) + ": " + Hex(payload));
    }
    void Command(uint8_t command) override { log.push_back("cmd " + std::to_string(command)); }
    std::vector<std::string> log;
};

TEST(TelnetDecoder, GivesTheSameEventsForEveryCutOfTheInput) {
    const std::pair<Bytes, std::vector<std::string>> cases[] = {
        {{0x41, 0xFF, 0xFF, 0x42, 0xF0}, {"data 41 ff 42 f0"}},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {"data ff ff ff"}},
        {{0x41, 0xFF, 0xFB, 0x03, 0xFF, 0xFE, 0x2C, 0x42},
         {"data 41", "251 3", "254 44", "data 42"}},
        {{0xFF, 0xFA, 0x2C, 0x6B, 0xFF, 0xFF, 0xFF, 0xF0}, {"sb 44: 6b ff"}},
        {{0xFF, 0xFA, 0x2C, 0x65, 0, 0, 0xE1, 0, 0xFF, 0xF0, 0x41},
         {"sb 44: 65 00 00 e1 00", "data 41"}},
        {{0xFF, 0xFA, 0x2C, 0x01, 0xF0, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0xFF, 0xF0},
         {"sb 44: 01 f0", "sb 44: "}},
        {{0xFF, 0xF1, 0x41, 0xFF, 0xF3, 0xFF, 0xF0, 0x42},
         {"cmd 241", "data 41", "cmd 243", "data 42"}},
        // Cut short by a command: the subnegotiation is dropped, the stream stays in step.
        {{0xFF, 0xFA, 0x2C, 0x07, 0xFF, 0xFB, 0x03, 0x41}, {"251 3", "data 41"}},
    };
    for (const auto& [input, expected] : cases) {
        for (std::size_t cut = 0; cut <= input.size(); ++cut) {
            for (bool byteByByte : {false, true}) {
                TelnetDecoder decoder;
                RecordingSink sink;
                const std::size_t step = byteByByte ? 1 : input.size();
                decoder.Feed(std::span(input).first(cut), sink);
                for (std::size_t at = cut; at < input.size(); at += step)
                    decoder.Feed(std::span(input).subspan(at, std::min(step, input.size() - at)),
                                 sink);
                EXPECT_EQ(sink.log, expected) << Hex(input) << " cut at " << cut;
            }
        }
    }
}

// What the device tests and ser2net do not show: one and a half stop bits, and malformed or
// foreign notices, which confirm nothing.
TEST(ComPortOption, ServerNoticesDecode) {
    using K = ComPortNotice::Kind;
    const std::pair<Bytes, ComPortNotice> cases[] = {
        {{104, 3}, {K::StopSize, 1}},
        {{101, 0xE1, 0}, {}},
        {{102, 9}, {}},
        {{103, 6}, {}},
        {{106, 0x60}, {}},
        {{1, 0, 0, 0x25, 0x80}, {}},
    };
    for (const auto& [payload, expected] : cases)
        EXPECT_EQ(ParseServerMessage(payload), expected) << Hex(payload);
}

PortConfig Config(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits,
                  FlowControl flow) {
    AppState state;
    DefaultPortSettings(state);
    PortConfig config = state.portConfig;
    config.SetBaudRate(baud);
    config.SetByteSize(dataBits);
    config.SetParity(parity);
    config.SetStopBits(stopBits);
    config.SetFlags(ApplyFlowControl(config.Flags(), flow));
    return config;
}

std::shared_ptr<NetworkSerialDevice> OpenOn(ScriptedTelnetPeer& peer, const std::string& scheme,
                                            NetworkSerialDevice::Timeouts timeouts = {}) {
    int error = -1;
    auto device = NetworkSerialDevice::Open(peer.Name(scheme), error, timeouts);
    EXPECT_EQ(error, 0);
    return device;
}

// Reads until `count` data bytes came (or kPatience passed).
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

bool Heard(ScriptedTelnetPeer& peer, const std::string& data) {
    return peer.WaitHeard([&](const auto& h) { return h.data.size() >= data.size(); }) &&
           peer.heard().data == data;
}

bool HeardLast(ScriptedTelnetPeer& peer, const Bytes& request) {
    return peer.WaitHeard([&](const auto& h) { return h.comPort.back() == request; });
}

// Binary, suppress-go-ahead and the option are asked for once each and the server's echo refused,
// with no answer answered; modem notices are asked for (the 0xFF mask escaped); every byte value
// passes both ways, doubled on the wire and single in the data, even split into one-byte segments.
TEST(NetworkDevice, NegotiatesOnceAndCarriesEveryByte) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer, "rfc2217");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->LineSettingsNote(), "");
    const std::string all = AllBytes();
    ASSERT_EQ(device->Write(AsBytes(all), 10000).written, all.size());
    ASSERT_TRUE(Heard(peer, all));
    const auto heard = peer.heard();
    EXPECT_EQ(heard.negotiations,
              (std::vector<std::pair<uint8_t, uint8_t>>{
                  {kWill, 0}, {kWill, 3}, {kWill, 44}, {kDo, 0}, {kDo, 3}, {kDont, kEcho}}));
    EXPECT_EQ(heard.raw.substr(heard.raw.size() - EscapedByHand(all).size()), EscapedByHand(all));
    EXPECT_NE(heard.raw.find("\xff\xfa\x2c\x0b\xff\xff\xff\xf0"), std::string::npos);
    ASSERT_TRUE(peer.Send(EscapedByHand(all), true));
    EXPECT_EQ(Receive(*device, all.size()), all);
}

// Configure fails unless the server confirms what was asked, and reading back gives what it
// confirmed: here its own rate, and the record's stop bits where it said nothing.
TEST(NetworkDevice, ReadBackIsWhatTheServerConfirmed) {
    ScriptedTelnetPeer peer(PeerGreeting::TakesOption, [](Bytes request) -> std::optional<Bytes> {
        if (request[0] == uint8_t(ComPortCommand::SetStopSize)) return std::nullopt;
        if (request[0] == uint8_t(ComPortCommand::SetBaudRate)) request = {1, 0, 0, 0x25, 0x80};
        return ConfirmAsAsked(request);
    });
    auto device = OpenOn(peer, "rfc2217", {5000, 5000, 200});
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Configure(Config(57600, 7, 2, 1, FlowControl::XonXoff)), EINVAL);
    PortConfig back = Config(115200, 8, 0, 2, FlowControl::RtsCts);
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(back.BaudRate(), 9600u);
    EXPECT_EQ(back.ByteSize(), 7);
    EXPECT_EQ(back.Parity(), 2);
    EXPECT_EQ(back.StopBits(), 2);
    EXPECT_EQ(FlowControlOf(back.Flags()), FlowControl::XonXoff);
    EXPECT_EQ(device->Configure(Config(9600, 4, 0, 0, FlowControl::None)), EINVAL);
    EXPECT_EQ(peer.heard().comPort.size(),
              6u);  // the mask and one set of five: no line takes 4 bits
}

// A modem-state notice wakes a waiting reader at once and sets the lines (change bits are none).
TEST(NetworkDevice, ModemNoticesWakeTheReader) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer, "rfc2217");
    ASSERT_NE(device, nullptr);
    for (const auto& [wire, status] :
         {std::pair<uint8_t, uint32_t>{0xB0, kMsRlsdOn | kMsDsrOn | kMsCtsOn},
          {0x4F, kMsRingOn},
          {0x00, 0}}) {
        std::thread notify([&, wire = wire] { peer.SendComPort({107, wire}); });
        EXPECT_TRUE(FinishesWithin(
            kPatience, [&] { device->Wait(600000); }, [&] { device->Interrupt(); }))
            << "a notice did not wake the reader";
        notify.join();
        EXPECT_EQ(device->ModemStatus(), status);
    }
}

// A server that refuses the option, or never answers, still carries data: the note says the
// settings do not apply, nothing of the option is sent, and a break goes as telnet's own.
TEST(NetworkDevice, RefusedOptionStillCarriesData) {
    for (auto greeting : {PeerGreeting::RefusesOption, PeerGreeting::Silent}) {
        ScriptedTelnetPeer peer(greeting);
        auto device = OpenOn(peer, "rfc2217", {5000, 200, 200});
        ASSERT_NE(device, nullptr);
        EXPECT_NE(device->LineSettingsNote(), "");
        EXPECT_EQ(device->Configure(Config(57600, 8, 0, 0, FlowControl::None)), 0);
        device->SetDtr(false);
        device->SendBreak(1);
        ASSERT_EQ(device
                      ->Write(AsBytes("\xff"
                                      "data"),
                              1000)
                      .written,
                  5u);
        ASSERT_TRUE(Heard(peer,
                          "\xff"
                          "data"));
        EXPECT_TRUE(peer.heard().comPort.empty());
        EXPECT_EQ(peer.heard().commands, std::string(1, char(kBrk)));
        ASSERT_TRUE(
            peer.Send("\xff\xff"
                      "back"));
        EXPECT_EQ(Receive(*device, 5),
                  "\xff"
                  "back");
    }
}

// While suspended, data waits (a short write gives up having sent nothing) but control messages
// go; resume lets a waiting write through.
TEST(NetworkDevice, SuspendHoldsDataUntilResume) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer, "rfc2217");
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(peer.Send(SubnegotiationFrame(kComPortOption, {108}) +
                          SubnegotiationFrame(kComPortOption, {107, 0x20})));
    ASSERT_TRUE(WaitUntil([&] { return device->ModemStatus() == kMsDsrOn; }));
    EXPECT_EQ(device->Write(AsBytes("early"), 50).written, 0u);
    device->SetRts(false);
    ASSERT_TRUE(HeardLast(peer, ControlRequest(ComPortControl::RtsOff)));
    std::thread resume([&] { peer.SendComPort({109}); });
    EXPECT_EQ(device->Write(AsBytes("late"), 600000).written, 4u);
    resume.join();
    EXPECT_TRUE(Heard(peer, "late"));
}

// What the server sent before it went away is read first; then the device is lost.
TEST(NetworkDevice, ADroppedConnectionIsLostAfterItsData) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer, "tcp");
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(peer.Send("last words"));
    peer.Hangup();
    EXPECT_EQ(Receive(*device, 13),
              "\xff\xfb\x01"
              "last words");  // raw: the echo offer is data
    std::array<uint8_t, 64> buffer;
    EXPECT_TRUE(WaitUntil([&] { return device->Read(buffer).error == ECONNRESET; }));
    EXPECT_EQ(device->Wait(600000), WaitResult::Ready);
}

// Close wakes a waiting reader and a held-off writer for good, from two closers at once; then
// everything is a no-op and the server sees the end. Opening and closing leaves nothing behind.
TEST(NetworkDevice, CloseEndsEverythingAndLeavesNothingBehind) {
    ScriptedTelnetPeer peer;
    auto device = OpenOn(peer, "rfc2217");
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(peer.Send(SubnegotiationFrame(kComPortOption, {108}) +
                          SubnegotiationFrame(kComPortOption, {107, 0x10})));
    ASSERT_TRUE(WaitUntil([&] { return device->ModemStatus() == kMsCtsOn; }));  // suspended too
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
    EXPECT_EQ(device->Configure(Config(9600, 8, 0, 0, FlowControl::None)), EBADF);
    EXPECT_TRUE(peer.WaitHeard([](const auto& h) { return h.ended; }));
    EXPECT_EQ(peer.heard().data, "");

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

// A failure to open says why; IPv6 and host names connect, whatever the case of the scheme.
TEST(NetworkDevice, OpeningSaysWhyItFailed) {
    int error = 0;
    EXPECT_EQ(OpenSerialDevice("tcp://[::1]80", error), nullptr);
    EXPECT_EQ(error, EINVAL);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string name = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    EXPECT_EQ(OpenSerialDevice(name, error), nullptr);
    EXPECT_EQ(error, ECONNREFUSED);
    // A server whose queue of connections is full never answers: the connect times out.
    ASSERT_EQ(listen(fd, 0), 0);
    std::vector<std::shared_ptr<NetworkSerialDevice>> queued;  // kept open to keep it full
    for (int i = 0; i < 8 && error != ETIMEDOUT; ++i)
        queued.push_back(NetworkSerialDevice::Open(name, error, {200, 200, 200}));
    EXPECT_EQ(error, ETIMEDOUT);
    close(fd);

    ScriptedTelnetPeer v6(PeerGreeting::TakesOption, ConfirmAsAsked, "::1");
    ScriptedTelnetPeer v4;
    for (const std::string& url : {"RFC2217://[::1]:" + std::to_string(v6.port()),
                                   "Tcp://localhost:" + std::to_string(v4.port())}) {
        EXPECT_NE(OpenSerialDevice(url, error), nullptr) << url << ": " << error;
    }
}

// Open Port over the network: the title, DTR and RTS raised at the server, notices driving the
// boxes, the boxes driving DTR and RTS, and the server going away closing the port once.
TEST(NetworkDevice, OpenPortDrivesTheServerAndTheBoxes) {
    ScriptedTelnetPeer peer;
    FakeHost host;
    auto state = MakeScreen(25, 80);
    DefaultPortSettings(*state);
    state->portName = peer.Name();
    state->preferences.reconnect = false;
    const bool opened = OpenPort(*state, host);
    const auto closeAtEnd = std::shared_ptr<void>(nullptr, [&](void*) { ClosePort(*state, host); });
    ASSERT_TRUE(opened);
    EXPECT_EQ(host.title, "VL: " + peer.Name());
    ASSERT_TRUE(HeardLast(peer, ControlRequest(ComPortControl::RtsOn)));
    EXPECT_EQ(peer.heard().comPort.end()[-2], ControlRequest(ComPortControl::DtrOn));
    ASSERT_TRUE(peer.SendComPort({107, 0xA0}));
    EXPECT_TRUE(host.RunUntil([&] {
        return host.BoxChecked(ModemBox::Cd) && host.BoxChecked(ModemBox::Dsr) &&
               !host.BoxChecked(ModemBox::Cts) && !host.BoxChecked(ModemBox::Ri);
    }));
    host.SetBoxCheck(ModemBox::Dtr, false);
    ToggleDtr(*state, host);
    ASSERT_TRUE(HeardLast(peer, ControlRequest(ComPortControl::DtrOff)));
    peer.Hangup();
    ASSERT_TRUE(host.RunUntil([&] { return !PortIsOpen(*state); }));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "ReadPort Failed");
}

}  // namespace
}  // namespace vellor::testing
