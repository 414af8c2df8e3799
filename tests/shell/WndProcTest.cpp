// The window procedure: what each message records and passes on.

#include <gtest/gtest.h>

#include "base/KeyCodes.h"
#include "shell/WndProc.h"
#include "support/SceneTestSupport.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

class WndProcTest : public test::ShellFixture {
  protected:
    void Send(WindowMessage::Type type, std::uint32_t key = 0) {
        WindowMessage m;
        m.type = type;
        m.key = key;
        WndProc(shell, m);
    }
    void MouseTo(std::uint32_t x, std::uint32_t y) {
        WindowMessage m;
        m.type = WindowMessage::Type::MouseMove;
        m.x = x;
        m.y = y;
        WndProc(shell, m);
    }
    void Drop(const std::string& file) {
        WindowMessage m;
        m.type = WindowMessage::Type::DropFiles;
        m.file = file;
        WndProc(shell, m);
    }
};

TEST_F(WndProcTest, F1ReleasedTurnsTheReadoutOnAndOff) {
    Send(WindowMessage::Type::KeyDown, kVkF1);
    EXPECT_FALSE(shell.readout.shown);
    Send(WindowMessage::Type::KeyUp, kVkF1);
    EXPECT_TRUE(shell.readout.shown);
    Send(WindowMessage::Type::KeyUp, kVkF1);
    EXPECT_FALSE(shell.readout.shown);
}

TEST_F(WndProcTest, DestroyPostsTheQuitRequest) {
    Send(WindowMessage::Type::Destroy);
    EXPECT_EQ(services.quits, std::vector<int>{0});
}

TEST_F(WndProcTest, SizeTakesTheOuterRectangleAndTellsTheDriver) {
    services.windowRect = {100, 50, 900, 650};
    Send(WindowMessage::Type::Size);
    EXPECT_EQ(shell.state.windowWidth, 800);
    EXPECT_EQ(shell.state.windowHeight, 600);
    EXPECT_EQ(Tester().resizes, (std::vector<std::pair<int, int>>{{800, 600}}));
    // The camera keeps the aspect it started with.
    EXPECT_EQ(shell.camera->aspect, 640.0f / 480.0f);
}

TEST_F(WndProcTest, SizeBeforeTheDriverExistsChangesNothing) {
    shell.tester = nullptr;
    services.windowRect = {0, 0, 800, 600};
    Send(WindowMessage::Type::Size);
    EXPECT_EQ(shell.state.windowWidth, 640);
    EXPECT_EQ(shell.state.windowHeight, 480);
}

TEST_F(WndProcTest, ArrowReleasesChangeTheStepsPerFrame) {
    Send(WindowMessage::Type::KeyUp, kVkUp);
    Send(WindowMessage::Type::KeyUp, kVkUp);
    EXPECT_EQ(shell.state.stepsPerFrame, 3);
    Send(WindowMessage::Type::KeyUp, kVkDown);
    Send(WindowMessage::Type::KeyUp, kVkDown);
    Send(WindowMessage::Type::KeyUp, kVkDown);
    EXPECT_EQ(shell.state.stepsPerFrame, 1);
}

TEST_F(WndProcTest, KeyPressesAndRepeatsChangeNothing) {
    Send(WindowMessage::Type::KeyDown, kVkUp);
    Send(WindowMessage::Type::KeyDown, kVkUp);
    EXPECT_EQ(shell.state.stepsPerFrame, 1);
}

TEST_F(WndProcTest, EnterReleasedTwicePausesAndResumesTheFirstWorld) {
    NodeManager* world = Tester().Worlds()[0];
    ASSERT_TRUE(world->IsRunning());
    Send(WindowMessage::Type::KeyUp, kVkReturn);
    EXPECT_FALSE(world->IsRunning());
    Send(WindowMessage::Type::KeyUp, kVkReturn);
    EXPECT_TRUE(world->IsRunning());
    EXPECT_EQ(Tester().keyDowns, (std::vector<int>{104, 104}));
}

TEST_F(WndProcTest, OnlyTheLowEightBitsNameTheKey) {
    Send(WindowMessage::Type::KeyUp, 0x100 | kVkUp);
    EXPECT_EQ(shell.state.stepsPerFrame, 2);
    Send(WindowMessage::Type::KeyUp, 'A');
    EXPECT_EQ(shell.state.stepsPerFrame, 2);
    EXPECT_TRUE(Tester().keyDowns.empty());
}

TEST_F(WndProcTest, PointerPositionIsKeptInSixteenUnsignedBits) {
    MouseTo(300, 200);
    EXPECT_EQ(shell.state.pointerX, 300);
    EXPECT_EQ(shell.state.pointerY, 200);
    MouseTo(static_cast<std::uint32_t>(-1), 70000);
    EXPECT_EQ(shell.state.pointerX, 65535);
    EXPECT_EQ(shell.state.pointerY, 70000 - 65536);
}

TEST_F(WndProcTest, TheLeftButtonArmsThePickAndCapturesTheMouse) {
    Send(WindowMessage::Type::LButtonDown);
    EXPECT_TRUE(shell.state.pickArmed);
    Send(WindowMessage::Type::LButtonUp);
    EXPECT_FALSE(shell.state.pickArmed);
    EXPECT_EQ(services.captures, (std::vector<bool>{true, false}));
}

TEST_F(WndProcTest, ADroppedFileIsRememberedAndRequestsAReset) {
    Drop("/home/someone/genes/chain.txt");
    EXPECT_EQ(shell.state.droppedFileName, "/home/someone/genes/chain.txt");
    EXPECT_TRUE(shell.state.resetRequested);
    EXPECT_TRUE(Tester().resets.empty());  // the reset happens in the next frame
}

TEST_F(WndProcTest, DroppedNamesAreCutToTheBuffer) {
    Drop(std::string(300, 'a'));
    EXPECT_EQ(shell.state.droppedFileName, std::string(259, 'a'));
}

}  // namespace
}  // namespace qm
