#pragma once
// Shared set-up for the scene and shell tests: a scratch working directory
// holding chosen data files, stand-ins for the desktop and the input devices,
// a driver that records what the shell asks of it, and a shell built on the
// recording device and font.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "experiment/SourceTester.h"
#include "platform/InputDevices.h"
#include "shell/Shell.h"
#include "support/RecordingDevice.h"

namespace qm::test {

// The repository's data folder (QM_DATA, set by CTest; the source tree's data/ otherwise).
std::filesystem::path DataFolder();

// A fresh temporary folder that is the working directory while it lives,
// holding copies of the named files from the data folder.
class ScratchFolder {
  public:
    explicit ScratchFolder(std::initializer_list<const char*> dataFiles);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    void Write(const std::string& name, const std::string& text) const;

  private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

inline constexpr std::initializer_list<const char*> kArtFiles = {"floor.bmp", "sky.bmp", "goal.bmp",
                                                                 "goal.x"};

class FakeServices : public ShellServices {
  public:
    std::uint32_t now = 1000;
    std::vector<int> quits;
    std::vector<bool> captures;
    Rect windowRect{0, 0, 640, 480};

    std::uint32_t Milliseconds() override { return now; }
    void PostQuit(int exitCode) override { quits.push_back(exitCode); }
    void SetCapture(bool capture) override { captures.push_back(capture); }
    Rect WindowRect() override { return windowRect; }
    // Says yes from the given call on (counting from 1); never when 0.
    int quitFromCall = 0;
    int quitChecks = 0;
    bool QuitPending() override {
        return ++quitChecks == quitFromCall || (quitFromCall > 0 && quitChecks > quitFromCall);
    }
};

class FakeInput : public InputDevices {
  public:
    MouseState mouse;
    KeyboardState keys{};
    bool mouseReadable = true;
    bool keysReadable = true;
    int acquires = 0;
    int mouseReads = 0;
    int keyReads = 0;

    void Hold(std::uint8_t scanCode) { keys[scanCode] = kKeyDown; }
    void Release(std::uint8_t scanCode) { keys[scanCode] = 0; }

    bool ReadMouse(MouseState& state) override {
        ++mouseReads;
        state = mouse;
        return mouseReadable;
    }
    bool ReadKeyboard(KeyboardState& state) override {
        ++keyReads;
        state = keys;
        return keysReadable;
    }
    void Acquire() override { ++acquires; }
};

// The one concrete experiment, with a note of every call the shell makes.
class RecordingTester : public SourceTester {
  public:
    using SourceTester::SourceTester;

    struct ClickCall {
        int x, y, key;
    };
    std::vector<std::pair<int, int>> mouseMoves;
    std::vector<ClickCall> clicks;
    std::vector<std::pair<int, int>> resizes;
    std::vector<int> keyDowns;
    std::vector<std::string> resets;  // resetName at each reload
    int actions = 0;
    int halts = 0;
    int renders = 0;
    // Thrown by the next step, or by drawing, when set.
    std::function<void()> actionFails;
    std::function<void()> renderFails;

    void SetDrawEnabled(bool enabled) { drawEnabled = enabled; }

    void MouseMove(Device& device, int x, int y) override {
        mouseMoves.emplace_back(x, y);
        SourceTester::MouseMove(device, x, y);
    }
    void Click(Device& device, int x, int y, int key) override {
        clicks.push_back({x, y, key});
        SourceTester::Click(device, x, y, key);
    }
    void Resize(int width, int height) override {
        resizes.emplace_back(width, height);
        SourceTester::Resize(width, height);
    }
    void KeyDown(int key) override {
        keyDowns.push_back(key);
        SourceTester::KeyDown(key);
    }
    void Render(Device& device, NodeDrawing& drawing) override {
        ++renders;
        if (renderFails) renderFails();
        SourceTester::Render(device, drawing);
    }

  protected:
    void DoReset() override {
        resets.push_back(resetName);
        SourceTester::DoReset();
    }
    void DoAction() override {
        ++actions;
        if (actionFails) actionFails();
        SourceTester::DoAction();
    }
    void DoHalt() override {
        ++halts;
        SourceTester::DoHalt();
    }
};

// The shell's live run on "source.txt", made as the program makes it but
// seeded with 1 (a generator's state when never seeded); its debug text and
// error log go where the shell's go.
void MakeRun(Shell& shell);

// A shell as InitScene leaves it, on the recording device and font, in a
// scratch folder with the art files and the gene `geneSource` as
// "source.txt". The driver is a RecordingTester.
class ShellFixture : public ::testing::Test {
  protected:
    explicit ShellFixture(const std::string& geneSource = "PROG2 ( SETP ( 0 1 ) SETCOLP ( 0 0 0 ) )");

    RecordingDevice& Device() { return *device; }
    RecordingTester& Tester() { return *tester; }

    ScratchFolder folder{kArtFiles};
    FakeServices services;
    FakeInput* input = nullptr;
    RecordingDevice* device = nullptr;
    RecordingFont* font = nullptr;
    RecordingTester* tester = nullptr;
    Shell shell;
};

}  // namespace qm::test
