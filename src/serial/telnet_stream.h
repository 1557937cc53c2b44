#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vellor {

// The telnet byte stream (RFC 854, 855, 1143), as far as a serial-port client needs it.
//
// Principles of operation
// - TelnetDecoder takes what the socket gives, cut anywhere, and hands on data bytes, commands
//   and complete subnegotiations, in stream order. A command or subnegotiation split across reads
//   is held until its last byte comes; data is handed on in runs as it arrives, never held.
// - The encoder side escapes 0xFF as IAC IAC, in data and in subnegotiation payloads, so the far
//   end never reads a data byte as a command.
// - TelnetOptions keeps the state of each option on both sides and answers the other side's
//   requests so that every request is answered once and no answer is answered (no loops).
// None of these is thread-safe; the owner serialises calls.

namespace telnet {
inline constexpr uint8_t kSe = 240;    // end of subnegotiation
inline constexpr uint8_t kNop = 241;   // no operation
inline constexpr uint8_t kBrk = 243;   // break
inline constexpr uint8_t kSb = 250;    // start of subnegotiation
inline constexpr uint8_t kWill = 251;  // sender wants to (or will) enable an option on its side
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kDo = 253;  // sender wants the receiver to enable an option
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kIac = 255;  // interpret as command

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kEcho = 1;
inline constexpr uint8_t kSuppressGoAhead = 3;
}  // namespace telnet

// What the decoder hands on. Spans are valid during the call only.
class TelnetSink {
  public:
    virtual ~TelnetSink() = default;
    virtual void Data(std::span<const uint8_t> bytes) = 0;
    // WILL, WONT, DO or DONT and its option.
    virtual void Negotiation(uint8_t verb, uint8_t option) = 0;
    // IAC SB option ... IAC SE with escapes removed.
    virtual void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) = 0;
    // Any other two-byte command (NOP, BRK, GA, ...).
    virtual void Command(uint8_t command) = 0;
};

class TelnetDecoder {
  public:
    // A subnegotiation longer than this keeps only its first bytes (nothing the serial-port
    // option sends comes close); the stream stays in step.
    static constexpr std::size_t kMaxPayload = 1024;

    void Feed(std::span<const uint8_t> bytes, TelnetSink& sink);

  private:
    enum class State : uint8_t {
        Data,        // plain bytes
        Command,     // after IAC
        Option,      // after IAC WILL/WONT/DO/DONT
        SubOption,   // after IAC SB
        SubPayload,  // inside a subnegotiation
        SubCommand,  // after IAC inside a subnegotiation
    };
    void TakeCommand(uint8_t byte, TelnetSink& sink);

    State state_ = State::Data;
    uint8_t verb_ = 0;
    uint8_t subOption_ = 0;
    std::vector<uint8_t> payload_;
};

// Appends `bytes` to `out` with every 0xFF doubled.
void AppendEscaped(std::span<const uint8_t> bytes, std::vector<uint8_t>& out);
// Appends IAC verb option.
void AppendNegotiation(uint8_t verb, uint8_t option, std::vector<uint8_t>& out);
// Appends IAC SB option payload(escaped) IAC SE.
void AppendSubnegotiation(uint8_t option, std::span<const uint8_t> payload,
                          std::vector<uint8_t>& out);

// Option states on one side of the connection, after RFC 1143 (without its queue bits: an
// option is asked for at most once per connection here).
enum class OptionState : uint8_t {
    Off,
    On,
    Asked,  // we asked for it and wait for the answer
};

class TelnetOptions {
  public:
    // Marks the options this end may enable on its own side (WILL) and wants the far end to enable
    // (DO); anything else the far end asks for is refused.
    void Accept(std::span<const uint8_t> ours, std::span<const uint8_t> theirs);
    // Asks for an option on our side (WILL) or the far end's (DO), appending the request to `out`.
    void AskOurs(uint8_t option, std::vector<uint8_t>& out);
    void AskTheirs(uint8_t option, std::vector<uint8_t>& out);
    // Takes a WILL/WONT/DO/DONT received; appends the answer, if one is due, to `out`.
    void Receive(uint8_t verb, uint8_t option, std::vector<uint8_t>& out);

    OptionState Ours(uint8_t option) const { return ours_[option]; }

  private:
    std::array<OptionState, 256> ours_{};
    std::array<OptionState, 256> theirs_{};
    std::array<bool, 256> acceptOurs_{};
    std::array<bool, 256> acceptTheirs_{};
};

}  // namespace vellor
