#pragma once
// The toolkit services realised on the Qt widgets of Form1.

#include "form/toolkit.h"

#include <QFileDialog>
#include <QString>
#include <functional>
#include <map>

class QWidget;
class QMainWindow;
namespace Ui {
class Form1;
}

namespace fw {

// The file-open dialog. With `pathMustExist` a name whose folder does not
// exist keeps the dialog open; the file itself need not exist.
class PackageDialog final : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    void accept() override;
    bool pathMustExist = false;
};

class QtToolkit final : public Toolkit {
public:
    QtToolkit(QMainWindow& window, Ui::Form1& ui);
    ~QtToolkit() override;

    void setEvents(ToolkitEvents* events) override { events_ = events; }
    void setEnabled(Ctl c, bool enabled) override;
    bool isEnabled(Ctl c) const override;
    void setVisible(Ctl c, bool visible) override;
    bool isVisible(Ctl c) const override;
    std::optional<Ctl> focus() const override;
    void setFocus(Ctl c) override;
    bool isSelected(Ctl option) const override;
    void select(Ctl option) override;
    void clearList(Ctl list) override;
    void addItem(Ctl list, const std::string& text) override;
    int itemCount(Ctl list) const override;
    int listIndex(Ctl list) const override;
    void setListIndex(Ctl list, int index) override;
    std::string listText(Ctl list) const override;
    std::string itemText(Ctl list, int index) const override;
    void setItemToolTip(Ctl list, int index, const std::string& tip) override;
    std::string text(Ctl c) const override;
    void setText(Ctl c, const std::string& text) override;
    void setBackColour(Ctl button, std::uint32_t bgr) override;
    std::uint32_t backColour(Ctl button) const override;
    void setPointer(Pointer p) override;
    Pointer pointer() const override { return pointer_; }
    void processEvents() override;
    void processWindowRequests() override;
    void closeWindow() override;
    void messageBox(const std::string& text, bool exclamation, const std::string& title) override;
    OpenDialogResult showOpenDialog(const OpenDialogSetup& setup) override;

    QWidget* widget(Ctl c) const;
    PackageDialog& fileDialog();

private:
    void showProgressShare(double share) override;
    void tabToSelectedOption();

    QMainWindow& window_;
    Ui::Form1& ui_;
    ToolkitEvents* events_ = nullptr;
    PackageDialog* dialog_ = nullptr;
    Pointer pointer_ = Pointer::Normal;
    int label3Right_ = 0; // Label3 grows to the left from here
    QString lastFile_;    // full name of the dialog's last use
};

QString toQt(const std::string& s);
std::string fromQt(const QString& s);

} // namespace fw
