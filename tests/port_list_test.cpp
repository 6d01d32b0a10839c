#include "ui/port_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PortListTest, PortNames) {
    const struct {
        const char* name;
        std::int32_t index;
    } rows[] = {
        {"COM1", 0},  {"com12", 11},  {"Com207", 206}, {"COM9", 8}, {"COM208", -1},
        {"COM0", -1}, {"COM012", -1}, {"COM1000", -1}, {"COM", -1}, {"COM12 ", -1},
        {"LPT1", -1}, {"COMx", -1},   {"", -1},        {"CO", -1},  {nullptr, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name ? row.name : "null");
        EXPECT_EQ(portIndexFromName(row.name), row.index);
    }
}

std::vector<std::string> texts(const std::vector<PresentPort>& present, std::int32_t saved,
                               std::size_t capacity = 207, std::int32_t chosen = -1) {
    std::vector<PortListItem> items(capacity);
    std::size_t count = composePortList(present.data(), present.size(), saved,
                                        chosen < 0 ? saved : chosen, items.data(), items.size());
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < count; ++i) {
        // The item's port is the one its text names.
        std::string text = items[i].text;
        std::string name = text.substr(0, text.find(' '));
        EXPECT_EQ(portIndexFromName(name.c_str()), items[i].index) << text;
        shown.push_back(text);
    }
    return shown;
}

std::vector<std::string> nine() {
    std::vector<std::string> shown;
    for (int n = 1; n <= 9; ++n) {
        shown.push_back("COM" + std::to_string(n));
    }
    return shown;
}

// COM1 to COM9 always; above them the present ports and the saved one, in
// number order, each once; present ones with their devices' names.
TEST(PortListTest, Items) {
    auto withItems = [](std::vector<std::string> shown, std::size_t at,
                        std::vector<std::string> more) {
        shown.insert(shown.begin() + static_cast<long>(at), more.begin(), more.end());
        return shown;
    };
    std::vector<std::string> expected = nine();
    EXPECT_EQ(texts({}, 0), expected);
    EXPECT_EQ(texts({}, 11), withItems(nine(), 9, {"COM12"}));
    EXPECT_EQ(texts({{11, "USB Serial Port (COM12)"}}, 11),
              withItems(nine(), 9, {"COM12 - USB Serial Port"}));
    EXPECT_EQ(texts({{19, ""}, {11, "USB Serial Port (COM12)"}}, 206),
              withItems(nine(), 9, {"COM12 - USB Serial Port", "COM20", "COM207"}));
    expected = nine();
    expected[2] = "COM3 - Communications Port";
    EXPECT_EQ(texts({{2, "Communications Port (COM3)"}}, 0), expected);
    // A name that only looks like it ends in the port keeps its whole text.
    expected[2] = "COM3 - Bluetooth link (COM30)";
    EXPECT_EQ(texts({{2, "Bluetooth link (COM30)"}}, 0), expected);
    expected[2] = "COM3 - (COM3)";
    EXPECT_EQ(texts({{2, "(COM3)"}}, 0), expected);
    // Read again after another port was chosen: the saved one stays listed.
    EXPECT_EQ(texts({}, 39, 207, 2), withItems(nine(), 9, {"COM40"}));
    EXPECT_EQ(texts({}, 2, 207, 39), withItems(nine(), 9, {"COM40"}));
    // Never more items than there is room for.
    expected = nine();
    expected.resize(4);
    EXPECT_EQ(texts({{11, ""}}, 15, 4), expected);
}

TEST(PortListTest, PresentPortsAreGatheredOnce) {
    std::vector<PresentPort> ports(3);
    std::size_t count = 0;
    addPresentPort(ports.data(), &count, ports.size(), "COM12", "");
    addPresentPort(ports.data(), &count, ports.size(), "LPT1", "Printer Port (LPT1)");
    addPresentPort(ports.data(), &count, ports.size(), "COM12", "USB Serial Port (COM12)");
    addPresentPort(ports.data(), &count, ports.size(), "COM12", "Another");
    addPresentPort(ports.data(), &count, ports.size(), "COM3", std::string(81, 'n').c_str());
    addPresentPort(ports.data(), &count, ports.size(), "COM4", nullptr);
    addPresentPort(ports.data(), &count, ports.size(), "COM5", "Full");
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(ports[0].index, 11);
    EXPECT_STREQ(ports[0].deviceName, "USB Serial Port (COM12)");
    EXPECT_EQ(ports[1].index, 2);
    EXPECT_STREQ(ports[1].deviceName, ""); // too long to show whole
    EXPECT_EQ(ports[2].index, 3);
}

TEST(PortListTest, FirstStartSelectsTheOnePresentPort) {
    const PresentPort one[] = {{11, "USB Serial Port (COM12)"}};
    const PresentPort two[] = {{0, ""}, {11, ""}};
    EXPECT_EQ(initialPortSelection(0, true, one, 1), 11);
    EXPECT_EQ(initialPortSelection(0, false, one, 1), 0);
    EXPECT_EQ(initialPortSelection(0, true, two, 2), 0);
    EXPECT_EQ(initialPortSelection(4, true, nullptr, 0), 4);
}

} // namespace
