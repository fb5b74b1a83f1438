#include "form/select_list_entry.h"

#include "fake_toolkit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fw {
namespace {

struct Case {
    std::string text;
    int entries;
    int expected;
};

std::ostream& operator<<(std::ostream& os, const Case& c)
{
    return os << '"' << c.text << "\" on " << c.entries << " entries";
}

class SelectListEntryTest : public ::testing::TestWithParam<Case> {};

TEST_P(SelectListEntryTest, SelectsTheEntry)
{
    const Case& c = GetParam();
    test::FakeToolkit ui;
    for (int i = 0; i < c.entries; ++i)
        ui.addItem(Ctl::cboPORT, "COM" + std::to_string(i + 1));
    selectListEntry(ui, Ctl::cboPORT, c.text);
    EXPECT_EQ(ui.listIndex(Ctl::cboPORT), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, SelectListEntryTest,
                         ::testing::Values(
                             // in range, whole numbers
                             Case{"3", 10, 3}, Case{" 4", 10, 4}, Case{"\t 4", 10, 4},
                             Case{"0", 1, 0}, Case{"9", 10, 9},
                             // out of range or no number: the first entry
                             Case{"-1", 10, 0}, Case{"10", 10, 0}, Case{"12", 10, 0},
                             Case{"", 10, 0}, Case{"abc", 10, 0}, Case{"1", 1, 0},
                             Case{"-0.2", 10, 0}, Case{"1e999", 10, 0}, Case{"-1e999", 10, 0},
                             // a half goes to the even neighbour
                             Case{"2.5", 10, 2}, Case{"1.5", 10, 2}, Case{"3.7", 10, 4},
                             Case{"0.5", 10, 0}, Case{"3.5", 10, 4}, Case{"2.4999", 10, 2},
                             // the number ends where the text stops being one
                             Case{"3abc", 10, 3}, Case{"5 6", 10, 5}, Case{"+2", 10, 2},
                             Case{".5e1", 10, 5}, Case{"2e", 10, 2}, Case{"1e-999", 10, 0},
                             Case{"3.", 10, 3}, Case{".", 10, 0}, Case{"-", 10, 0},
                             // no other notations than decimal
                             Case{"inf", 10, 0}, Case{"nan", 10, 0}, Case{"0x5", 10, 0},
                             // below n but nearest to n: the last entry, the nearest one there is
                             Case{"9.6", 10, 9}, Case{"9.5", 10, 9}, Case{"9.999", 10, 9},
                             Case{"0.7", 1, 0}));

TEST(SelectListEntry, RunsTheListsHandler)
{
    struct Events : ToolkitEvents {
        void optionClicked(Ctl) override {}
        void listClicked(Ctl list) override { clicked.push_back(list); }
        std::vector<Ctl> clicked;
    } events;
    test::FakeToolkit ui;
    ui.setEvents(&events);
    ui.addItem(Ctl::CboUSB, "USB001");
    selectListEntry(ui, Ctl::CboUSB, "7");
    EXPECT_EQ(events.clicked, std::vector<Ctl>{Ctl::CboUSB});
    EXPECT_EQ(ui.listIndex(Ctl::CboUSB), 0);
}

TEST(SelectListEntry, LeavesAnEmptyListAlone)
{
    test::FakeToolkit ui;
    selectListEntry(ui, Ctl::cboPORT, "0");
    EXPECT_EQ(ui.listIndex(Ctl::cboPORT), -1);
}

} // namespace
} // namespace fw
