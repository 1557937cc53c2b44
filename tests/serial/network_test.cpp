// Network ports: their names, the telnet codec, the serial-port option's messages, and the device
// against a scripted port server on loopback (what a pseudo-terminal behind ser2net cannot show:
// modem-state notices, commands cut at every byte, refusal, suspend and resume).
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <random>
#include <thread>

#include "app/command_ids.h"
#include "serial/com_port_option.h"
#include "serial/device_names.h"
#include "serial/line_defaults.h"
#include "serial/network_endpoint.h"
#include "serial/network_serial_device.h"
#include "serial/port_connection.h"
#include "serial/telnet_stream.h"
#include "support/deadline.h"
#include "support/fake_host.h"
#include "support/screen_fixture.h"
#include "support/scripted_telnet_peer.h"

namespace vellor::testing {
namespace {

using namespace telnet;
using Kind = ComPortNotice::Kind;
using Bytes = std::vector<uint8_t>;

std::string Hex(std::span<const uint8_t> bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        if (!out.empty()) out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string AllByteValues() {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    return all + std::string(7, '\xff') + "end";
}

// Every 0xFF doubled, written out plainly as the oracle for the encoder.
std::string EscapedByHand(const std::string& bytes) {
    std::string out;
    for (char c : bytes)
        out += c == '\xff' ? std::string("\xff\xff") : std::string(1, c);
    return out;
}

std::span<const uint8_t> AsBytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// ---------------------------------------------------------------------------------------------
// Names

struct NameCase {
    const char* name;
    std::optional<NetworkEndpoint> expected;
};

TEST(NetworkPortName, ParsesHostAndPortOfBothSchemes) {
    using P = NetworkProtocol;
    const NameCase cases[] = {
        {"rfc2217://127.0.0.1:2000", NetworkEndpoint{P::Rfc2217, "127.0.0.1", false, 2000}},
        {"RFC2217://lab-rack.example.org:7001",
         NetworkEndpoint{P::Rfc2217, "lab-rack.example.org", false, 7001}},
        {"tcp://console_3.:1", NetworkEndpoint{P::RawTcp, "console_3.", false, 1}},
        {"Tcp://[::1]:65535", NetworkEndpoint{P::RawTcp, "::1", true, 65535}},
        {"rfc2217://[fe80::1%eth0]:23", NetworkEndpoint{P::Rfc2217, "fe80::1%eth0", true, 23}},
        {"tcp://[::ffff:10.0.0.1]:0080", NetworkEndpoint{P::RawTcp, "::ffff:10.0.0.1", true, 80}},
        {"tcp://host", std::nullopt},        // no port
        {"tcp://host:", std::nullopt},       // empty port
        {"tcp://host:0", std::nullopt},      // port out of range
        {"tcp://host:65536", std::nullopt},  //
        {"tcp://host:99999999999", std::nullopt},
        {"tcp://host:+80", std::nullopt},       // signs are no digits
        {"tcp://host:80/", std::nullopt},       // nothing after the port
        {"tcp://host:80:81", std::nullopt},     //
        {"tcp://:80", std::nullopt},            // no host
        {"tcp://::1:80", std::nullopt},         // IPv6 needs its brackets
        {"tcp://[::1]80", std::nullopt},        //
        {"tcp://[::1:80", std::nullopt},        //
        {"tcp://[]:80", std::nullopt},          //
        {"tcp://[10.0.0.1]:80", std::nullopt},  // brackets hold IPv6 only
        {"tcp://[::1%]:80", std::nullopt},      // empty zone
        {"tcp://ho st:80", std::nullopt},       //
        {"tcp://host/x:80", std::nullopt},      //
        {"telnet://host:23", std::nullopt},     // not a network port name at all
        {"tcp:/host:80", std::nullopt},         //
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseNetworkPortName(c.name), c.expected) << c.name;
        if (c.expected) {
            EXPECT_TRUE(IsNetworkPortName(c.name)) << c.name;
        }
    }
    EXPECT_FALSE(ParseNetworkPortName("tcp://" + std::string(254, 'a') + ":80"));
}

TEST(NetworkPortName, ResolverFailuresReadAsErrnoValues) {
    const std::pair<int, int> cases[] = {
        {EAI_NONAME, ENXIO},   {EAI_FAIL, ENXIO},    {EAI_AGAIN, EAGAIN},    {EAI_MEMORY, ENOMEM},
        {EAI_SERVICE, EINVAL}, {EAI_FAMILY, EINVAL}, {EAI_BADFLAGS, EINVAL}, {0, 0},
    };
    for (const auto& [resolver, expected] : cases)
        EXPECT_EQ(ResolverErrno(resolver, 0), expected) << resolver;
    EXPECT_EQ(ResolverErrno(EAI_SYSTEM, EMFILE), EMFILE);
    EXPECT_EQ(ResolverErrno(EAI_SYSTEM, 0), EIO);
}

// ---------------------------------------------------------------------------------------------
// The telnet codec

// Writes what the decoder hands on as one line per event; data runs that follow each other are
// merged, so any cut of the input must give the same log.
class RecordingSink final : public TelnetSink {
  public:
    void Data(std::span<const uint8_t> bytes) override {
        if (log.empty() || log.back().rfind("data:", 0) != 0) log.push_back("data:");
        for (uint8_t b : bytes)
            log.back() += (log.back().size() > 5 ? " " : "") + Hex(std::span(&b, 1));
    }
    void Negotiation(uint8_t verb, uint8_t option) override {
        static const char* kVerbs[] = {"will", "wont", "do", "dont"};
        log.push_back(std::string(kVerbs[verb - kWill]) + " " + std::to_string(option));
    }
    void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) override {
        log.push_back("sb " + std::to_string(option) + ":" + Hex(payload));
    }
    void Command(uint8_t command) override { log.push_back("cmd " + std::to_string(command)); }
    std::vector<std::string> log;
};

struct DecodeCase {
    const char* name;
    Bytes input;
    std::vector<std::string> expected;
};

std::vector<std::string> Decode(const Bytes& input, const std::vector<std::size_t>& cuts) {
    TelnetDecoder decoder;
    RecordingSink sink;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        decoder.Feed(std::span(input).subspan(from, cut - from), sink);
        from = cut;
    }
    decoder.Feed(std::span(input).subspan(from), sink);
    return sink.log;
}

// The same events, whatever the cuts: whole, at every single boundary, and byte by byte.
TEST(TelnetDecoder, GivesTheSameEventsForEveryCutOfTheInput) {
    const DecodeCase cases[] = {
        {"plain data", {0x41, 0x42}, {"data:41 42"}},
        {"escaped 0xFF", {0x41, 0xFF, 0xFF, 0x42}, {"data:41 ff 42"}},
        {"a run of 0xFF", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {"data:ff ff ff"}},
        {"SE and SB values as data", {0xF0, 0xFA, 0xFB}, {"data:f0 fa fb"}},
        {"negotiation within data",
         {0x41, 0xFF, 0xFB, 0x03, 0x42},
         {"data:41", "will 3", "data:42"}},
        {"the four verbs",
         {0xFF, 0xFB, 0x00, 0xFF, 0xFC, 0x01, 0xFF, 0xFD, 0x2C, 0xFF, 0xFE, 0x03},
         {"will 0", "wont 1", "do 44", "dont 3"}},
        {"modem state 0xFF escaped in the payload",
         {0xFF, 0xFA, 0x2C, 0x6B, 0xFF, 0xFF, 0xFF, 0xF0},
         {"sb 44:6b ff"}},
        {"a rate, then data",
         {0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0xE1, 0x00, 0xFF, 0xF0, 0x41},
         {"sb 44:65 00 00 e1 00", "data:41"}},
        {"SE unescaped inside a payload is payload",
         {0xFF, 0xFA, 0x2C, 0x01, 0xF0, 0xFF, 0xF0},
         {"sb 44:01 f0"}},
        {"an empty subnegotiation", {0xFF, 0xFA, 0x2C, 0xFF, 0xF0}, {"sb 44:"}},
        {"two-byte commands", {0xFF, 0xF1, 0x41, 0xFF, 0xF3}, {"cmd 241", "data:41", "cmd 243"}},
        {"a stray SE ends nothing", {0x41, 0xFF, 0xF0, 0x42}, {"data:41 42"}},
        {"a subnegotiation cut short by a command",
         {0xFF, 0xFA, 0x2C, 0x07, 0xFF, 0xFB, 0x03, 0x41},
         {"will 3", "data:41"}},
        {"notices back to back",
         {0xFF, 0xFA, 0x2C, 0x6C, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x6D, 0xFF, 0xF0},
         {"sb 44:6c", "sb 44:6d"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(c.input, {}), c.expected);
        for (std::size_t cut = 1; cut < c.input.size(); ++cut)
            EXPECT_EQ(Decode(c.input, {cut}), c.expected) << "cut at " << cut;
        std::vector<std::size_t> everyByte;
        for (std::size_t cut = 1; cut < c.input.size(); ++cut)
            everyByte.push_back(cut);
        EXPECT_EQ(Decode(c.input, everyByte), c.expected) << "byte by byte";
    }
}

// An oversized subnegotiation keeps its first bytes and leaves the stream in step.
TEST(TelnetDecoder, AnOversizedSubnegotiationKeepsTheStreamInStep) {
    Bytes input = {0xFF, 0xFA, 0x2C};
    input.insert(input.end(), 3000, 0x41);
    input.insert(input.end(), {0xFF, 0xF0, 0x42});
    const auto log = Decode(input, {100, 2000});
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "sb 44:" + Hex(Bytes(TelnetDecoder::kMaxPayload, 0x41)));
    EXPECT_EQ(log[1], "data:42");
}

TEST(TelnetEncoder, DoublesEvery0xFF) {
    const std::pair<Bytes, Bytes> cases[] = {
        {{}, {}},
        {{0x41}, {0x41}},
        {{0xFF}, {0xFF, 0xFF}},
        {{0xFF, 0xFF, 0x00, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF}},
        {{0xFE, 0xF0, 0xFA}, {0xFE, 0xF0, 0xFA}},
    };
    for (const auto& [in, expected] : cases) {
        Bytes out = {0x7E};  // appends, never replaces
        AppendEscaped(in, out);
        Bytes withPrefix = {0x7E};
        withPrefix.insert(withPrefix.end(), expected.begin(), expected.end());
        EXPECT_EQ(out, withPrefix) << Hex(in);
    }
    Bytes frame;
    AppendSubnegotiation(kComPortOption, Bytes{0x0B, 0xFF}, frame);
    EXPECT_EQ(frame, (Bytes{0xFF, 0xFA, 0x2C, 0x0B, 0xFF, 0xFF, 0xFF, 0xF0}));
}

// Whatever goes through the encoder comes out of the decoder the same, cut anywhere.
TEST(TelnetEncoder, RoundTripsRandomBytesCutAnywhere) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        Bytes data(random() % 300);
        for (auto& b : data)
            b = random() % 4 == 0 ? 0xFF : uint8_t(random());
        Bytes wire;
        AppendEscaped(data, wire);
        std::vector<std::size_t> cuts;
        for (std::size_t at = 0; at < wire.size(); at += 1 + random() % 7)
            if (at > 0) cuts.push_back(at);
        const auto log = Decode(wire, cuts);
        EXPECT_EQ(log, data.empty() ? std::vector<std::string>{}
                                    : std::vector<std::string>{"data:" + Hex(data)});
    }
}

struct OptionStep {
    enum class Act : uint8_t { AskOurs, AskTheirs, Receive } act;
    uint8_t verb;  // for Receive
    uint8_t option;
    Bytes answer;  // what this step must send
};

struct OptionCase {
    const char* name;
    std::vector<OptionStep> steps;
    OptionState ours;  // of option 44 or the case's option, after the steps
    OptionState theirs;
};

TEST(TelnetOptions, AnswersEachRequestOnceAndNeverAnAnswer) {
    using A = OptionStep::Act;
    constexpr uint8_t kX = kComPortOption;
    const OptionCase cases[] = {
        {"asked and agreed",
         {{A::AskOurs, 0, kX, {kIac, kWill, kX}},
          {A::Receive, kDo, kX, {}},
          {A::Receive, kDo, kX, {}}},
         OptionState::On,
         OptionState::Off},
        {"asked and refused",
         {{A::AskOurs, 0, kX, {kIac, kWill, kX}}, {A::Receive, kDont, kX, {}}},
         OptionState::Off,
         OptionState::Off},
        {"asked twice is asked once",
         {{A::AskOurs, 0, kX, {kIac, kWill, kX}}, {A::AskOurs, 0, kX, {}}},
         OptionState::Asked,
         OptionState::Off},
        {"offered before asked",
         {{A::Receive, kDo, kX, {kIac, kWill, kX}}, {A::AskOurs, 0, kX, {}}},
         OptionState::On,
         OptionState::Off},
        {"switched off by the far end",
         {{A::Receive, kDo, kX, {kIac, kWill, kX}},
          {A::Receive, kDont, kX, {kIac, kWont, kX}},
          {A::Receive, kDont, kX, {}}},
         OptionState::Off,
         OptionState::Off},
        {"their side asked and agreed",
         {{A::AskTheirs, 0, kX, {kIac, kDo, kX}}, {A::Receive, kWill, kX, {}}},
         OptionState::Off,
         OptionState::On},
        {"their side offered, then withdrawn",
         {{A::Receive, kWill, kX, {kIac, kDo, kX}}, {A::Receive, kWont, kX, {kIac, kDont, kX}}},
         OptionState::Off,
         OptionState::Off},
        {"their side refuses what we asked",
         {{A::AskTheirs, 0, kX, {kIac, kDo, kX}}, {A::Receive, kWont, kX, {}}},
         OptionState::Off,
         OptionState::Off},
        {"echo offered is refused, and its withdrawal not answered",
         {{A::Receive, kWill, kEcho, {kIac, kDont, kEcho}},
          {A::Receive, kWont, kEcho, {}},
          {A::Receive, kDont, kEcho, {}}},
         OptionState::Off,
         OptionState::Off},
        {"an option we do not know is refused on our side",
         {{A::Receive, kDo, 24, {kIac, kWont, 24}}},
         OptionState::Off,
         OptionState::Off},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TelnetOptions options;
        const uint8_t accepted[] = {kX};
        options.Accept(accepted, accepted);
        uint8_t option = kX;
        for (const auto& step : c.steps) {
            Bytes out;
            option = step.option;
            switch (step.act) {
                case A::AskOurs:
                    options.AskOurs(step.option, out);
                    break;
                case A::AskTheirs:
                    options.AskTheirs(step.option, out);
                    break;
                case A::Receive:
                    options.Receive(step.verb, step.option, out);
                    break;
            }
            EXPECT_EQ(Hex(out), Hex(step.answer)) << "step " << (&step - c.steps.data());
        }
        EXPECT_EQ(options.Ours(option), c.ours);
        EXPECT_EQ(options.Theirs(option), c.theirs);
    }
}

// ---------------------------------------------------------------------------------------------
// The serial-port option's messages

PortConfig Config(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits,
                  FlowControl flow) {
    auto state = std::make_unique<AppState>();
    DefaultPortSettings(*state);
    PortConfig config = state->portConfig;
    config.SetBaudRate(baud);
    config.SetByteSize(dataBits);
    config.SetParity(parity);
    config.SetStopBits(stopBits);
    config.SetFlags(ApplyFlowControl(config.Flags(), flow));
    return config;
}

TEST(ComPortOption, LineSettingsBecomeTheFiveRequests) {
    struct Case {
        PortConfig config;
        std::vector<Bytes> expected;
    };
    const Case cases[] = {
        {Config(115200, 8, 0, 0, FlowControl::None),
         {{1, 0x00, 0x01, 0xC2, 0x00}, {2, 8}, {3, 1}, {4, 1}, {5, 1}}},
        {Config(57600, 7, 1, 2, FlowControl::RtsCts),
         {{1, 0x00, 0x00, 0xE1, 0x00}, {2, 7}, {3, 2}, {4, 2}, {5, 3}}},
        {Config(300, 5, 2, 1, FlowControl::XonXoff),
         {{1, 0x00, 0x00, 0x01, 0x2C}, {2, 5}, {3, 3}, {4, 3}, {5, 2}}},
        {Config(0xFF00FFFF, 6, 3, 0, FlowControl::None),
         {{1, 0xFF, 0x00, 0xFF, 0xFF}, {2, 6}, {3, 4}, {4, 1}, {5, 1}}},
        {Config(1200, 8, 4, 0, FlowControl::None),
         {{1, 0x00, 0x00, 0x04, 0xB0}, {2, 8}, {3, 5}, {4, 1}, {5, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config.BaudRate());
        EXPECT_EQ(CheckComPortSettings(c.config), 0);
        EXPECT_EQ(LineSettingRequests(ComPortSettingsFromConfig(c.config)), c.expected);
    }
    // An RTS handshake without CTS flow is still hardware flow control, as a local port takes it.
    PortConfig rtsOnly = Config(9600, 8, 0, 0, FlowControl::None);
    rtsOnly.SetFlags((rtsOnly.Flags() & ~PortConfig::kRtsControlMask) |
                     PortConfig::kRtsControlHandshake);
    EXPECT_EQ(ComPortSettingsFromConfig(rtsOnly).flow, FlowControl::RtsCts);

    for (const PortConfig& bad :
         {Config(9600, 4, 0, 0, FlowControl::None), Config(9600, 9, 0, 0, FlowControl::None),
          Config(9600, 8, 5, 0, FlowControl::None), Config(9600, 8, 0, 3, FlowControl::None),
          Config(0, 8, 0, 0, FlowControl::None)}) {
        EXPECT_EQ(CheckComPortSettings(bad), EINVAL);
    }
    EXPECT_EQ(ControlRequest(ComPortControl::DtrOff), (Bytes{5, 9}));
    EXPECT_EQ(ControlRequest(ComPortControl::RtsOn), (Bytes{5, 11}));
    EXPECT_EQ(ControlRequest(ComPortControl::BreakOn), (Bytes{5, 5}));
    EXPECT_EQ(ModemStateMaskRequest(0xFF), (Bytes{11, 0xFF}));
}

TEST(ComPortOption, ServerMessagesDecode) {
    const std::pair<Bytes, ComPortNotice> cases[] = {
        {{101, 0x00, 0x00, 0xE1, 0x00}, {Kind::BaudRate, 57600}},
        {{101, 0xFF, 0xFF, 0xFF, 0xFF}, {Kind::BaudRate, 0xFFFFFFFF}},
        {{101, 0x00, 0xE1, 0x00}, {}},  // short
        {{102, 7}, {Kind::DataSize, 7}},
        {{102, 9}, {}},
        {{102, 0}, {}},
        {{103, 1}, {Kind::Parity, 0}},
        {{103, 2}, {Kind::Parity, 1}},
        {{103, 3}, {Kind::Parity, 2}},
        {{103, 4}, {Kind::Parity, 3}},
        {{103, 5}, {Kind::Parity, 4}},
        {{103, 0}, {}},
        {{103, 6}, {}},
        {{104, 1}, {Kind::StopSize, 0}},
        {{104, 2}, {Kind::StopSize, 2}},
        {{104, 3}, {Kind::StopSize, 1}},
        {{104, 4}, {}},
        {{105, 3}, {Kind::Control, 3}},
        {{107, 0x10}, {Kind::ModemState, kMsCtsOn}},
        {{107, 0x20}, {Kind::ModemState, kMsDsrOn}},
        {{107, 0x40}, {Kind::ModemState, kMsRingOn}},
        {{107, 0x80}, {Kind::ModemState, kMsRlsdOn}},
        {{107, 0x0F}, {Kind::ModemState, 0}},  // change bits only
        {{107, 0xFF}, {Kind::ModemState, kMsCtsOn | kMsDsrOn | kMsRingOn | kMsRlsdOn}},
        {{108}, {Kind::Suspend, 0}},
        {{109}, {Kind::Resume, 0}},
        {{106, 0x60}, {}},            // line state: nothing to act on
        {{100, 's', 'e', 'r'}, {}},   // signature
        {{1, 0, 0, 0x25, 0x80}, {}},  // a client's command, not a server's
        {{}, {}},
    };
    for (const auto& [payload, expected] : cases)
        EXPECT_EQ(ParseServerMessage(payload), expected) << Hex(payload);
}

TEST(ComPortOption, ConfirmationsAreMatchedAndStored) {
    const ComPortSettings asked{57600, 7, 2, 2, FlowControl::XonXoff};
    auto confirmAll = [](ComPortSettings s) {
        ConfirmedSettings c;
        for (const auto& request : LineSettingRequests(s)) {
            auto reply = ConfirmAsAsked(request);
            EXPECT_TRUE(RecordConfirmation(ParseServerMessage(*reply), c)) << Hex(request);
        }
        return c;
    };
    EXPECT_TRUE(ConfirmsRequest(confirmAll(asked), asked));
    ComPortSettings rounded = asked;
    rounded.baud = 57000;  // within a UART's rounding
    EXPECT_TRUE(ConfirmsRequest(confirmAll(rounded), asked));
    for (auto change : std::vector<std::function<void(ComPortSettings&)>>{
             [](ComPortSettings& s) { s.baud = 9600; }, [](ComPortSettings& s) { s.dataBits = 8; },
             [](ComPortSettings& s) { s.parity = 0; }, [](ComPortSettings& s) { s.stopBits = 0; },
             [](ComPortSettings& s) { s.flow = FlowControl::None; }}) {
        ComPortSettings other = asked;
        change(other);
        EXPECT_FALSE(ConfirmsRequest(confirmAll(other), asked));
    }
    ConfirmedSettings partial = confirmAll(asked);
    partial.stopBits.reset();
    EXPECT_FALSE(ConfirmsRequest(partial, asked));
    EXPECT_FALSE(RecordConfirmation({Kind::Control, uint8_t(ComPortControl::DtrOn)}, partial));
    EXPECT_FALSE(RecordConfirmation({Kind::ModemState, kMsCtsOn}, partial));

    // Stored: what was confirmed; the unanswered stop bits and every other byte as they were.
    PortConfig record = Config(9600, 8, 0, 0, FlowControl::RtsCts);
    record.SetXonChar(0x51);
    record.bytes[PortConfig::kOffXonLim] = 0x33;
    PortConfig expected = record;
    expected.SetBaudRate(57600);
    expected.SetByteSize(7);
    expected.SetParity(2);
    expected.SetFlags(ApplyFlowControl(record.Flags(), FlowControl::XonXoff));
    StoreConfirmedSettings(partial, record);
    EXPECT_EQ(Hex(record.bytes), Hex(expected.bytes));
}

// ---------------------------------------------------------------------------------------------
// The device against a scripted server

using Timeouts = NetworkSerialDevice::Timeouts;

std::shared_ptr<NetworkSerialDevice> OpenOn(ScriptedTelnetPeer& peer,
                                            const std::string& scheme = "rfc2217",
                                            const Timeouts& timeouts = {}) {
    int error = -1;
    auto device = NetworkSerialDevice::Open(peer.Name(scheme), error, timeouts);
    EXPECT_EQ(error, 0);
    return device;
}

// Reads until `count` data bytes came, or kPatience passed.
std::string Receive(SerialDevice& device, std::size_t count) {
    std::string got;
    std::array<uint8_t, 1000> buffer;
    WaitUntil([&] {
        if (device.Wait(10) == WaitResult::Ready) {
            for (ReadResult r; (r = device.Read(buffer)).status == ReadStatus::Data;)
                got.append(reinterpret_cast<const char*>(buffer.data()), r.count);
        }
        return got.size() >= count;
    });
    return got;
}

bool WriteAll(SerialDevice& device, const std::string& bytes) {
    return device.Write(AsBytes(bytes), 10000).written == bytes.size();
}

bool HeardData(ScriptedTelnetPeer& peer, const std::string& data) {
    return peer.WaitHeard([&](const auto& h) { return h.data.size() >= data.size(); }) &&
           peer.heard().data == data;
}

class NetworkDevice : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(peer.ok()); }
    ScriptedTelnetPeer peer;
};

// Binary both ways, suppress-go-ahead and the option are asked for once each, the server's echo
// is refused, modem-state notices are asked for (the 0xFF mask escaped), and nothing bounces.
TEST_F(NetworkDevice, NegotiatesOnceAndAsksForModemNotices) {
    auto device = OpenOn(peer);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->LineSettingsNote(), "");
    ASSERT_TRUE(WriteAll(*device, "ping"));
    ASSERT_TRUE(HeardData(peer, "ping"));
    const auto heard = peer.heard();
    for (auto [verb, option] : std::vector<std::pair<uint8_t, uint8_t>>{{kWill, kBinary},
                                                                        {kDo, kBinary},
                                                                        {kWill, kSuppressGoAhead},
                                                                        {kDo, kSuppressGoAhead},
                                                                        {kWill, kComPortOption},
                                                                        {kDont, kEcho}}) {
        EXPECT_EQ(heard.Count(verb, option), 1) << int(verb) << " " << int(option);
    }
    EXPECT_EQ(heard.negotiations.size(), 6u);
    EXPECT_EQ(heard.comPort, std::vector<Bytes>{ModemStateMaskRequest(0xFF)});
    EXPECT_NE(heard.raw.find("\xff\xfa\x2c\x0b\xff\xff\xff\xf0"), std::string::npos);
    EXPECT_EQ(device->Counters(), std::nullopt);
}

// Configure sends the five settings and succeeds only when the server confirms them; reading back
// gives what the server confirmed, the record's own value where it said nothing.
TEST(NetworkDeviceSettings, ReadBackIsWhatTheServerConfirmed) {
    const PortConfig asked = Config(57600, 7, 2, 1, FlowControl::XonXoff);
    struct Case {
        const char* name;
        PeerAnswer answer;
        int result;
        uint32_t baud;
        uint8_t stopBits;
    };
    auto keepsRateAt9600 = [](std::span<const uint8_t> request) {
        auto reply = ConfirmAsAsked(request);
        if (request[0] == uint8_t(ComPortCommand::SetBaudRate))
            *reply = {101, 0x00, 0x00, 0x25, 0x80};
        return reply;
    };
    auto ignoresStopSize = [](std::span<const uint8_t> request) {
        return request[0] == uint8_t(ComPortCommand::SetStopSize) ? std::nullopt
                                                                  : ConfirmAsAsked(request);
    };
    const Case cases[] = {
        {"confirms what was asked", ConfirmAsAsked, 0, 57600, 1},
        {"keeps its own rate", keepsRateAt9600, EINVAL, 9600, 1},
        {"leaves the stop size unanswered", ignoresStopSize, EINVAL, 57600, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTelnetPeer peer({PeerGreeting::TakesOption, c.answer});
        auto device = OpenOn(peer, "rfc2217", {5000, 5000, 300});
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->Configure(asked), c.result);
        const auto heard = peer.heard();
        std::vector<Bytes> requests(heard.comPort.begin() + 1, heard.comPort.end());
        EXPECT_EQ(requests, LineSettingRequests(ComPortSettingsFromConfig(asked)));

        PortConfig back = Config(115200, 8, 0, 0, FlowControl::RtsCts);
        back.SetXonChar(0x42);
        ASSERT_EQ(device->ReadConfig(back), 0);
        EXPECT_EQ(back.BaudRate(), c.baud);
        EXPECT_EQ(back.ByteSize(), 7);
        EXPECT_EQ(back.Parity(), 2);
        EXPECT_EQ(back.StopBits(), c.stopBits);
        EXPECT_EQ(FlowControlOf(back.Flags()), FlowControl::XonXoff);
        EXPECT_EQ(back.XonChar(), 0x42);
    }
}

TEST_F(NetworkDevice, SettingsNoLineTakesAreRefusedUnsent) {
    auto device = OpenOn(peer);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Configure(Config(9600, 4, 0, 0, FlowControl::None)), EINVAL);
    ASSERT_TRUE(WriteAll(*device, "x"));
    ASSERT_TRUE(HeardData(peer, "x"));
    EXPECT_EQ(peer.heard().comPort.size(), 1u);  // the modem-state mask only
}

// A modem-state notice wakes a waiting reader at once and sets the lines; change bits are not
// lines.
TEST_F(NetworkDevice, ModemNoticesWakeTheReaderAndSetTheLines) {
    auto device = OpenOn(peer);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->ModemStatus(), 0u);
    const std::pair<uint8_t, uint32_t> notices[] = {
        {0xB0, kMsRlsdOn | kMsDsrOn | kMsCtsOn},
        {0x4F, kMsRingOn},
        {0x20, kMsDsrOn},
        {0x00, 0},
    };
    for (const auto& [wire, status] : notices) {
        std::thread notify([&] { peer.SendComPort({107, wire}); });
        EXPECT_TRUE(FinishesWithin(
            kPatience, [&] { EXPECT_EQ(device->Wait(600000), WaitResult::Timeout); },
            [&] { device->Interrupt(); }))
            << "a notice did not wake the reader";
        notify.join();
        EXPECT_EQ(device->ModemStatus(), status) << int(wire);
    }
}

// Commands and subnegotiations cut at every byte on the network still decode, between data.
TEST_F(NetworkDevice, CommandsSentByteByByteStillDecode) {
    auto device = OpenOn(peer);
    ASSERT_NE(device, nullptr);
    const std::string script = std::string(
                                   "A\xff\xff"
                                   "B") +
                               SubnegotiationFrame(kComPortOption, {107, 0x30}) + "\xff\xf1" + "C" +
                               SubnegotiationFrame(kComPortOption, {101, 0, 0, 0x25, 0xFF}) + "D";
    ASSERT_TRUE(peer.Send(script, true));
    EXPECT_EQ(Receive(*device, 5),
              "A\xff"
              "BCD");
    EXPECT_EQ(device->ModemStatus(), kMsCtsOn | kMsDsrOn);
    PortConfig back;
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(back.BaudRate(), 0x25FFu);  // the rate's 0xFF byte came escaped
}

// Every byte value, and runs of 0xFF, pass both ways: doubled on the wire, single in the data.
TEST_F(NetworkDevice, EveryByteValuePassesBothWays) {
    auto device = OpenOn(peer);
    ASSERT_NE(device, nullptr);
    const std::string all = AllByteValues();
    ASSERT_TRUE(WriteAll(*device, all));
    ASSERT_TRUE(HeardData(peer, all));
    EXPECT_TRUE(peer.heard().raw.ends_with(EscapedByHand(all)));
    ASSERT_TRUE(peer.Send(EscapedByHand(all)));
    EXPECT_EQ(Receive(*device, all.size()), all);
}

// Raw TCP: bytes as they are both ways; line settings, DTR, RTS and break send nothing and fail
// nothing.
TEST(NetworkDeviceRaw, CarriesBytesAsTheyAre) {
    ScriptedTelnetPeer peer({PeerGreeting::Silent});
    auto device = OpenOn(peer, "tcp");
    ASSERT_NE(device, nullptr);
    const std::string all = AllByteValues();
    EXPECT_EQ(device->Configure(Config(9600, 4, 0, 0, FlowControl::None)), 0);
    device->SetDtr(false);
    device->SetRts(false);
    device->SendBreak(1);
    ASSERT_TRUE(WriteAll(*device, all));
    ASSERT_TRUE(peer.WaitHeard([&](const auto& h) { return h.raw.size() >= all.size(); }));
    EXPECT_EQ(peer.heard().raw, all);
    ASSERT_TRUE(peer.Send(all));
    EXPECT_EQ(Receive(*device, all.size()), all);
    EXPECT_EQ(device->ModemStatus(), 0u);
    EXPECT_NE(device->LineSettingsNote(), "");
    PortConfig back = Config(1200, 7, 1, 2, FlowControl::RtsCts);
    const PortConfig before = back;
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(back, before);
}

// A server that refuses the option, or never answers, still carries data; nothing of the option
// is sent it, a break goes as telnet's own, and the note says the settings do not apply.
TEST(NetworkDeviceRefused, StillCarriesData) {
    for (auto greeting : {PeerGreeting::RefusesOption, PeerGreeting::Silent}) {
        SCOPED_TRACE(int(greeting));
        ScriptedTelnetPeer peer({greeting});
        auto device = OpenOn(peer, "rfc2217", {5000, 300, 300});
        ASSERT_NE(device, nullptr);
        EXPECT_NE(device->LineSettingsNote(), "");
        EXPECT_EQ(device->Configure(Config(57600, 8, 0, 0, FlowControl::None)), 0);
        device->SetDtr(false);
        device->SetRts(true);
        device->SendBreak(1);
        const std::string all = AllByteValues();
        ASSERT_TRUE(WriteAll(*device, all));
        ASSERT_TRUE(HeardData(peer, all));
        const auto heard = peer.heard();
        EXPECT_TRUE(heard.comPort.empty());
        EXPECT_EQ(heard.commands, std::string(1, char(kBrk)));
        ASSERT_TRUE(peer.Send(EscapedByHand(all)));
        EXPECT_EQ(Receive(*device, all.size()), all);
    }
}

// While the server has suspended us, data waits (a short write gives up, sending nothing), while
// control messages still go; resume lets a waiting write through.
TEST_F(NetworkDevice, SuspendHoldsDataUntilResume) {
    auto device = OpenOn(peer);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(peer.Send(SubnegotiationFrame(kComPortOption, {108}) +
                          SubnegotiationFrame(kComPortOption, {107, 0x20})));
    ASSERT_TRUE(WaitUntil([&] { return device->ModemStatus() == kMsDsrOn; }))
        << "the notice after the suspend never came";
    EXPECT_EQ(device->Write(AsBytes("early"), 50).written, 0u);
    device->SetDtr(false);
    ASSERT_TRUE(peer.WaitHeard([](const auto& h) {
        return h.comPort.back() == ControlRequest(ComPortControl::DtrOff);
    })) << "a control message was held with the data";

    WriteResult late;
    std::thread writer([&] { late = device->Write(AsBytes("late"), 600000); });
    ASSERT_TRUE(peer.SendComPort({109}));
    writer.join();
    EXPECT_EQ(late.written, 4u);
    ASSERT_TRUE(HeardData(peer, "late"));
}

// A server that goes away: what it sent before is read first, then the device is lost.
TEST_F(NetworkDevice, ADroppedConnectionIsALostDevice) {
    auto device = OpenOn(peer);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(peer.Send("last words"));
    peer.Hangup();
    EXPECT_EQ(Receive(*device, 10), "last words");
    std::array<uint8_t, 64> buffer;
    ASSERT_TRUE(WaitUntil([&] {
        device->Wait(10);
        return device->Read(buffer).status == ReadStatus::Lost;
    }));
    EXPECT_EQ(device->Read(buffer).error, ECONNRESET);
    EXPECT_EQ(device->Wait(600000), WaitResult::Ready);
}

// Interrupt wakes a waiting reader and a held-off writer for good; after Close everything is a
// no-op and the server sees the connection end; opening and closing leaves nothing behind.
TEST_F(NetworkDevice, InterruptAndCloseEndEverything) {
    auto device = OpenOn(peer);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(peer.Send(SubnegotiationFrame(kComPortOption, {108}) +
                          SubnegotiationFrame(kComPortOption, {107, 0x10})));
    ASSERT_TRUE(WaitUntil([&] { return device->ModemStatus() == kMsCtsOn; }));
    EXPECT_EQ(device->Wait(0), WaitResult::Timeout);  // takes the change the notice made
    std::thread reader([&] { EXPECT_EQ(device->Wait(600000), WaitResult::Interrupted); });
    std::thread writer([&] { EXPECT_EQ(device->Write(AsBytes("held"), 600000).written, 0u); });
    EXPECT_TRUE(FinishesWithin(kPatience, [&] {
        std::thread closer([&] { device->Close(); });
        device->Close();
        closer.join();
        reader.join();
        writer.join();
    })) << "close left a wait or a write behind";
    std::array<uint8_t, 16> buffer;
    EXPECT_EQ(device->Read(buffer).error, EBADF);
    EXPECT_EQ(device->Write(AsBytes("x"), 100).written, 0u);
    EXPECT_EQ(device->Configure(Config(9600, 8, 0, 0, FlowControl::None)), EBADF);
    EXPECT_EQ(device->ModemStatus(), 0u);
    EXPECT_TRUE(peer.WaitHeard([](const auto& h) { return h.hungUp; }));
    EXPECT_EQ(peer.heard().data, "");

    auto count = [](const char* dir) {
        return std::distance(std::filesystem::directory_iterator(dir),
                             std::filesystem::directory_iterator());
    };
    const auto fds = count("/proc/self/fd");
    const auto threads = count("/proc/self/task");
    for (int i = 0; i < 20; ++i) {
        ScriptedTelnetPeer server;
        OpenOn(server, i % 2 ? "tcp" : "rfc2217")->Close();
    }
    EXPECT_EQ(count("/proc/self/fd"), fds);
    EXPECT_TRUE(WaitUntil([&] { return count("/proc/self/task") == threads; }));
}

// Each failure to open says why.
TEST(NetworkDeviceOpen, FailuresSayWhy) {
    int error = 0;
    EXPECT_EQ(NetworkSerialDevice::Open("tcp://[::1]80", error), nullptr);
    EXPECT_EQ(error, EINVAL);

    const int closedPort = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(closedPort, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(getsockname(closedPort, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string refused = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    EXPECT_EQ(NetworkSerialDevice::Open(refused, error), nullptr);
    EXPECT_EQ(error, ECONNREFUSED);

    // A server whose queue of connections is full never answers: the connect times out.
    ASSERT_EQ(listen(closedPort, 0), 0);
    const std::string full = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    std::vector<std::shared_ptr<NetworkSerialDevice>> queued;  // kept open, keeping the queue full
    for (int i = 0; i < 8 && error != ETIMEDOUT; ++i) {
        if (auto device = NetworkSerialDevice::Open(full, error, {200, 200, 200}))
            queued.push_back(device);
    }
    EXPECT_EQ(error, ETIMEDOUT);
    close(closedPort);
}

// Host names and IPv6 literals reach the server too, in any case of the scheme.
TEST(NetworkDeviceOpen, HostNamesAndIpv6) {
    ScriptedTelnetPeer v6({}, AF_INET6);
    ASSERT_TRUE(v6.ok());
    ScriptedTelnetPeer v4;
    for (const std::string& name : {"RFC2217://[::1]:" + std::to_string(v6.port()),
                                    "Tcp://localhost:" + std::to_string(v4.port())}) {
        int error = -1;
        auto device = OpenSerialDevice(name, error);
        ASSERT_NE(device, nullptr) << name << ": " << error;
        EXPECT_EQ(error, 0);
        device->Close();
    }
}

// The whole port: Open Port over the network sets the title and raises DTR and RTS at the
// server; notices drive the boxes; the boxes send DTR and RTS; the server going away closes the
// port with one message.
class NetworkPort : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        DefaultPortSettings(*state);
    }
    void TearDown() override { ClosePort(*state, host); }

    ScriptedTelnetPeer peer;
    FakeHost host;
    std::unique_ptr<AppState> state = MakeScreen(25, 80);
};

TEST_F(NetworkPort, OpenPortDrivesTheServerAndTheBoxes) {
    state->portConfig.SetBaudRate(57600);
    state->portName = peer.Name();
    ASSERT_TRUE(OpenPort(*state, host)) << (host.messages.empty() ? "" : host.messages[0].detail);
    EXPECT_EQ(host.title, "VL: " + peer.Name());
    const Bytes dtrOn = ControlRequest(ComPortControl::DtrOn);
    const Bytes rtsOn = ControlRequest(ComPortControl::RtsOn);
    ASSERT_TRUE(peer.WaitHeard([&](const auto& h) {
        return std::count(h.comPort.begin(), h.comPort.end(), dtrOn) == 1 &&
               std::count(h.comPort.begin(), h.comPort.end(), rtsOn) == 1;
    }));
    EXPECT_EQ(peer.heard().comPort[1], (Bytes{1, 0x00, 0x00, 0xE1, 0x00}));

    ASSERT_TRUE(peer.SendComPort({107, 0xA0}));
    EXPECT_TRUE(host.RunUntil([&] {
        return host.BoxChecked(ModemBox::Cd) && host.BoxChecked(ModemBox::Dsr) &&
               !host.BoxChecked(ModemBox::Cts) && !host.BoxChecked(ModemBox::Ri);
    })) << "the boxes never showed the notice";
    host.SetBoxCheck(ModemBox::Rts, false);
    ToggleRts(*state, host);
    ASSERT_TRUE(peer.WaitHeard(
        [](const auto& h) { return h.comPort.back() == ControlRequest(ComPortControl::RtsOff); }));

    peer.Hangup();
    ASSERT_TRUE(host.RunUntil([&] { return !PortIsOpen(*state); })) << "still open";
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "ReadPort Failed");
    EXPECT_EQ(host.title, "Vellor");
}

}  // namespace
}  // namespace vellor::testing
