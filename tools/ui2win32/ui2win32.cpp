// ui2win32: turns a Qt Designer form (.ui) into a C++ table of plain Win32
// controls, so the Windows window is laid out from the same stored design as
// the Qt one. Runs on the build machine; needs no Qt.
//
//   ui2win32 FORM.ui OUTPUT.h
//
// Win32 keeps one order per parent for both painting and Tab: the first
// child is drawn in front and is the first Tab stop. The table lists each
// container's children in an order that keeps the design's tab order and,
// where two siblings overlap, draws the design's front one in front. A design
// that no such order can realise is refused.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& why)
{
    throw std::runtime_error(why);
}

// --- a small XML reader: elements, attributes, text; enough for .ui files ---

struct Node {
    std::string tag;
    std::map<std::string, std::string> attrs;
    std::string text;
    std::vector<Node> children;

    const Node* child(const std::string& t) const
    {
        for (const Node& c : children)
            if (c.tag == t)
                return &c;
        return nullptr;
    }
    std::string attr(const std::string& k) const
    {
        auto it = attrs.find(k);
        return it == attrs.end() ? std::string() : it->second;
    }
};

void appendUtf8(std::string& out, unsigned long cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x110000) {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        fail("character reference out of range");
    }
}

std::string decode(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        const std::size_t semi = s.find(';', i);
        if (semi == std::string::npos)
            fail("unterminated entity");
        const std::string e = s.substr(i + 1, semi - i - 1);
        if (e == "amp")
            out += '&';
        else if (e == "lt")
            out += '<';
        else if (e == "gt")
            out += '>';
        else if (e == "quot")
            out += '"';
        else if (e == "apos")
            out += '\'';
        else if (e.size() > 1 && e[0] == '#') {
            const bool hex = e[1] == 'x' || e[1] == 'X';
            const std::string digits = e.substr(hex ? 2 : 1);
            if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF"
                                                               : "0123456789") != std::string::npos)
                fail("bad character reference &" + e + ";");
            appendUtf8(out, std::stoul(digits, nullptr, hex ? 16 : 10));
        } else {
            fail("unknown entity &" + e + ";");
        }
        i = semi;
    }
    return out;
}

class XmlReader {
public:
    explicit XmlReader(std::string text) : s_(std::move(text)) {}

    Node document()
    {
        skipMisc();
        Node root = element();
        skipMisc();
        if (at_ != s_.size())
            fail("content after the root element");
        return root;
    }

private:
    bool startsWith(const char* p) const
    {
        return s_.compare(at_, std::char_traits<char>::length(p), p) == 0;
    }
    void skipSpace()
    {
        while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_])))
            ++at_;
    }
    void skipPast(const char* end)
    {
        const std::size_t p = s_.find(end, at_);
        if (p == std::string::npos)
            fail(std::string("missing ") + end);
        at_ = p + std::char_traits<char>::length(end);
    }
    // Declarations, comments and blanks between elements.
    void skipMisc()
    {
        for (;;) {
            skipSpace();
            if (startsWith("<?"))
                skipPast("?>");
            else if (startsWith("<!--"))
                skipPast("-->");
            else if (startsWith("<!"))
                skipPast(">");
            else
                return;
        }
    }
    std::string name()
    {
        const std::size_t start = at_;
        while (at_ < s_.size() &&
               (std::isalnum(static_cast<unsigned char>(s_[at_])) || s_[at_] == '_' ||
                s_[at_] == '-' || s_[at_] == ':' || s_[at_] == '.'))
            ++at_;
        if (at_ == start)
            fail("name expected at offset " + std::to_string(at_));
        return s_.substr(start, at_ - start);
    }
    Node element()
    {
        if (!startsWith("<"))
            fail("element expected at offset " + std::to_string(at_));
        ++at_;
        Node n;
        n.tag = name();
        for (;;) {
            skipSpace();
            if (startsWith("/>")) {
                at_ += 2;
                return n;
            }
            if (startsWith(">")) {
                ++at_;
                break;
            }
            const std::string key = name();
            skipSpace();
            if (!startsWith("="))
                fail("= expected after " + key);
            ++at_;
            skipSpace();
            const char quote = at_ < s_.size() ? s_[at_] : '\0';
            if (quote != '"' && quote != '\'')
                fail("quoted value expected for " + key);
            const std::size_t end = s_.find(quote, at_ + 1);
            if (end == std::string::npos)
                fail("unterminated value of " + key);
            n.attrs[key] = decode(s_.substr(at_ + 1, end - at_ - 1));
            at_ = end + 1;
        }
        std::string text;
        for (;;) {
            if (at_ >= s_.size())
                fail("unterminated element <" + n.tag + ">");
            if (startsWith("</")) {
                at_ += 2;
                if (name() != n.tag)
                    fail("mismatched end of <" + n.tag + ">");
                skipSpace();
                if (!startsWith(">"))
                    fail("> expected");
                ++at_;
                break;
            }
            if (startsWith("<!--")) {
                skipPast("-->");
            } else if (startsWith("<![CDATA[")) {
                at_ += 9;
                const std::size_t end = s_.find("]]>", at_);
                if (end == std::string::npos)
                    fail("unterminated CDATA");
                text += s_.substr(at_, end - at_);
                at_ = end + 3;
            } else if (startsWith("<")) {
                n.children.push_back(element());
            } else {
                const std::size_t end = s_.find('<', at_);
                text += decode(s_.substr(at_, end - at_));
                at_ = end == std::string::npos ? s_.size() : end;
            }
        }
        // Only leaf elements carry a value; blanks between children are layout.
        if (n.children.empty())
            n.text = text;
        return n;
    }

    std::string s_;
    std::size_t at_ = 0;
};

// --- the design as Win32 controls ---

struct Font {
    std::string family;
    int pointSize = 0;
    bool bold = false;
};

struct Control {
    std::string name;
    std::string designClass;
    std::string kind;
    std::string container; // "" for the window's client area
    bool placed = false;
    int x = 0, y = 0, width = 0, height = 0;
    std::string text;
    bool rightAligned = false;
    Font font;
    std::string picture; // file name of the picture a label shows
    bool fillsBackground = false;
    int stacking = 0; // 0: front-most among its container's children
    bool tabStop = false;
    std::vector<std::string> children; // in design (file) order, back first
};

struct MenuItem {
    std::string name;
    int level = 0;
    std::string text;
    std::string shortcut;
    bool separator = false;
};

struct Form {
    std::string name;
    std::string title;
    int width = 0, height = 0;
    Font font;
    std::map<std::string, Control> controls;
    std::vector<std::string> top; // children of the client area, design order
    std::vector<std::string> tabOrder;
    std::vector<MenuItem> menu;
    std::vector<std::string> creation; // the table's order
};

const Node* property(const Node& widget, const std::string& name)
{
    for (const Node& c : widget.children)
        if (c.tag == "property" && c.attr("name") == name)
            return &c;
    return nullptr;
}

std::string stringProperty(const Node& widget, const std::string& name)
{
    const Node* p = property(widget, name);
    if (!p || p->children.empty())
        return {};
    return p->children.front().text;
}

int number(const Node& n, const char* tag)
{
    const Node* c = n.child(tag);
    if (!c)
        return 0;
    try {
        return std::stoi(c->text);
    } catch (const std::exception&) {
        fail(std::string("not a number in <") + tag + ">: " + c->text);
    }
}

Font fontOf(const Node& widget, const Font& inherited)
{
    Font f = inherited;
    const Node* p = property(widget, "font");
    if (!p)
        return f;
    const Node* font = p->child("font");
    if (!font)
        return f;
    if (const Node* fam = font->child("family"))
        f.family = fam->text;
    if (font->child("pointsize"))
        f.pointSize = number(*font, "pointsize");
    if (const Node* b = font->child("bold"))
        f.bold = b->text == "true";
    return f;
}

std::string kindOf(const std::string& designClass, bool hasPicture)
{
    if (designClass == "QGroupBox")
        return "Frame";
    if (designClass == "QLabel")
        return hasPicture ? "Picture" : "Label";
    if (designClass == "QPushButton")
        return "Button";
    if (designClass == "QRadioButton")
        return "Option";
    if (designClass == "QComboBox")
        return "List";
    if (designClass == "QLineEdit")
        return "TextBox";
    if (designClass == "QProgressBar")
        return "ProgressBar";
    fail("no Win32 control for " + designClass);
}

void readControl(Form& form, const Node& w, const std::string& container, const Font& inherited,
                 std::vector<std::string>& siblings)
{
    Control c;
    c.name = w.attr("name");
    c.designClass = w.attr("class");
    c.container = container;
    if (c.name.empty())
        fail("a widget without a name");
    if (form.controls.count(c.name))
        fail("two widgets named " + c.name);
    if (const Node* g = property(w, "geometry"); g && g->child("rect")) {
        const Node& r = *g->child("rect");
        c.placed = true;
        c.x = number(r, "x");
        c.y = number(r, "y");
        c.width = number(r, "width");
        c.height = number(r, "height");
    }
    c.text = property(w, "title") ? stringProperty(w, "title") : stringProperty(w, "text");
    c.rightAligned = stringProperty(w, "alignment").find("Qt::AlignRight") != std::string::npos;
    c.font = fontOf(w, inherited);
    c.fillsBackground = stringProperty(w, "autoFillBackground") == "true";
    if (const Node* p = property(w, "pixmap"); p && p->child("pixmap")) {
        const std::string path = p->child("pixmap")->text;
        c.picture = path.substr(path.find_last_of("/:") + 1);
    }
    c.kind = kindOf(c.designClass, !c.picture.empty());
    if (c.kind == "List" && stringProperty(w, "editable") == "true")
        fail(c.name + ": a list that takes typed text has no drop-down list equivalent");
    if (!c.placed)
        fail(c.name + " has no position");
    siblings.push_back(c.name);
    const std::string name = c.name;
    form.controls[name] = c;
    for (const Node& child : w.children)
        if (child.tag == "widget") {
            if (c.kind != "Frame")
                fail(name + " holds widgets but is no frame");
            readControl(form, child, name, c.font, form.controls[name].children);
        }
}

void readMenu(Form& form, const Node& top)
{
    std::map<std::string, const Node*> actions;
    for (const Node& c : top.children)
        if (c.tag == "action")
            actions[c.attr("name")] = &c;
    const Node* bar = nullptr;
    for (const Node& c : top.children)
        if (c.tag == "widget" && c.attr("class") == "QMenuBar")
            bar = &c;
    if (!bar)
        return;
    std::map<std::string, const Node*> menus;
    for (const Node& c : bar->children)
        if (c.tag == "widget" && c.attr("class") == "QMenu")
            menus[c.attr("name")] = &c;
    for (const Node& entry : bar->children) {
        if (entry.tag != "addaction")
            continue;
        const auto m = menus.find(entry.attr("name"));
        if (m == menus.end())
            fail("the menu bar holds " + entry.attr("name") + ", which is no menu");
        form.menu.push_back({m->first, 0, stringProperty(*m->second, "title"), "", false});
        for (const Node& item : m->second->children) {
            if (item.tag != "addaction")
                continue;
            const std::string name = item.attr("name");
            if (name == "separator") {
                form.menu.push_back({"", 1, "", "", true});
                continue;
            }
            const auto a = actions.find(name);
            if (a == actions.end())
                fail("menu item " + name + " has no action");
            form.menu.push_back({name, 1, stringProperty(*a->second, "text"),
                                 stringProperty(*a->second, "shortcut"), false});
        }
    }
}

Form readForm(const Node& ui)
{
    if (ui.tag != "ui")
        fail("not a form design");
    const Node* top = ui.child("widget");
    if (!top)
        fail("the design holds no widget");
    Form form;
    form.name = top->attr("name");
    form.title = stringProperty(*top, "windowTitle");
    if (const Node* g = property(*top, "geometry"); g && g->child("rect")) {
        form.width = number(*g->child("rect"), "width");
        form.height = number(*g->child("rect"), "height");
    }
    form.font = fontOf(*top, Font{"", 0, false});
    const Node* client = nullptr;
    for (const Node& c : top->children)
        if (c.tag == "widget" && c.attr("class") == "QWidget")
            client = &c;
    if (!client)
        fail("the window has no client area");
    for (const Node& w : client->children)
        if (w.tag == "widget")
            readControl(form, w, "", form.font, form.top);
    readMenu(form, *top);
    if (const Node* tabs = ui.child("tabstops"))
        for (const Node& t : tabs->children)
            if (t.tag == "tabstop")
                form.tabOrder.push_back(t.text);
    return form;
}

bool overlap(const Control& a, const Control& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

// Orders one container's children (given in design order, back first) for
// Win32, then the children of each frame among them.
void order(Form& form, const std::vector<std::string>& children,
           const std::map<std::string, int>& tabAt)
{
    const std::size_t n = children.size();
    std::vector<Control*> c(n);
    for (std::size_t i = 0; i < n; ++i) {
        c[i] = &form.controls[children[i]];
        c[i]->stacking = static_cast<int>(n - 1 - i);
    }
    // The first tab stop inside each child, the child itself included.
    std::vector<int> key(n, -1);
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::string> todo{children[i]};
        while (!todo.empty()) {
            const std::string name = todo.back();
            todo.pop_back();
            if (auto t = tabAt.find(name); t != tabAt.end() && (key[i] < 0 || t->second < key[i]))
                key[i] = t->second;
            for (const std::string& k : form.controls[name].children)
                todo.push_back(k);
        }
    }
    // before[i][j]: i must come before j.
    std::vector<std::vector<bool>> before(n, std::vector<bool>(n, false));
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) {
            if (i == j)
                continue;
            if (key[i] >= 0 && key[j] >= 0 && key[i] < key[j])
                before[i][j] = true;
            if (overlap(*c[i], *c[j]) && c[i]->stacking < c[j]->stacking)
                before[i][j] = true;
        }
    std::vector<bool> done(n, false);
    for (std::size_t placed = 0; placed < n; ++placed) {
        int pick = -1;
        for (std::size_t i = 0; i < n; ++i) {
            if (done[i])
                continue;
            bool ready = true;
            for (std::size_t j = 0; j < n && ready; ++j)
                if (!done[j] && before[j][i])
                    ready = false;
            if (!ready)
                continue;
            // Tab stops first, in tab order; the rest front first.
            const auto rank = [&](std::size_t k) {
                return std::pair{key[k] < 0 ? 1 << 30 : key[k], c[k]->stacking};
            };
            if (pick < 0 || rank(i) < rank(static_cast<std::size_t>(pick)))
                pick = static_cast<int>(i);
        }
        if (pick < 0) {
            std::string names;
            for (std::size_t i = 0; i < n; ++i)
                if (!done[i])
                    names += " " + children[i];
            fail("no Win32 order keeps both the tab order and the stacking of" + names);
        }
        done[static_cast<std::size_t>(pick)] = true;
        form.creation.push_back(children[static_cast<std::size_t>(pick)]);
        const Control& chosen = *c[static_cast<std::size_t>(pick)];
        if (!chosen.children.empty())
            order(form, chosen.children, tabAt);
    }
}

void arrange(Form& form)
{
    std::map<std::string, int> tabAt;
    for (std::size_t i = 0; i < form.tabOrder.size(); ++i) {
        const std::string& name = form.tabOrder[i];
        const auto it = form.controls.find(name);
        if (it == form.controls.end())
            fail("tab stop " + name + " is no control");
        const std::string& k = it->second.kind;
        if (k != "Button" && k != "Option" && k != "List" && k != "TextBox")
            fail("tab stop " + name + " cannot take the focus");
        if (!tabAt.emplace(name, static_cast<int>(i)).second)
            fail("tab stop " + name + " listed twice");
        it->second.tabStop = true;
    }
    order(form, form.top, tabAt);
    // Win32 visits the stops in creation order: it must be the design's.
    std::vector<std::string> visited;
    for (const std::string& name : form.creation)
        if (form.controls[name].tabStop)
            visited.push_back(name);
    if (visited != form.tabOrder)
        fail("the tab order leaves a frame and comes back to it, which Win32 cannot do");
}

// A C++ string literal; bytes outside printable ASCII as octal escapes.
std::string literal(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char ch : s) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch < 0x20 || ch > 0x7E) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", ch);
            out += buf;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out + "\"";
}

std::string header(const Form& form, const std::string& source)
{
    std::map<std::string, int> index;
    for (std::size_t i = 0; i < form.creation.size(); ++i)
        index[form.creation[i]] = static_cast<int>(i);
    std::ostringstream h;
    h << "// Generated by ui2win32 from " << source << ": do not edit.\n"
      << "#pragma once\n\n"
      << "namespace fw::layout {\n\n"
      << "enum class Kind { Frame, Label, Picture, Button, Option, List, TextBox, ProgressBar "
         "};\n\n"
      << "struct Control {\n"
      << "    const char* name;\n"
      << "    const char* designClass; // the Qt widget class in the design\n"
      << "    Kind kind;\n"
      << "    int container;           // index of its frame here; -1: the client area\n"
      << "    int x, y, width, height; // pixels in the container\n"
      << "    const char* text;        // caption, UTF-8\n"
      << "    bool rightAligned;\n"
      << "    const char* fontFamily;\n"
      << "    int fontPoints;\n"
      << "    bool bold;\n"
      << "    const char* picture;     // file name of the picture shown, or \"\"\n"
      << "    bool fillsBackground;    // paints its own background (a button: in its colour)\n"
      << "    int stacking;            // 0: drawn over its siblings in the design\n"
      << "    bool tabStop;\n"
      << "};\n\n"
      << "struct MenuItem {\n"
      << "    const char* name;\n"
      << "    int level; // 0: on the menu bar; 1: an item of the menu before\n"
      << "    const char* text;\n"
      << "    const char* shortcut;\n"
      << "    bool separator;\n"
      << "};\n\n"
      << "inline constexpr const char* kFormName = " << literal(form.name) << ";\n"
      << "inline constexpr const char* kTitle = " << literal(form.title) << ";\n"
      << "inline constexpr int kClientWidth = " << form.width << ";\n"
      << "inline constexpr int kClientHeight = " << form.height << ";\n"
      << "inline constexpr const char* kFontFamily = " << literal(form.font.family) << ";\n"
      << "inline constexpr int kFontPoints = " << form.font.pointSize << ";\n\n"
      << "// In creation order: a frame before what it holds; within one container\n"
      << "// the first is drawn in front and is the first tab stop.\n"
      << "inline constexpr Control kControls[] = {\n";
    for (const std::string& name : form.creation) {
        const Control& c = form.controls.at(name);
        h << "    {" << literal(c.name) << ", " << literal(c.designClass) << ", Kind::" << c.kind
          << ", " << (c.container.empty() ? -1 : index.at(c.container)) << ", " << c.x << ", "
          << c.y << ", " << c.width << ", " << c.height << ", " << literal(c.text) << ", "
          << (c.rightAligned ? "true" : "false") << ", " << literal(c.font.family) << ", "
          << c.font.pointSize << ", " << (c.font.bold ? "true" : "false") << ", "
          << literal(c.picture) << ", " << (c.fillsBackground ? "true" : "false") << ", "
          << c.stacking << ", " << (c.tabStop ? "true" : "false") << "},\n";
    }
    h << "};\n\n"
      << "inline constexpr const char* kTabOrder[] = {\n";
    for (const std::string& t : form.tabOrder)
        h << "    " << literal(t) << ",\n";
    h << "};\n\n"
      << "inline constexpr MenuItem kMenu[] = {\n";
    for (const MenuItem& m : form.menu)
        h << "    {" << literal(m.name) << ", " << m.level << ", " << literal(m.text) << ", "
          << literal(m.shortcut) << ", " << (m.separator ? "true" : "false") << "},\n";
    h << "};\n\n"
      << "} // namespace fw::layout\n";
    return h.str();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: ui2win32 FORM.ui OUTPUT.h\n", stderr);
        return 2;
    }
    try {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in)
            fail("cannot read the file");
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        Form form = readForm(XmlReader(text).document());
        arrange(form);
        std::string source = argv[1];
        source = source.substr(source.find_last_of('/') + 1);
        const std::string out = header(form, source);
        std::ofstream o(argv[2], std::ios::binary | std::ios::trunc);
        o << out;
        if (!o.flush())
            fail(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ui2win32: %s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
