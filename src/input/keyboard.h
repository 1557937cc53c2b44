#pragma once

#include <cstdint>

namespace vellor {

struct AppState;

enum class ArrowKey { Left, Up, Right, Down };

// Where the bytes of a key go. Each key's bytes reach the port first, then the echo, then the
// capture file.
class KeyDestinations {
  public:
    virtual ~KeyDestinations() = default;
    virtual bool PortOpen() = 0;
    virtual void WritePort(uint8_t byte) = 0;
    virtual void Echo(uint8_t byte) = 0;
    virtual bool CaptureOpen() = 0;
    virtual void Capture(uint8_t byte) = 0;
    // Called once after a key that captured anything, so the file can be flushed once per key.
    virtual void CaptureDone() = 0;
};

// An arrow key: ESC "[" and the key's letter (A up, B down, C right, D left) to each destination.
// Ignored during hex entry. No LF is ever added. UI thread only.
void HandleArrowKey(AppState& state, ArrowKey key, KeyDestinations& out);

// A typed character; only the low 8 bits of its code are used. With hex entry off it is sent as
// it is; with hex entry on, two hexadecimal digits make one byte and anything else is ignored.
// UI thread only.
void HandleCharKey(AppState& state, uint16_t utf16Code, KeyDestinations& out);

// The program's own destinations: the open port, echo through PutByte, capture into
// state.captureFile.
class AppKeyDestinations : public KeyDestinations {
  public:
    explicit AppKeyDestinations(AppState& state);

    bool PortOpen() override;
    void WritePort(uint8_t byte) override;
    void Echo(uint8_t byte) override;
    bool CaptureOpen() override;
    void Capture(uint8_t byte) override;
    void CaptureDone() override;

  private:
    AppState& state_;
};

}  // namespace vellor
