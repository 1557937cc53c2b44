#include "app/menu_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace vellor {
namespace {

struct Shown {
    int id;
    std::string label;
    bool operator==(const Shown&) const = default;
};

std::vector<Shown> ShownEntries(const MenuSpec& menu) {
    std::vector<Shown> out;
    for (const MenuEntry& e : menu.entries)
        out.push_back({e.id, e.IsSeparator() ? "---" : StripMnemonic(e.label)});
    return out;
}

TEST(MenuTableTest, MenusItemsLabelsAndSeparatorsInOrder) {
    const auto menus = MainMenus();
    ASSERT_EQ(menus.size(), 5u);
    const std::vector<std::string> titles = {"File", "Edit", "View", "Comm", "Help"};
    const std::vector<std::vector<Shown>> items = {
        {{40053, "Send from File"}, {40052, "Capture to File"}, {0, "---"}, {40008, "Exit"}},
        {{40009, "Clear All"},
         {0, "---"},
         {40050, "Hex Input"},
         {0, "---"},
         {40042, "Options ..."}},
        {{40055, "Zoom In"}, {40056, "Zoom Out"}, {0, "---"}, {40021, "Control Bar"}},
        {{40028, "Open Port"}, {0, "---"}, {40011, "Properties"}},
        {{40010, "About  Vellor"}},
    };
    for (std::size_t m = 0; m < 5; ++m) {
        EXPECT_EQ(StripMnemonic(menus[m].title), titles[m]);
        EXPECT_EQ(ShownEntries(menus[m]), items[m]) << titles[m];
    }
}

TEST(MenuTableTest, EveryMenuAndItemHasOneMnemonicUniqueWithinItsMenu) {
    std::set<char> titleKeys;
    for (const MenuSpec& menu : MainMenus()) {
        const std::string title = menu.title;
        ASSERT_NE(title.find('&'), std::string::npos) << title;
        EXPECT_TRUE(titleKeys.insert(char(std::tolower(title[title.find('&') + 1]))).second);
        std::set<char> keys;
        for (const MenuEntry& e : menu.entries) {
            if (e.IsSeparator()) continue;
            const std::string label = e.label;
            const auto amp = label.find('&');
            ASSERT_NE(amp, std::string::npos) << label;
            EXPECT_EQ(label.find('&', amp + 1), std::string::npos) << label;
            EXPECT_TRUE(keys.insert(char(std::tolower(label[amp + 1]))).second) << label;
        }
    }
}

TEST(MenuTableTest, StripMnemonic) {
    EXPECT_EQ(StripMnemonic("&File"), "File");
    EXPECT_EQ(StripMnemonic("E&xit"), "Exit");
    EXPECT_EQ(StripMnemonic("A && B"), "A & B");
    EXPECT_EQ(StripMnemonic("end&"), "end&");
    EXPECT_EQ(StripMnemonic(""), "");
}

}  // namespace
}  // namespace vellor
