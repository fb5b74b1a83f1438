// The Win32 control table that ui2win32 generates from Form1.ui, held
// against the design as the Qt side reads it: the .ui reader of the window
// tests and the Qt window built from the same file.
#include "form1_layout.h"
#include "form_design.h"
#include "ui_Form1.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using fw::test::DesignedControl;
using fw::test::form1Design;

std::string containerName(const fw::layout::Control& c)
{
    return c.container < 0 ? std::string("centralwidget") : fw::layout::kControls[c.container].name;
}

int tableIndex(const std::string& name)
{
    for (std::size_t i = 0; i < std::size(fw::layout::kControls); ++i)
        if (name == fw::layout::kControls[i].name)
            return static_cast<int>(i);
    return -1;
}

TEST(Form1LayoutTable, HoldsEveryControlWhereTheDesignPutsIt)
{
    ASSERT_EQ(form1Design().error, "");
    EXPECT_EQ(std::string(fw::layout::kFormName), form1Design().name);
    EXPECT_EQ(std::string(fw::layout::kTitle), form1Design().title);
    EXPECT_EQ(fw::layout::kClientWidth, form1Design().width);
    EXPECT_EQ(fw::layout::kClientHeight, form1Design().height);
    // The controls placed in the client area; the menu is held against the Qt window below.
    std::size_t placed = 0;
    for (const DesignedControl& d : form1Design().controls) {
        if (!d.placed)
            continue;
        ++placed;
        SCOPED_TRACE(d.name);
        const int i = tableIndex(d.name);
        ASSERT_GE(i, 0);
        const fw::layout::Control& c = fw::layout::kControls[i];
        EXPECT_EQ(c.designClass, d.kind);
        EXPECT_EQ(containerName(c), d.container);
        EXPECT_EQ(c.container < i, true); // a frame exists before what it holds
        EXPECT_EQ((std::vector{c.x, c.y, c.width, c.height}),
                  (std::vector{d.x, d.y, d.width, d.height}));
        EXPECT_EQ(c.text, d.text);
        EXPECT_EQ(c.rightAligned, d.rightAligned);
    }
    EXPECT_EQ(std::size(fw::layout::kControls), placed);
}

TEST(Form1LayoutTable, FontsAndMenuAreThoseOfTheQtWindow)
{
    QMainWindow window;
    Ui::Form1 ui;
    ui.setupUi(&window);
    EXPECT_EQ(window.font().family().toStdString(), fw::layout::kFontFamily);
    EXPECT_EQ(window.font().pointSize(), fw::layout::kFontPoints);
    for (const fw::layout::Control& c : fw::layout::kControls) {
        SCOPED_TRACE(c.name);
        auto* w = window.findChild<QWidget*>(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->font().family().toStdString(), c.fontFamily);
        EXPECT_EQ(w->font().pointSize(), c.fontPoints);
        EXPECT_EQ(w->font().bold(), c.bold);
        EXPECT_EQ(w->autoFillBackground(), c.fillsBackground);
    }

    std::vector<std::string> qtMenu, table;
    for (QAction* top : ui.menubar->actions()) {
        qtMenu.push_back("0 " + top->menu()->objectName().toStdString() + " " +
                         top->text().toStdString());
        for (QAction* a : top->menu()->actions())
            qtMenu.push_back(a->isSeparator() ? std::string("1 -")
                                              : "1 " + a->objectName().toStdString() + " " +
                                                    a->text().toStdString() + " " +
                                                    a->shortcut().toString().toStdString());
    }
    for (const fw::layout::MenuItem& m : fw::layout::kMenu) {
        if (m.separator)
            table.push_back("1 -");
        else if (m.level == 0)
            table.push_back(std::string("0 ") + m.name + " " + m.text);
        else
            table.push_back(std::string("1 ") + m.name + " " + m.text + " " + m.shortcut);
    }
    EXPECT_EQ(table, qtMenu);
}

TEST(Form1LayoutTable, OrderKeepsTheTabOrderAndTheStacking)
{
    // Win32 tabs through the controls in the order they were created, and
    // draws the first created in front.
    const std::vector<std::string> tabOrder(std::begin(fw::layout::kTabOrder),
                                            std::end(fw::layout::kTabOrder));
    EXPECT_EQ(tabOrder, form1Design().tabOrder);
    std::vector<std::string> stops;
    for (const fw::layout::Control& c : fw::layout::kControls)
        if (c.tabStop)
            stops.push_back(c.name);
    EXPECT_EQ(stops, form1Design().tabOrder);

    for (const DesignedControl& a : form1Design().controls) {
        const std::vector<std::string> siblings = form1Design().childrenOf(a.container);
        const auto at = [&](const std::string& n) {
            return std::find(siblings.begin(), siblings.end(), n);
        };
        for (const DesignedControl& b : form1Design().controls) {
            if (b.container != a.container || &a == &b)
                continue;
            const bool overlap = a.x < b.x + b.width && b.x < a.x + a.width &&
                                 a.y < b.y + b.height && b.y < a.y + a.height;
            // In the design the later one is drawn over the earlier one.
            if (overlap && at(a.name) > at(b.name)) {
                EXPECT_LT(tableIndex(a.name), tableIndex(b.name)) << a.name << " over " << b.name;
            }
        }
    }
}

// A design around `body` (widgets inside the client area) and `tabs`.
std::string form(const std::string& body, const std::vector<std::string>& tabs)
{
    std::string ui =
        "<?xml version=\"1.0\"?>\n<ui version=\"4.0\"><class>F</class>"
        "<widget class=\"QMainWindow\" name=\"F\"><widget class=\"QWidget\" name=\"c\">" +
        body + "</widget></widget><tabstops>";
    for (const std::string& t : tabs)
        ui += "<tabstop>" + t + "</tabstop>";
    return ui + "</tabstops></ui>\n";
}

std::string widget(const char* cls, const char* name, int x, int y, const std::string& inner = {})
{
    return std::string("<widget class=\"") + cls + "\" name=\"" + name +
           "\"><property name=\"geometry\"><rect><x>" + std::to_string(x) + "</x><y>" +
           std::to_string(y) + "</y><width>50</width><height>20</height></rect></property>" +
           inner + "</widget>";
}

TEST(Ui2Win32, RefusesADesignWin32CannotShowAsDesigned)
{
    struct Case {
        const char* what;
        std::string ui;
        const char* message; // empty: accepted
    };
    const std::string frameWithTwo =
        "<widget class=\"QGroupBox\" name=\"f\"><property name=\"geometry\"><rect><x>0</x><y>0</y>"
        "<width>200</width><height>100</height></rect></property>" +
        widget("QPushButton", "a", 0, 0) + widget("QPushButton", "b", 60, 0) + "</widget>";
    const Case cases[] = {
        {"tab order leaves a frame and comes back",
         form(frameWithTwo + widget("QPushButton", "out", 300, 0), {"a", "out", "b"}),
         "leaves a frame"},
        {"the same with the frame's stops together",
         form(frameWithTwo + widget("QPushButton", "out", 300, 0), {"a", "b", "out"}), ""},
        {"the front one of two overlapping buttons tabbed to second",
         form(widget("QPushButton", "back", 0, 0) + widget("QPushButton", "front", 10, 5),
              {"back", "front"}),
         "no Win32 order"},
        {"the same without overlapping",
         form(widget("QPushButton", "back", 0, 0) + widget("QPushButton", "front", 100, 0),
              {"back", "front"}),
         ""},
        {"a list that takes typed text",
         form(widget("QComboBox", "l", 0, 0,
                     "<property name=\"editable\"><bool>true</bool></property>"),
              {"l"}),
         "drop-down"},
        {"a kind of control without a Win32 one", form(widget("QSlider", "s", 0, 0), {}),
         "no Win32 control"},
        {"a tab stop that is no control", form(widget("QPushButton", "a", 0, 0), {"a", "gone"}),
         "gone"},
        {"a damaged file", "<ui><widget class=\"QMainWindow\" name=\"F\">", "unterminated"},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string in = dir.filePath("f.ui").toStdString(),
                          out = dir.filePath("f.h").toStdString();
        std::ofstream(in) << c.ui;
        const std::string command = std::string(UI2WIN32) + " " + in + " " + out + " 2>&1";
        FILE* p = popen(command.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string said;
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            said += buf;
        const int status = pclose(p);
        if (*c.message) {
            EXPECT_NE(status, 0);
            EXPECT_NE(said.find(c.message), std::string::npos) << said;
        } else {
            EXPECT_EQ(status, 0) << said;
        }
    }
}

} // namespace
