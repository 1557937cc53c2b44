#pragma once

#include <string>
#include <vector>

#include "app/platform.h"

namespace vellor::testing {

// Remembers every message box instead of showing it.
class RecordingPlatform : public Platform {
  public:
    struct Message {
        MessageOwner owner;
        std::string text;
        std::string caption;
        std::string detail;
    };
    void ShowMessage(MessageOwner owner, const std::string& text, const std::string& caption,
                     const std::string& detail) override {
        messages.push_back({owner, text, caption, detail});
    }
    std::vector<Message> messages;
};

}  // namespace vellor::testing
