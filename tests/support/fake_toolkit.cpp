#include "fake_toolkit.h"

namespace fw::test {

FakeToolkit::FakeToolkit()
{
    // Starting properties of the stored design.
    setText(Ctl::Label3, "0/0");
    setText(Ctl::lblSize, "Size Total: ");
    setText(Ctl::lblFileName, "fileName ");
    setText(Ctl::lblFileType, "file Type: Font");
    setText(Ctl::TextEthernet, "192.168.10.10");
    setBackColour(Ctl::cmdSTART, kStartColourInitial);
}

const FakeToolkit::Control& FakeToolkit::ctl(Ctl c) const
{
    static const Control none;
    auto it = controls_.find(c);
    return it == controls_.end() ? none : it->second;
}

void FakeToolkit::select(Ctl option)
{
    for (Ctl o : {Ctl::OptSerial, Ctl::OptUSB, Ctl::OptEthernet})
        ctl(o).selected = (o == option);
    if (events_)
        events_->optionClicked(option);
}

void FakeToolkit::clearList(Ctl list)
{
    ctl(list).items.clear();
    ctl(list).tips.clear();
    ctl(list).index = -1;
}

void FakeToolkit::addItem(Ctl list, const std::string& text)
{
    ctl(list).items.push_back(text);
    ctl(list).tips.emplace_back();
}

void FakeToolkit::setListIndex(Ctl list, int index)
{
    Control& c = ctl(list);
    c.index = (index >= 0 && index < static_cast<int>(c.items.size())) ? index : -1;
    if (events_)
        events_->listClicked(list);
}

std::string FakeToolkit::listText(Ctl list) const
{
    const Control& c = ctl(list);
    return c.index < 0 ? std::string() : c.items[static_cast<size_t>(c.index)];
}

std::string FakeToolkit::itemText(Ctl list, int index) const
{
    const Control& c = ctl(list);
    if (index < 0 || index >= static_cast<int>(c.items.size()))
        return {};
    return c.items[static_cast<size_t>(index)];
}

void FakeToolkit::setItemToolTip(Ctl list, int index, const std::string& tip)
{
    Control& c = ctl(list);
    if (index >= 0 && index < static_cast<int>(c.tips.size()))
        c.tips[static_cast<size_t>(index)] = tip;
}

void FakeToolkit::processEvents()
{
    ++processEventsCalls;
    if (onProcessEvents)
        onProcessEvents();
}

void FakeToolkit::processWindowRequests()
{
    ++processWindowRequestsCalls;
    if (onProcessWindowRequests)
        onProcessWindowRequests();
}

void FakeToolkit::messageBox(const std::string& text, bool exclamation, const std::string& title)
{
    boxes.push_back({text, exclamation, title, pointer_});
    if (onMessageBox)
        onMessageBox(boxes.back());
}

OpenDialogResult FakeToolkit::showOpenDialog(const OpenDialogSetup& setup)
{
    dialogsShown.push_back(setup);
    if (dialogAnswers.empty())
        return {};
    OpenDialogResult r = dialogAnswers.front();
    dialogAnswers.pop_front();
    return r;
}

std::vector<std::string> FakeToolkit::boxTexts() const
{
    std::vector<std::string> out;
    for (const auto& b : boxes)
        out.push_back(b.text);
    return out;
}

} // namespace fw::test
