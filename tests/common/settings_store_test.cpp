#include "settings_store.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
    }

    // Writes a raw text under the section the store uses, as another tool might.
    void storeRaw(const QString& key, const QString& text) {
        QSettings raw("ZDX", "TestApp");
        raw.setValue("Properties/" + key, text);
        raw.sync();
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsStoreTest, MissingKeysGiveTheDefault) {
    zdx::SettingsStore store("TestApp");
    EXPECT_EQ(store.readInt("Connection", 1), 1);
    EXPECT_EQ(store.readInt("Q610State", 4), 4);
}

TEST_F(SettingsStoreTest, NumbersRoundTripAsPlainDecimalText) {
    {
        zdx::SettingsStore store("TestApp");
        store.writeInt("Connection", 3);
        store.writeInt("Signe", -7);
        store.sync();
    }
    QSettings raw("ZDX", "TestApp");
    EXPECT_EQ(raw.value("Properties/Connection").toString(), "3");
    EXPECT_EQ(raw.value("Properties/Signe").toString(), "-7");

    zdx::SettingsStore again("TestApp");
    EXPECT_EQ(again.readInt("Connection", 1), 3);
    EXPECT_EQ(again.readInt("Signe", 0), -7);
}

TEST_F(SettingsStoreTest, TextThatIsNotAWholeNumberFallsBack) {
    storeRaw("Garbage", "abc");
    storeRaw("Trailing", "12abc");
    storeRaw("Fraction", "2.5");
    storeRaw("Empty", "");
    storeRaw("TooBig", "99999999999");
    storeRaw("Blanks", " 42 ");
    zdx::SettingsStore store("TestApp");
    EXPECT_EQ(store.readInt("Garbage", 1), 1);
    EXPECT_EQ(store.readInt("Trailing", 1), 1);
    EXPECT_EQ(store.readInt("Fraction", 1), 1);
    EXPECT_EQ(store.readInt("Empty", 4), 4);
    EXPECT_EQ(store.readInt("TooBig", 4), 4);
    EXPECT_EQ(store.readInt("Blanks", 0), 42);
}

// The store is the platform's own per-user one for organisation "ZDX": what a
// plain QSettings of the program writes, the store reads, and on this platform
// it is the native configuration file of the application.
TEST_F(SettingsStoreTest, LivesInTheNativePerUserStore) {
    {
        QSettings native(QSettings::NativeFormat, QSettings::UserScope, "ZDX", "TestApp");
        native.setValue("Properties/Connection", "2");
    }
    EXPECT_EQ(zdx::SettingsStore("TestApp").readInt("Connection", 1), 2);
    zdx::SettingsStore store("TestApp");
    store.writeInt("Q610State", 68);
    store.sync();
#ifndef Q_OS_WIN
    EXPECT_TRUE(QFileInfo::exists(dir_.filePath("ZDX/TestApp.conf")));
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("ZDX/TestApp.ini")));
#endif
}

TEST_F(SettingsStoreTest, ApplicationsKeepTheirSettingsApart) {
    zdx::SettingsStore first("TestApp");
    zdx::SettingsStore second("OtherApp");
    first.writeInt("Connection", 2);
    first.sync();
    EXPECT_EQ(second.readInt("Connection", 1), 1);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
