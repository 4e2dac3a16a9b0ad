#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "control/Control.h"
#include "control/MemoryView.h"
#include "common/DriveType.h"

// A controller over an in-memory view, with its program directory, PC folder
// and card folder in temporary folders. The card folder counts as removable.
class ControlTest : public ::testing::Test {
protected:
    ControlTest() : program(root / "program/"), pcFolder(root / "pc/"), cardFolder(root / "card/")
    {
        std::filesystem::create_directories(program);
        std::filesystem::create_directories(pcFolder);
        std::filesystem::create_directories(cardFolder);
        programDirectory = std::make_unique<ScopedProgramDirectory>(program);
        SetRemovableDriveProbe([](const std::string&) { return true; });
        view.SetEditText(Edit::PcFolder, pcFolder);
        view.SetEditText(Edit::UsbFolder, cardFolder);
    }

    ~ControlTest() override
    {
        control.reset();
        SetRemovableDriveProbe(nullptr);
    }

    Control& Start()
    {
        control = std::make_unique<Control>(&view);
        view.control = control.get();
        return *control;
    }

    Control& StartConnected()
    {
        Start().OnConnectUSBMemory();
        return *control;
    }

    std::string LogText() const { return ReadText(program + "log.txt"); }

    // Ticks exactly the rows of these names on one side.
    void Tick(ListSide side, std::initializer_list<std::string> names)
    {
        for (MemoryView::Row& row : view.lists[static_cast<size_t>(side)]) {
            row.ticked = std::find(names.begin(), names.end(), row.row.name) != names.end();
        }
    }

    TempDir root;
    std::string program;
    std::string pcFolder;
    std::string cardFolder;
    std::unique_ptr<ScopedProgramDirectory> programDirectory;
    MemoryView view;
    std::unique_ptr<Control> control;
};

inline bool IsFileAt(const std::string& path) { return std::filesystem::is_regular_file(path); }

// "ABC" in full-width letters, as real titles are written.
inline const std::string kFullWidthABC = "\x82\x60\x82\x61\x82\x62";
