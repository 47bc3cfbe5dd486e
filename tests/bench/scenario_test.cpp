// Scenario files: what they build, and what they refuse.
#include <gtest/gtest.h>

#include "interface_module.h"
#include "q270_model.h"
#include "scenario.h"

namespace zdx::bench {
namespace {

TEST(ScenarioParse, DefaultScenarioHasTheDocumentedBench) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(parseScenario(defaultScenarioJson(), s, error)) << error;
    EXPECT_EQ(s.osFamily, 2u);
    EXPECT_EQ(s.driver, PortDriver::Present);
    ASSERT_EQ(s.usb.size(), 2u);
    EXPECT_EQ(s.usb[0]->model().kind(), "Q270");
    EXPECT_EQ(s.usb[1]->model().kind(), "Q610");
    EXPECT_TRUE(s.serial[1].model);
    EXPECT_FALSE(s.serial[0].model);
    EXPECT_TRUE(s.lpt[0].present && s.lpt[0].q610);
    EXPECT_FALSE(s.lpt[1].present);
}

TEST(ScenarioParse, DeviceKeysAndGenerators) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(parseScenario(R"({
        "os_family": "other", "port_driver": "refusing",
        "usb": [{"kind": "Q270", "serial": "Q270H1", "string6": "TV560", "condition": 2,
                 "probe_accepted": false, "faults": ["late", "header_form"], "plugged": false},
                {"kind": "KX", "serial": "KX9", "behind": [{"kind": "Q610", "remote": false}]}],
        "usb_generate": [{"count": 40, "kind": "Q610", "serial_prefix": "G"}],
        "serial": [{"com": 3, "kind": "Q270", "id": "Q270S8", "baud": 19200}],
        "lpt": [{"port": 2, "device": "Q610", "remote": false}]
    })",
                              s, error))
        << error;
    EXPECT_EQ(s.osFamily, 1u);
    EXPECT_EQ(s.driver, PortDriver::Refusing);
    ASSERT_EQ(s.usb.size(), 42u);
    EXPECT_FALSE(s.usb[0]->plugged());
    EXPECT_TRUE(s.usb[0]->has(Fault::Late));
    EXPECT_EQ(s.usb[0]->string(6), "TV560");
    auto* q270 = dynamic_cast<Q270Model*>(&s.usb[0]->model());
    ASSERT_TRUE(q270);
    EXPECT_EQ(q270->config().id, "TV560");
    EXPECT_EQ(*q270->handleLine("K1A0,0,1,0"), "2\r\n");
    auto* kx = dynamic_cast<InterfaceModule*>(&s.usb[1]->model());
    ASSERT_TRUE(kx && kx->q610());
    EXPECT_FALSE(kx->q610()->remote());
    EXPECT_EQ(s.usb[2]->serial(), "G0001");
    EXPECT_EQ(s.usb[41]->serial(), "G0040");
    EXPECT_EQ(s.serial[2].baud, 19200);
    EXPECT_TRUE(s.lpt[0].present);  // LPT1 keeps its default
    EXPECT_TRUE(s.lpt[1].q610);
    EXPECT_FALSE(s.lpt[1].remote);
}

TEST(ScenarioParse, RefusesInvalidScenariosWithAMessage) {
    for (const char* bad : {
             "not json",
             "[]",
             R"({"usb": [{"kind": "Q270"}]})",
             R"({"usb": [{"kind": "Q999", "serial": "A"}]})",
             R"({"usb": [{"kind": "KX", "serial": "AB1"}]})",
             R"({"usb": [{"kind": "Q270", "serial": "A", "faults": ["bogus"]}]})",
             R"({"usb": [{"kind": "Q270", "serial": "A", "condition": 9}]})",
             R"({"usb": [{"kind": "Q270", "serial": "A", "serial_index": 5}]})",
             R"({"usb": [{"kind": "Q270", "serial": "A", "colour": "red"}]})",
             R"({"usb": [{"kind": "Q270", "serial": 5}]})",
             R"({"usb": {"kind": "Q270", "serial": "A"}})",
             R"({"usb_generate": [{"count": 100000, "kind": "Q610"}]})",
             R"({"serial": [{"com": 10, "kind": "Q270"}]})",
             R"({"serial": [{"com": 1, "kind": "Q610"}]})",
             R"({"lpt": [{"port": 3}]})",
             R"({"lpt": {"port": 1}})",
             R"({"usb": [{"kind": "Q270", "serial": "A", "unplug_at_ms": -1}]})",
             R"({"usb": [{"kind": "KX", "serial": "KX1", "behind": [{"kind": "KX"}]}]})",
             R"({"port_driver": "sometimes"})",
             R"({"os_family": "beos"})",
         }) {
        Scenario s;
        std::string error;
        EXPECT_FALSE(parseScenario(bad, s, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace zdx::bench
