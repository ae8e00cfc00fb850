#pragma once
#include "core/EditState.h"
#include "platform/DialogAnswerer.h"
#include "support/TestPaths.h"
#include "ui/Unit1.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

namespace kestrine::test {

// A main window made in a directory of the test's own: an executable directory (with or without the
// cutter), a system temporary directory and a cache directory, and a dialog answerer in place.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        core::Edit = core::EditState{};
        root = FreshTestDir();
        std::filesystem::create_directories(root / "bin");
        std::filesystem::create_directories(root / "tmp");
    }
    void TearDown() override { core::Edit = core::EditState{}; }

    ui::TForm1Environment Environment(bool withCutter) const
    {
        if (withCutter) std::ofstream(root / "bin" / "asfbin.exe") << "#!/bin/sh\n";
        return {(root / "bin").string() + "/", (root / "tmp").string() + "/", (root / "cache").string() + "/"};
    }

    std::unique_ptr<ui::TForm1> MakeForm(bool withCutter = true)
    {
        return std::make_unique<ui::TForm1>(Environment(withCutter));
    }

    std::filesystem::path root;
    platform::InstalledDialogAnswerer dialogs;
};

}  // namespace kestrine::test
