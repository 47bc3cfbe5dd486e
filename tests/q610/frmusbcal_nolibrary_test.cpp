// The panel in a process where the access library cannot be bound: it must
// say so, refuse all device work and still keep its settings.
#include <QTemporaryDir>

#include "window_probe.h"

using namespace q610test;
using namespace zdx::q610;

namespace {

class PanelWithoutLibrary : public ::testing::Test {
  protected:
    // Before the panel's first library call: the program binds only once.
    static void SetUpTestSuite() { qputenv("ZDXUSBCAL_LIBRARY", "/nonexistent/zdxusbcal.so"); }

    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path());
    }

    QTemporaryDir config_;
};

TEST_F(PanelWithoutLibrary, EveryCycleShowsTheLibraryMessageInRed) {
    auto window = openPanel();
    EXPECT_TRUE(window->dllMissing());
    for (int i = 0; i < 3; ++i) {
        window->tick();
        EXPECT_EQ(messages(*window), "Error: ZDXUSBCAL.DLL not found !\r\nno operation possible");
        EXPECT_EQ(messagesColour(*window), zdx::kColourRed);
        EXPECT_EQ(window->linkState(), kLinkNotConnected);
    }
    window->close();
}

TEST_F(PanelWithoutLibrary, ConnectionButtonsDoNothing) {
    auto window = openPanel();
    window->tick();
    click(*window, "CommandLPT1");
    click(*window, "CommandLPT2");
    EXPECT_EQ(window->connection(), kConnectionUsb);
    EXPECT_EQ(backColor(*window, "CommandUSBb"), zdx::kColourYellow);
    EXPECT_EQ(backColor(*window, "CommandLPT1"), zdx::kColourButtonFace);
    EXPECT_EQ(backColor(*window, "CommandLPT2"), zdx::kColourButtonFace);
    EXPECT_EQ(messagesColour(*window), zdx::kColourRed);
    window->close();
}

TEST_F(PanelWithoutLibrary, StepBeepAndReadyLeaveThePanelAsItWas) {
    storeSettings("1", "68");
    auto window = openPanel();
    window->tick();
    click(*window, "Command1");
    click(*window, "Command5");
    press(*window, "Command6");
    EXPECT_EQ(backColor(*window, "Command6"), zdx::kColour3DLight);
    release(*window, "Command6");
    click(*window, "Command7");
    EXPECT_EQ(window->outputBits(), 68);
    for (const char* name : {"Command1", "Command5", "Command6", "Command7"})
        EXPECT_EQ(backColor(*window, name), zdx::kColour3DLight) << name;
    // The cycle after them runs as before: the message stands, nothing is connected.
    window->tick();
    EXPECT_EQ(statusPanel(*window), "USB transfer: --");
    EXPECT_EQ(messages(*window), "Error: ZDXUSBCAL.DLL not found !\r\nno operation possible");
    EXPECT_EQ(window->linkState(), kLinkNotConnected);
    EXPECT_EQ(remark(*window), "");
    window->close();
    EXPECT_EQ(storedValue("Q610State"), "68");
}

TEST_F(PanelWithoutLibrary, SettingsAreStoredOnExitEvenOnLpt) {
    storeSettings("3", "72");
    auto window = openPanel();
    EXPECT_EQ(window->connection(), kConnectionLpt2);
    EXPECT_EQ(backColor(*window, "CommandLPT2"), zdx::kColourYellow);
    window->tick();
    // The register display needs the library: a right click shows nothing.
    click(*window, "CommandLPT2", Qt::RightButton);
    EXPECT_EQ(remark(*window), "");
    window->close();
    EXPECT_EQ(storedValue("Connection"), "3");
    EXPECT_EQ(storedValue("Q610State"), "72");
}

}  // namespace
