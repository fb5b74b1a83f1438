#include "form_design.h"

#include <QFile>
#include <QXmlStreamReader>

namespace fw::test {

namespace {

// Reads the value of the <property> the reader stands on. Kinds this check
// has no use for are skipped.
void readProperty(QXmlStreamReader& xml, DesignedControl& c, FormDesign& design, bool top)
{
    const QString name = xml.attributes().value("name").toString();
    while (xml.readNextStartElement()) {
        const QStringView kind = xml.name();
        if (kind == u"rect") {
            int v[4] = {};
            while (xml.readNextStartElement()) {
                const QStringView part = xml.name();
                const int n = xml.readElementText().toInt();
                if (part == u"x")
                    v[0] = n;
                else if (part == u"y")
                    v[1] = n;
                else if (part == u"width")
                    v[2] = n;
                else if (part == u"height")
                    v[3] = n;
            }
            if (name == "geometry") {
                if (top) {
                    design.width = v[2];
                    design.height = v[3];
                } else {
                    c.placed = true;
                    c.x = v[0];
                    c.y = v[1];
                    c.width = v[2];
                    c.height = v[3];
                }
            }
        } else if (kind == u"string" || kind == u"cstring" || kind == u"set") {
            const std::string value = xml.readElementText().toStdString();
            if (top && name == "windowTitle")
                design.title = value;
            else if (name == "text" || name == "title")
                c.text = value;
            else if (name == "alignment")
                c.rightAligned = value.find("Qt::AlignRight") != std::string::npos;
            else if (name == "buddy")
                c.buddy = value;
            else if (name == "accessibleName")
                c.accessibleName = value;
        } else {
            xml.skipCurrentElement();
        }
    }
}

void readWidget(QXmlStreamReader& xml, const std::string& container, FormDesign& design, bool top)
{
    DesignedControl c;
    c.name = xml.attributes().value("name").toString().toStdString();
    c.kind = xml.attributes().value("class").toString().toStdString();
    c.container = container;
    std::size_t at = design.controls.size();
    if (top)
        design.name = c.name;
    else
        design.controls.push_back(c);
    while (xml.readNextStartElement()) {
        if (xml.name() == u"property") {
            DesignedControl& self = top ? c : design.controls[at];
            readProperty(xml, self, design, top);
        } else if (xml.name() == u"widget") {
            readWidget(xml, c.name, design, false);
        } else {
            xml.skipCurrentElement();
        }
    }
}

} // namespace

const DesignedControl* FormDesign::find(const std::string& name) const
{
    for (const DesignedControl& c : controls)
        if (c.name == name)
            return &c;
    return nullptr;
}

std::vector<std::string> FormDesign::childrenOf(const std::string& container) const
{
    std::vector<std::string> names;
    for (const DesignedControl& c : controls)
        if (c.container == container)
            names.push_back(c.name);
    return names;
}

FormDesign readFormDesign(const std::string& uiFile)
{
    FormDesign design;
    QFile file(QString::fromStdString(uiFile));
    if (!file.open(QIODevice::ReadOnly)) {
        design.error = "cannot read " + uiFile;
        return design;
    }
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != u"ui") {
        design.error = uiFile + " is no form design";
        return design;
    }
    while (xml.readNextStartElement()) {
        if (xml.name() == u"widget" && design.name.empty()) {
            readWidget(xml, "", design, true);
        } else if (xml.name() == u"tabstops") {
            while (xml.readNextStartElement())
                design.tabOrder.push_back(xml.readElementText().toStdString());
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError())
        design.error = uiFile + ": " + xml.errorString().toStdString();
    else if (design.name.empty())
        design.error = uiFile + " holds no widget";
    return design;
}

const FormDesign& form1Design()
{
    static const FormDesign d = readFormDesign(FORM1_UI);
    return d;
}

} // namespace fw::test
