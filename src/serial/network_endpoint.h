#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellor {

// Where a network port is and how it is spoken to, from its name:
//
//   rfc2217://HOST:PORT   telnet with the serial-port option (RFC 2217)
//   tcp://HOST:PORT       raw TCP, bytes as they are
//
// The scheme is matched in any case. HOST is a host name, an IPv4 address or an IPv6 address in
// brackets ("[::1]", a zone allowed: "[fe80::1%eth0]"); PORT is 1-65535 in decimal. Nothing may
// follow the port. Parsing is pure; ConnectToEndpoint resolves and connects and may block (call
// it off the UI thread).

enum class NetworkProtocol : uint8_t {
    Rfc2217,  // telnet, COM-PORT-OPTION
    RawTcp,
};

struct NetworkEndpoint {
    NetworkProtocol protocol = NetworkProtocol::RawTcp;
    std::string host;        // without the brackets of an IPv6 address
    bool numericV6 = false;  // the host was given in brackets
    uint16_t port = 0;

    bool operator==(const NetworkEndpoint&) const = default;
};

// The endpoint a port name stands for, or nothing when the name is malformed.
std::optional<NetworkEndpoint> ParseNetworkPortName(std::string_view portName);

// An errno value a user can read for a getaddrinfo failure: a name that does not resolve is
// ENXIO ("No such device or address"), a resolver that cannot be reached EAGAIN, a name malformed
// for the resolver EINVAL. EAI_SYSTEM gives `systemError`.
int ResolverErrno(int resolverError, int systemError);

// Resolves the endpoint and connects to its addresses in turn within `timeoutMs` in all. Returns
// a connected, non-blocking, close-on-exec TCP socket with Nagle's delay off (typed keys go out
// one at a time) and keep-alive probes after 15 s of silence (a vanished server is an error
// within about half a minute), or -1 with `error` set: ECONNREFUSED, EHOSTUNREACH, ENETUNREACH,
// ETIMEDOUT, or what ResolverErrno gives. Blocks for the name look-up and at most `timeoutMs` of
// connecting.
int ConnectToEndpoint(const NetworkEndpoint& endpoint, int timeoutMs, int& error);

}  // namespace vellor
