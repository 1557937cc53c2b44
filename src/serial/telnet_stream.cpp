#include "serial/telnet_stream.h"

#include <algorithm>
#include <cstring>

namespace vellor {

using namespace telnet;

void TelnetDecoder::Feed(std::span<const uint8_t> bytes, TelnetSink& sink) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        switch (state_) {
            case State::Data: {
                // The common case: a run of plain bytes up to the next IAC, handed on whole.
                const void* found = std::memchr(bytes.data() + i, kIac, bytes.size() - i);
                const std::size_t end =
                    found ? std::size_t(static_cast<const uint8_t*>(found) - bytes.data())
                          : bytes.size();
                if (end > i) sink.Data(bytes.subspan(i, end - i));
                i = end;
                if (i < bytes.size()) {
                    state_ = State::Command;
                    ++i;
                }
                break;
            }
            case State::Command:
                TakeCommand(bytes[i++], sink);
                break;
            case State::Option:
                state_ = State::Data;
                sink.Negotiation(verb_, bytes[i++]);
                break;
            case State::SubOption:
                subOption_ = bytes[i++];
                payload_.clear();
                state_ = State::SubPayload;
                break;
            case State::SubPayload: {
                const uint8_t byte = bytes[i++];
                if (byte == kIac) {
                    state_ = State::SubCommand;
                } else if (payload_.size() < kMaxPayload) {
                    payload_.push_back(byte);
                }
                break;
            }
            case State::SubCommand: {
                const uint8_t byte = bytes[i++];
                if (byte == kIac) {  // an escaped 0xFF inside the payload
                    if (payload_.size() < kMaxPayload) payload_.push_back(kIac);
                    state_ = State::SubPayload;
                } else if (byte == kSe) {
                    state_ = State::Data;
                    sink.Subnegotiation(subOption_, payload_);
                } else {
                    // A command where only IAC or SE may stand: the subnegotiation was cut short.
                    // Drop it and take the byte as the command it is, so the stream stays in step.
                    TakeCommand(byte, sink);
                }
                break;
            }
        }
    }
}

void TelnetDecoder::TakeCommand(uint8_t byte, TelnetSink& sink) {
    state_ = State::Data;
    if (byte == kIac) {
        static constexpr uint8_t kEscaped[1] = {kIac};
        sink.Data(kEscaped);
    } else if (byte >= kWill && byte <= kDont) {
        verb_ = byte;
        state_ = State::Option;
    } else if (byte == kSb) {
        state_ = State::SubOption;
    } else if (byte != kSe) {  // a stray SE ends nothing
        sink.Command(byte);
    }
}

void AppendEscaped(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto* start = bytes.data() + i;
        const void* found = std::memchr(start, kIac, bytes.size() - i);
        const std::size_t run =
            found ? std::size_t(static_cast<const uint8_t*>(found) - start) : bytes.size() - i;
        out.insert(out.end(), start, start + run);
        i += run;
        if (i < bytes.size()) {
            out.push_back(kIac);
            out.push_back(kIac);
            ++i;
        }
    }
}

void AppendNegotiation(uint8_t verb, uint8_t option, std::vector<uint8_t>& out) {
    out.insert(out.end(), {kIac, verb, option});
}

void AppendSubnegotiation(uint8_t option, std::span<const uint8_t> payload,
                          std::vector<uint8_t>& out) {
    out.insert(out.end(), {kIac, kSb});
    AppendEscaped(std::span<const uint8_t>(&option, 1), out);
    AppendEscaped(payload, out);
    out.insert(out.end(), {kIac, kSe});
}

void TelnetOptions::Accept(std::span<const uint8_t> ours, std::span<const uint8_t> theirs) {
    for (uint8_t option : ours)
        acceptOurs_[option] = true;
    for (uint8_t option : theirs)
        acceptTheirs_[option] = true;
}

void TelnetOptions::AskOurs(uint8_t option, std::vector<uint8_t>& out) {
    if (ours_[option] != OptionState::Off) return;
    ours_[option] = OptionState::Asked;
    AppendNegotiation(kWill, option, out);
}

void TelnetOptions::AskTheirs(uint8_t option, std::vector<uint8_t>& out) {
    if (theirs_[option] != OptionState::Off) return;
    theirs_[option] = OptionState::Asked;
    AppendNegotiation(kDo, option, out);
}

void TelnetOptions::Receive(uint8_t verb, uint8_t option, std::vector<uint8_t>& out) {
    // DO/DONT concern our side, WILL/WONT the far end's. A request that changes nothing is not
    // answered, and an answer to our own request is not answered back: that is what keeps two
    // ends from bouncing the same option forever.
    const bool aboutOurs = verb == kDo || verb == kDont;
    const bool enable = verb == kDo || verb == kWill;
    OptionState& state = aboutOurs ? ours_[option] : theirs_[option];
    const bool acceptable = aboutOurs ? acceptOurs_[option] : acceptTheirs_[option];
    const uint8_t agree = aboutOurs ? (enable ? kWill : kWont) : (enable ? kDo : kDont);
    const uint8_t refuse = aboutOurs ? kWont : kDont;

    switch (state) {
        case OptionState::Off:
            if (!enable) return;  // already off
            if (acceptable) {
                state = OptionState::On;
                AppendNegotiation(agree, option, out);
            } else {
                AppendNegotiation(refuse, option, out);
            }
            return;
        case OptionState::On:
            if (enable) return;  // already on
            state = OptionState::Off;
            AppendNegotiation(agree, option, out);  // WONT or DONT: we go along
            return;
        case OptionState::Asked:
            state = enable ? OptionState::On : OptionState::Off;  // the answer to our request
            return;
    }
}

}  // namespace vellor
