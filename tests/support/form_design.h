#pragma once
// The stored design of a window (a Qt Designer .ui file) as plain data, so a
// test can hold a live window against the design itself instead of a copy of
// its numbers.

#include <string>
#include <vector>

namespace fw::test {

struct DesignedControl {
    std::string name;
    std::string kind;                        // the widget class, "QPushButton"
    std::string container;                   // the name of the widget it sits in
    bool placed = false;                     // has a geometry
    int x = 0, y = 0, width = 0, height = 0; // pixels, in the container
    std::string text;                        // caption: the text or title property
    bool rightAligned = false;
    std::string buddy;
    std::string accessibleName;
};

struct FormDesign {
    std::string name;  // the top widget
    std::string title; // windowTitle
    int width = 0, height = 0;
    // Every widget below the top one, in file order: within a container the
    // later ones are drawn over the earlier ones.
    std::vector<DesignedControl> controls;
    std::vector<std::string> tabOrder;
    std::string error; // empty when the file was read

    const DesignedControl* find(const std::string& name) const;
    // The names of the controls directly in `container`, in file order.
    std::vector<std::string> childrenOf(const std::string& container) const;
};

FormDesign readFormDesign(const std::string& uiFile);

// The program's own Form1.ui, read once.
const FormDesign& form1Design();

} // namespace fw::test
