#include "serial/network_endpoint.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <memory>

#include "base/ascii.h"

namespace vellor {
namespace {

constexpr std::string_view kRfc2217Scheme = "rfc2217://";
constexpr std::string_view kRawTcpScheme = "tcp://";
constexpr std::size_t kMaxHostLength = 253;  // the longest name DNS can carry

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A host name or dotted IPv4 address: letters, digits, '-', '_' and '.'.
bool IsHostName(std::string_view host) {
    if (host.empty() || host.size() > kMaxHostLength) return false;
    return std::all_of(host.begin(), host.end(),
                       [](char c) { return IsAsciiAlnum(c) || c == '-' || c == '_' || c == '.'; });
}

// What may stand between the brackets: hex digits, ':' and '.' (an embedded IPv4 tail), then
// optionally '%' and a zone. The resolver checks the address itself.
bool IsBracketedV6(std::string_view host) {
    const std::size_t percent = host.find('%');
    const std::string_view address = host.substr(0, percent);
    if (address.find(':') == std::string_view::npos) return false;
    if (!std::all_of(address.begin(), address.end(),
                     [](char c) { return IsHexDigit(c) || c == ':' || c == '.'; })) {
        return false;
    }
    if (percent == std::string_view::npos) return true;
    const std::string_view zone = host.substr(percent + 1);
    return !zone.empty() && std::all_of(zone.begin(), zone.end(), [](char c) {
        return IsAsciiAlnum(c) || c == '-' || c == '_' || c == '.';
    });
}

std::optional<uint16_t> ParsePort(std::string_view digits) {
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    uint32_t port = 0;
    const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (status != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    if (port == 0 || port > 65535) return std::nullopt;
    return uint16_t(port);
}

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

// Waits for a non-blocking connect on `fd` to finish by `deadline`. Returns 0 or an errno value.
int FinishConnect(int fd, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return ETIMEDOUT;
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, int(left.count()) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return errno;
        if (ready == 0) continue;  // the loop's deadline check decides
        int reason = 0;
        socklen_t length = sizeof reason;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &reason, &length) != 0) return errno;
        return reason;
    }
}

// Typed keys go out one at a time, not held back for an acknowledgement (Nagle's delay). A
// server that vanishes without closing (a pulled cable, a console server that lost power) is
// noticed after about half a minute of silence instead of the system's two hours.
void KeepAlive(int fd) {
    const int on = 1, idleSeconds = 15, intervalSeconds = 5, probes = 3;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

}  // namespace

std::optional<NetworkEndpoint> ParseNetworkPortName(std::string_view portName) {
    NetworkEndpoint endpoint;
    std::string_view rest;
    if (StartsWithIgnoringAsciiCase(portName, kRfc2217Scheme)) {
        endpoint.protocol = NetworkProtocol::Rfc2217;
        rest = portName.substr(kRfc2217Scheme.size());
    } else if (StartsWithIgnoringAsciiCase(portName, kRawTcpScheme)) {
        endpoint.protocol = NetworkProtocol::RawTcp;
        rest = portName.substr(kRawTcpScheme.size());
    } else {
        return std::nullopt;
    }

    std::string_view host;
    std::string_view portText;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return std::nullopt;
        host = rest.substr(1, close - 1);
        portText = rest.substr(close + 2);
        if (!IsBracketedV6(host)) return std::nullopt;
        endpoint.numericV6 = true;
    } else {
        const std::size_t colon = rest.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);  // a second ':' (a bare IPv6 address) fails below
        if (!IsHostName(host)) return std::nullopt;
    }
    const auto port = ParsePort(portText);
    if (!port) return std::nullopt;
    endpoint.host = std::string(host);
    endpoint.port = *port;
    return endpoint;
}

int ResolverErrno(int resolverError, int systemError) {
    switch (resolverError) {
        case 0:
            return 0;
        case EAI_NONAME:
#ifdef EAI_NODATA
        case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
#endif
        case EAI_FAIL:
            return ENXIO;
        case EAI_AGAIN:
            return EAGAIN;
        case EAI_MEMORY:
            return ENOMEM;
        case EAI_SYSTEM:
            return systemError != 0 ? systemError : EIO;
        default:  // EAI_BADFLAGS, EAI_FAMILY, EAI_SERVICE, EAI_SOCKTYPE: a name it cannot take
            return EINVAL;
    }
}

int ConnectToEndpoint(const NetworkEndpoint& endpoint, int timeoutMs, int& error) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | (endpoint.numericV6 ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    const std::string service = std::to_string(endpoint.port);
    const int resolved = getaddrinfo(endpoint.host.c_str(), service.c_str(), &hints, &found);
    if (resolved != 0) {
        error = ResolverErrno(resolved, errno);
        return -1;
    }
    const std::unique_ptr<addrinfo, AddrInfoFree> list(found);

    error = EHOSTUNREACH;  // a list with nothing in it
    for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        const int fd =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        int reason = 0;
        if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            reason = errno == EINPROGRESS || errno == EINTR ? FinishConnect(fd, deadline) : errno;
        }
        if (reason == 0) {
            KeepAlive(fd);
            error = 0;
            return fd;
        }
        close(fd);
        error = reason;
        if (reason == ETIMEDOUT) break;  // the time is spent; the next address gets none
    }
    return -1;
}

}  // namespace vellor
