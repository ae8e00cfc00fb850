#include "ui/FileDialogs.h"

#include "platform/DialogSeam.h"
#include "platform/FileOps.h"

namespace kestrine::ui {

namespace {

platform::FileDialogRequest RequestOf(const TFileDialog& d)
{
    platform::FileDialogRequest r;
    r.owner = d.Owner;
    r.title = d.Title;
    r.filter = d.Filter;
    r.defaultExt = d.DefaultExt;
    r.fileName = d.FileName;
    r.initialDir = d.InitialDir;
    return r;
}

}  // namespace

std::string TFileDialog::WithDefaultExt(const std::string& name) const
{
    if (DefaultExt.empty() || name.empty() || name.back() == '/') return name;
    const auto slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    // A name ending in a dot asks for the default extension right after it.
    if (base.back() == '.') return name + DefaultExt;
    const auto dot = base.rfind('.');
    // A leading dot marks a hidden file, not an extension.
    if (dot != std::string::npos && dot > 0) return name;
    return name + "." + DefaultExt;
}

bool TFileDialog::Execute()
{
    std::string chosen;
    if (!RunDialog(chosen) || chosen.empty()) return false;
    FileName = Completed(chosen);
    return true;
}

bool TOpenDialog::RunDialog(std::string& chosen)
{
    auto answer = platform::Dialogs().OpenFile(RequestOf(*this));
    if (!answer) return false;
    chosen = *answer;
    return true;
}

std::string TOpenDialog::Completed(const std::string& chosen) const
{
    return platform::FileExists(chosen) ? chosen : WithDefaultExt(chosen);
}

bool TSaveDialog::RunDialog(std::string& chosen)
{
    auto answer = platform::Dialogs().SaveFile(RequestOf(*this));
    if (!answer) return false;
    chosen = *answer;
    return true;
}

}  // namespace kestrine::ui
