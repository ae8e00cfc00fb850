#pragma once
#include <QString>
#include <string>

class QWidget;

namespace kestrine::ui {

// The description of a file dialog, as a form keeps it between uses: filter, default extension,
// file name. Execute() shows it through the dialog seam and keeps the chosen name.
class TFileDialog {
public:
    virtual ~TFileDialog() = default;

    std::string Filter;      // "description|patterns|description|patterns"
    std::string DefaultExt;  // without the dot; added to a chosen name that has no extension
    std::string FileName;
    std::string InitialDir;
    QString Title;
    QWidget* Owner = nullptr;

    // True when the user chose a file; FileName then holds it.
    bool Execute();

    // `name` with ".<DefaultExt>" added when its last path element has no extension.
    std::string WithDefaultExt(const std::string& name) const;

protected:
    virtual bool RunDialog(std::string& chosen) = 0;
    // The name to keep for what the user chose.
    virtual std::string Completed(const std::string& chosen) const { return WithDefaultExt(chosen); }
};

class TOpenDialog final : public TFileDialog {
protected:
    bool RunDialog(std::string& chosen) override;
    // An existing file is taken as chosen, extension or not.
    std::string Completed(const std::string& chosen) const override;
};

class TSaveDialog final : public TFileDialog {
protected:
    bool RunDialog(std::string& chosen) override;
};

}  // namespace kestrine::ui
